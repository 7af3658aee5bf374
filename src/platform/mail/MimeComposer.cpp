#include "platform/mail/MimeComposer.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUuid>

#include <gmime/gmime.h>

#include <mutex>

namespace wendle {

namespace {

void initialiseGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// Adds every address of a header value ("a@b.c, Name <d@e.f>") to the list.
void addAddresses(InternetAddressList *list, const QString &addresses)
{
    if (addresses.trimmed().isEmpty())
        return;
    InternetAddressList *parsed = internet_address_list_parse(nullptr, addresses.toUtf8().constData());
    if (parsed) {
        internet_address_list_append(list, parsed);
        g_object_unref(parsed);
    }
}

GMimeObject *textPart(const QString &body)
{
    GMimeTextPart *text = g_mime_text_part_new_with_subtype("plain");
    g_mime_text_part_set_text(text, body.toUtf8().constData());
    g_mime_text_part_set_charset(text, "utf-8");
    return GMIME_OBJECT(text);
}

// The file as a base64 part; nullptr when it cannot be read.
GMimeObject *attachmentPart(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    const QString type = QMimeDatabase().mimeTypeForFile(path).name();
    const QByteArray mediaType = type.section(u'/', 0, 0).toLatin1();
    const QByteArray subType = type.section(u'/', 1).toLatin1();

    GMimePart *part = g_mime_part_new_with_type(mediaType.constData(), subType.constData());
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size()));
    GMimeDataWrapper *content = g_mime_data_wrapper_new_with_stream(stream, GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_part_set_content(part, content);
    g_object_unref(content);
    g_object_unref(stream);
    g_mime_part_set_filename(part, QFileInfo(path).fileName().toUtf8().constData());
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
    g_mime_object_set_disposition(GMIME_OBJECT(part), "attachment");
    return GMIME_OBJECT(part);
}

} // namespace

QByteArray composeMessage(const OutgoingMail &mail, const QDateTime &date)
{
    initialiseGMime();
    GMimeMessage *message = g_mime_message_new(TRUE);
    addAddresses(g_mime_message_get_from(message), mail.from);
    addAddresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_TO), mail.to);
    addAddresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_CC), mail.cc);
    g_mime_message_set_subject(message, mail.subject.toUtf8().constData(), "utf-8");

    GDateTime *when = g_date_time_new_from_unix_local(date.toSecsSinceEpoch());
    g_mime_message_set_date(message, when);
    g_date_time_unref(when);
    const QString domain = mail.from.section(u'@', -1).remove(u'>').trimmed();
    const QString messageId = QUuid::createUuid().toString(QUuid::WithoutBraces) + u'@'
                              + (domain.isEmpty() || !mail.from.contains(u'@') ? QStringLiteral("wendle.invalid") : domain);
    g_mime_message_set_message_id(message, messageId.toUtf8().constData());

    GMimeObject *body = textPart(mail.body);
    GMimeObject *attachment = mail.attachmentPath.isEmpty() ? nullptr : attachmentPart(mail.attachmentPath);
    if (attachment) {
        GMimeMultipart *mixed = g_mime_multipart_new_with_subtype("mixed");
        g_mime_multipart_add(mixed, body);
        g_mime_multipart_add(mixed, attachment);
        g_object_unref(body);
        g_object_unref(attachment);
        g_mime_message_set_mime_part(message, GMIME_OBJECT(mixed));
        g_object_unref(mixed);
    } else {
        g_mime_message_set_mime_part(message, body);
        g_object_unref(body);
    }

    GMimeFormatOptions *options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    char *text = g_mime_object_to_string(GMIME_OBJECT(message), options);
    const QByteArray result(text);
    g_free(text);
    g_mime_format_options_free(options);
    g_object_unref(message);
    return result;
}

} // namespace wendle
