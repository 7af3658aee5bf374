#pragma once

// Reads a composed or delivered message back with GMime, independently of the
// code under test, so tests can check what actually went over the wire.

#include "platform/mail/GMimeLibrary.h"
#include "support/TestFiles.h"

#include <QMap>
#include <QStringList>

#include <gmime/gmime.h>

#include <string>

namespace wendle::test {

struct ParsedMail {
    bool valid = false;
    QMap<QString, QString> headers; // raw header values, by lower-case name
    QString subject;                // decoded
    QStringList from, to, cc;       // mailbox addresses
    QString topType;                // media type of the message itself
    QString bodyType;               // "text/plain" ...
    QString bodyCharset;
    QString bodyEncoding;  // Content-Transfer-Encoding of the text part
    QString bodyText;      // decoded, "\n" line ends
    int partCount = 0;     // leaf parts
    QByteArray attachment; // decoded bytes of the second leaf part
    QString attachmentName;
    QString attachmentType;
    QString attachmentEncoding;
};

inline std::string str(const QString &text)
{
    return text.toStdString();
}

// A command with a base64 attachment after its text, the way phones send one;
// with textLast, the text follows the attachment.
inline QByteArray mailWithAttachment(const QByteArray &text, const QByteArray &bytes, const QByteArray &filename,
                                     const QByteArray &type = "image/jpeg", bool textLast = false)
{
    const QByteArray textPart = "--XYZ\r\nContent-Type: text/plain\r\n\r\n" + text + "\r\n";
    QByteArray message = "From: Owner <owner@example.org>\r\nTo: computer@example.com\r\nSubject: x\r\nMIME-Version: 1.0\r\n"
                         "Content-Type: multipart/mixed; boundary=XYZ\r\n\r\n"
                         + (textLast ? QByteArray() : textPart) + "--XYZ\r\nContent-Type: " + type
                         + "\r\nContent-Transfer-Encoding: base64\r\n"
                           "Content-Disposition: attachment; filename=\""
                         + filename + "\"\r\n\r\n";
    const QByteArray encoded = bytes.toBase64();
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        message += encoded.mid(i, 76) + "\r\n";
    return message + (textLast ? textPart : QByteArray()) + "--XYZ--\r\n";
}

namespace parsed_mail_detail {

inline QStringList addresses(InternetAddressList *list)
{
    QStringList result;
    const int count = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            result << QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
    }
    return result;
}

inline QString mediaType(GMimeObject *part)
{
    char *type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(part));
    const QString result = QString::fromUtf8(type);
    g_free(type);
    return result;
}

inline QString encodingName(GMimeObject *part)
{
    const char *name = g_mime_content_encoding_to_string(g_mime_part_get_content_encoding(GMIME_PART(part)));
    return name ? QString::fromLatin1(name) : QString();
}

inline QByteArray decoded(GMimeObject *part)
{
    GMimeStream *stream = g_mime_stream_mem_new();
    if (GMimeDataWrapper *content = g_mime_part_get_content(GMIME_PART(part)))
        g_mime_data_wrapper_write_to_stream(content, stream);
    GByteArray *buffer = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    const QByteArray bytes(reinterpret_cast<const char *>(buffer->data), qsizetype(buffer->len));
    g_object_unref(stream);
    return bytes;
}

inline void leaves(GMimeObject *part, QList<GMimeObject *> &result)
{
    if (!GMIME_IS_MULTIPART(part)) {
        result << part;
        return;
    }
    const int count = g_mime_multipart_get_count(GMIME_MULTIPART(part));
    for (int i = 0; i < count; ++i)
        leaves(g_mime_multipart_get_part(GMIME_MULTIPART(part), i), result);
}

} // namespace parsed_mail_detail

inline ParsedMail parseMail(const QByteArray &raw)
{
    using namespace parsed_mail_detail;
    ensureGMimeInitialised();
    ParsedMail mail;
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size()));
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage *message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
    if (!message)
        return mail;
    GMimeHeaderList *headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    for (int i = 0; i < g_mime_header_list_get_count(headers); ++i) {
        GMimeHeader *header = g_mime_header_list_get_header_at(headers, i);
        const char *value = g_mime_header_get_raw_value(header);
        mail.headers.insert(QString::fromLatin1(g_mime_header_get_name(header)).toLower(), QString::fromUtf8(value ? value : "").trimmed());
    }
    mail.subject = QString::fromUtf8(g_mime_message_get_subject(message));
    mail.from = addresses(g_mime_message_get_from(message));
    mail.to = addresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_TO));
    mail.cc = addresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_CC));

    QList<GMimeObject *> parts;
    if (GMimeObject *body = g_mime_message_get_mime_part(message)) {
        mail.topType = mediaType(body);
        leaves(body, parts);
    }
    mail.partCount = int(parts.size());
    if (!parts.isEmpty() && GMIME_IS_PART(parts[0])) {
        mail.bodyType = mediaType(parts[0]);
        mail.bodyCharset = QString::fromUtf8(g_mime_object_get_content_type_parameter(parts[0], "charset"));
        mail.bodyEncoding = encodingName(parts[0]);
        mail.bodyText = QString::fromUtf8(decoded(parts[0])).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    }
    if (parts.size() > 1 && GMIME_IS_PART(parts[1])) {
        mail.attachment = decoded(parts[1]);
        mail.attachmentName = QString::fromUtf8(g_mime_part_get_filename(GMIME_PART(parts[1])));
        mail.attachmentType = mediaType(parts[1]);
        mail.attachmentEncoding = encodingName(parts[1]);
    }
    mail.valid = true;
    g_object_unref(message);
    return mail;
}

} // namespace wendle::test
