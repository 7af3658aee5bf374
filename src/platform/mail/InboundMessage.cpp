#include "platform/mail/InboundMessage.h"

#include "platform/mail/AttachmentFile.h"
#include "platform/mail/GMimeLibrary.h"
#include "platform/mail/MimeText.h"
#include "platform/mail/OpenPgp.h"

#include <gmime/gmime.h>

namespace wendle {

namespace {

// Every mailbox, so that the intake sees a list for what it is. Null when
// there is no mailbox with an address at all.
QString addressText(InternetAddressList *list)
{
    const int count = list ? internet_address_list_length(list) : 0;
    bool anyMailbox = false;
    for (int i = 0; i < count && !anyMailbox; ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        anyMailbox = INTERNET_ADDRESS_IS_MAILBOX(address) && *internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
    }
    if (!anyMailbox)
        return {};
    char *text = internet_address_list_to_string(list, nullptr, FALSE);
    const QString result = QString::fromUtf8(text).trimmed();
    g_free(text);
    return result;
}

QString fromAddress(GMimeMessage *message)
{
    return addressText(g_mime_message_get_from(message));
}

QString mediaType(GMimeObject *part)
{
    char *type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(part));
    const QString name = QString::fromUtf8(type);
    g_free(type);
    return name;
}

QString proposedName(GMimeObject *part)
{
    if (GMIME_IS_PART(part)) {
        if (const char *name = g_mime_part_get_filename(GMIME_PART(part)))
            return QString::fromUtf8(name);
    }
    return GMIME_IS_MESSAGE_PART(part) ? QStringLiteral("message.eml") : QString();
}

// procmail and mbox-style delivery put a "From sender date" line first; it is
// not a header and would end the header block at once.
QByteArray withoutMboxLine(const QByteArray &raw)
{
    if (!raw.startsWith("From "))
        return raw;
    const qsizetype end = raw.indexOf('\n');
    return end < 0 ? QByteArray() : raw.mid(end + 1);
}

QString headerValues(GMimeMessage *message, const char *name, QStringList *values)
{
    GMimeHeaderList *headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    const int count = headers ? g_mime_header_list_get_count(headers) : 0;
    for (int i = 0; i < count; ++i) {
        GMimeHeader *header = g_mime_header_list_get_header_at(headers, i);
        if (g_ascii_strcasecmp(g_mime_header_get_name(header), name) == 0)
            *values << QString::fromUtf8(g_mime_header_get_value(header)).simplified();
    }
    return values->isEmpty() ? QString() : values->first();
}

void setFlags(QString *error, const QString &text, bool *temporary, bool isTemporary)
{
    if (error)
        *error = text;
    if (temporary)
        *temporary = isTemporary;
}

} // namespace

std::optional<InboundMail> parseInboundMessage(const QByteArray &raw, const QString &attachmentFolder, QString *error, bool *temporary,
                                               const KeepAttachment &keepAttachment, const CheckSignature &checkSignature)
{
    setFlags(error, QString(), temporary, false);
    if (raw.size() > MaxInboundMessageBytes) {
        setFlags(error, QStringLiteral("the message is larger than %1 MB").arg(MaxInboundMessageBytes >> 20), temporary, false);
        return std::nullopt;
    }
    QString refusal;
    GMimeMessage *message = parseBoundedMessage(withoutMboxLine(raw), &refusal);
    if (!message) {
        setFlags(error, refusal, temporary, false);
        return std::nullopt;
    }
    InboundMail mail;
    mail.from = fromAddress(message);
    if (mail.from.isEmpty()) {
        g_object_unref(message);
        setFlags(error, QStringLiteral("the message has no From address"), temporary, false);
        return std::nullopt;
    }
    Parts parts;
    GMimeObject *body = g_mime_message_get_mime_part(message);
    if (body)
        collect(body, parts);
    // A Sender header that names nobody readable still differs from none.
    if (g_mime_object_get_header(GMIME_OBJECT(message), "Sender")) {
        const QString sender = addressText(g_mime_message_get_sender(message));
        mail.senderHeader = sender.isNull() ? QLatin1String("") : sender;
    }
    if (const char *id = g_mime_message_get_message_id(message))
        mail.messageId = QString::fromUtf8(id).trimmed();
    headerValues(message, "Authentication-Results", &mail.authenticationResults);
    QStringList autoSubmitted;
    const QString automatic = headerValues(message, "Auto-Submitted", &autoSubmitted).section(u';', 0, 0).trimmed();
    mail.autoSubmitted = !automatic.isEmpty() && automatic.compare(QLatin1String("no"), Qt::CaseInsensitive) != 0;
    mail.text = bodyText(parts);
    if (const char *date = g_mime_object_get_header(GMIME_OBJECT(message), "Date"))
        mail.dateHeader = QString::fromUtf8(date).simplified();
    if (!checkSignature || checkSignature(mail))
        mail.signature = checkMessageSignature(message);

    QString saveError;
    if (parts.attachment && !attachmentFolder.isEmpty()) {
        const QByteArray content = decodedContent(parts.attachment);
        if (!keepAttachment || keepAttachment(mail, content.size()))
            mail.attachmentPath = saveAttachment(attachmentFolder, proposedName(parts.attachment), mediaType(parts.attachment), content,
                                                 &saveError, &mail.attachmentFolderFull);
    }
    g_object_unref(message);
    if (!saveError.isEmpty()) {
        setFlags(error, saveError, temporary, true);
        return std::nullopt;
    }
    return mail;
}

} // namespace wendle
