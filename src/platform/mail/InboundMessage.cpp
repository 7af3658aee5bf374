#include "platform/mail/InboundMessage.h"

#include "platform/mail/AttachmentFile.h"
#include "platform/mail/GMimeLibrary.h"
#include "platform/mail/HtmlText.h"

#include <QStringDecoder>

#include <gmime/gmime.h>

namespace wendle {

namespace {

// The parts that matter, found in one walk of the MIME tree.
struct Parts {
    GMimeObject *plain = nullptr;
    GMimeObject *html = nullptr;
    GMimeObject *attachment = nullptr;
};

bool hasType(GMimeObject *part, const char *type, const char *subtype)
{
    return g_mime_content_type_is_type(g_mime_object_get_content_type(part), type, subtype);
}

bool isAttachment(GMimeObject *part)
{
    GMimeContentDisposition *disposition = g_mime_object_get_content_disposition(part);
    if (disposition && g_mime_content_disposition_is_attachment(disposition))
        return true;
    return GMIME_IS_PART(part) && g_mime_part_get_filename(GMIME_PART(part));
}

// Signatures are part of how the message was sent, not something sent.
bool isSignature(GMimeObject *part)
{
    return hasType(part, "application", "pgp-signature") || hasType(part, "application", "pkcs7-signature")
           || hasType(part, "application", "x-pkcs7-signature");
}

// The tree is within MaxMimeDepth: parseBoundedMessage() measured it.
void collect(GMimeObject *part, Parts &parts)
{
    if (GMIME_IS_MULTIPART(part)) {
        GMimeMultipart *multipart = GMIME_MULTIPART(part);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i)
            collect(g_mime_multipart_get_part(multipart, i), parts);
        return;
    }
    if (isSignature(part))
        return;
    const bool attachment = isAttachment(part) || GMIME_IS_MESSAGE_PART(part);
    if (!attachment && hasType(part, "text", "plain")) {
        if (!parts.plain)
            parts.plain = part;
        return;
    }
    if (!attachment && hasType(part, "text", "html")) {
        if (!parts.html)
            parts.html = part;
        return;
    }
    if (!parts.attachment)
        parts.attachment = part;
}

// The content with its transfer encoding (base64, quoted-printable) undone.
QByteArray decodedContent(GMimeObject *part)
{
    GMimeStream *stream = g_mime_stream_mem_new();
    if (GMIME_IS_MESSAGE_PART(part)) {
        GMimeMessage *message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
        if (message)
            g_mime_object_write_to_stream(GMIME_OBJECT(message), nullptr, stream);
    } else if (GMimeDataWrapper *content = g_mime_part_get_content(GMIME_PART(part))) {
        g_mime_data_wrapper_write_to_stream(content, stream);
    }
    GByteArray *buffer = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    const QByteArray bytes(reinterpret_cast<const char *>(buffer->data), qsizetype(buffer->len));
    g_object_unref(stream);
    return bytes;
}

// GMime converts from the declared charset to UTF-8. A part that declares no
// charset (or a wrong one) may still hold Latin-1: bytes that are not valid
// UTF-8 are read as Latin-1 rather than turned into replacement characters.
QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

QString partText(GMimeObject *part)
{
    if (!GMIME_IS_TEXT_PART(part))
        return decodeText(decodedContent(part));
    char *utf8 = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
    if (!utf8)
        return decodeText(decodedContent(part));
    const QString text = decodeText(QByteArray(utf8));
    g_free(utf8);
    return text;
}

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

std::optional<InboundMail> parseInboundMessage(const QByteArray &raw, const QString &attachmentFolder, QString *error,
                                               bool *temporary, const KeepAttachment &keepAttachment)
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
    if (parts.plain)
        mail.text = partText(parts.plain);
    else if (parts.html)
        mail.text = htmlToText(partText(parts.html));

    QString saveError;
    if (parts.attachment && !attachmentFolder.isEmpty()) {
        const QByteArray content = decodedContent(parts.attachment);
        if (!keepAttachment || keepAttachment(mail, content.size()))
            mail.attachmentPath = saveAttachment(attachmentFolder, proposedName(parts.attachment), mediaType(parts.attachment),
                                                 content, &saveError, &mail.attachmentFolderFull);
    }
    g_object_unref(message);
    if (!saveError.isEmpty()) {
        setFlags(error, saveError, temporary, true);
        return std::nullopt;
    }
    return mail;
}

} // namespace wendle
