#include "operations/MailReport.h"

#include "platform/mail/GMimeLibrary.h"

#include <gmime/gmime.h>

namespace wendle {

namespace {

// At most width characters (code points), without the blanks the cut leaves.
QString cut(const QString &text, int width)
{
    QString line;
    int characters = 0;
    for (const uint codePoint : text.toUcs4()) {
        if (++characters > width)
            break;
        line += QString::fromUcs4(reinterpret_cast<const char32_t *>(&codePoint), 1);
    }
    while (line.endsWith(u' ') || line.endsWith(u'\t'))
        line.chop(1);
    return line;
}

QString senderOf(GMimeMessage *message)
{
    InternetAddressList *list = g_mime_message_get_from(message);
    if (!list || internet_address_list_length(list) == 0)
        return QString();
    InternetAddress *address = internet_address_list_get_address(list, 0);
    const QString name = QString::fromUtf8(internet_address_get_name(address)).trimmed();
    if (!name.isEmpty() || !INTERNET_ADDRESS_IS_MAILBOX(address))
        return name;
    return QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))).trimmed();
}

} // namespace

QString mailReport(const QList<QByteArray> &headers, int width, qsizetype total)
{
    // The report may quote the owner's own commands in its subjects; beginning
    // with the product name keeps it from being taken for one if it comes back.
    QStringList lines{QStringLiteral("Wendle: ") + cut(QStringLiteral("%1 new").arg(std::max(total, headers.size())), width)};
    for (QByteArray header : headers) {
        // A header block alone still has to end like one.
        if (!header.contains("\n\n") && !header.contains("\r\n\r\n"))
            header += "\r\n\r\n";
        GMimeMessage *message = parseMimeMessage(header);
        QString from, subject;
        if (message) {
            from = senderOf(message).simplified();
            subject = QString::fromUtf8(g_mime_message_get_subject(message)).simplified();
            g_object_unref(message);
        }
        lines << cut(QStringLiteral("- ") + (from.isEmpty() ? QStringLiteral("(unknown sender)") : from), width)
              << cut(subject.isEmpty() ? QStringLiteral("(no subject)") : subject, width);
    }
    return lines.join(u'\n') + u'\n';
}

} // namespace wendle
