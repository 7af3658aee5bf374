#include "app/ColorSetting.h"

#include "settings/ColorText.h"

namespace wendle {

QString archiveColor(const QColor &color)
{
    if (!color.isValid())
        return {};
    return color.alpha() == 255 ? color.name(QColor::HexRgb) : color.name(QColor::HexArgb);
}

bool unarchiveColor(const QVariant &data, QColor *color)
{
    const QString text = colorTextFromStored(data);
    if (text.isNull())
        return false;
    *color = QColor::fromString(text);
    return true;
}

} // namespace wendle
