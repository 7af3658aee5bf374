#include "platform/preferences/Preferences.h"

namespace wendle {

// Values come back from an INI file as text, so "true", "yes" and "1" must
// all read as true, the way a number object answers boolValue.
bool Preferences::boolValue(const QString &key) const
{
    const QVariant v = value(key);
    if (!v.isValid())
        return false;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    const QString text = v.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("yes"))
        return true;
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok && number != 0.0;
}

// Like intValue on a number or string object: leading digits count, anything
// unreadable is 0.
int Preferences::intValue(const QString &key) const
{
    const QVariant v = value(key);
    if (!v.isValid())
        return 0;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? 1 : 0;
    const QString text = v.toString().trimmed();
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (ok)
        return number >= 2147483647.0 ? 2147483647 : number <= -2147483648.0 ? int(-2147483647 - 1) : int(number);
    int i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    while (i < text.size() && text[i].isDigit())
        ++i;
    return text.left(i).toInt();
}

double Preferences::doubleValue(const QString &key) const
{
    const QVariant v = value(key);
    return v.isValid() ? v.toString().trimmed().toDouble() : 0.0;
}

QString Preferences::stringValue(const QString &key) const
{
    const QVariant v = value(key);
    if (!v.isValid())
        return QString();
    QString text = v.toString();
    if (text.isNull())
        text = QLatin1String("");
    return text;
}

} // namespace wendle
