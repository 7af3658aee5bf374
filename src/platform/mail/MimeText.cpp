#include "platform/mail/MimeText.h"

#include "platform/mail/HtmlText.h"

#include <QStringDecoder>

#include <gmime/gmime.h>

namespace wendle {

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

bool isSignature(GMimeObject *part)
{
    return hasType(part, "application", "pgp-signature") || hasType(part, "application", "pkcs7-signature")
           || hasType(part, "application", "x-pkcs7-signature");
}

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

QString bodyText(const Parts &parts)
{
    if (parts.plain)
        return partText(parts.plain);
    if (parts.html)
        return htmlToText(partText(parts.html));
    return {};
}

} // namespace wendle
