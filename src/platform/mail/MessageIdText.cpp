#include "platform/mail/MailTransport.h"

#include <QRegularExpression>

namespace wendle {

namespace {

// Far below the 998-byte line limit, with room for the header name and the
// brackets; no mail program makes ids this long.
constexpr qsizetype MaxMessageIdLength = 250;

} // namespace

QString threadableMessageId(const QString &value)
{
    QString id = value.trimmed();
    if (id.startsWith(u'<') && id.endsWith(u'>'))
        id = id.mid(1, id.size() - 2);
    // The dot-atom form on both sides, or a domain literal on the right: what
    // a header written back verbatim cannot be broken or extended by.
    static const QRegularExpression wellFormed(
        QStringLiteral("^[A-Za-z0-9!#$%&'*+/=?^_`{|}~.-]+@([A-Za-z0-9!#$%&'*+/=?^_`{|}~.-]+|\\[[!-Z^-~]*\\])$"));
    if (id.size() > MaxMessageIdLength || !wellFormed.match(id).hasMatch())
        return QString();
    return id;
}

} // namespace wendle
