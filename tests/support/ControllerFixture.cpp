#include "support/ControllerFixture.h"

#include <QRegularExpression>

namespace wendle::test {

QStringList ControllerFixture::logEntries() const
{
    static const QRegularExpression stamp(QStringLiteral("\n\\d{4}-\\d{2}-\\d{2} \\(\\d{2}:\\d{2}:\\d{2}\\): "));
    QStringList parts = logText().split(stamp);
    if (!parts.isEmpty())
        parts.removeFirst(); // the header
    return parts;
}

} // namespace wendle::test
