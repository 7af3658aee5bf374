#include "platform/mail/MimeComposer.h"

#include "platform/mail/GMimeLibrary.h"
#include "platform/mail/OpenPgp.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUuid>

#include <gmime/gmime.h>

namespace wendle {

namespace {

// A message with no main recipient (a copy mailed only to its Cc) says so
// the customary way rather than leaving the header out.
void addUndisclosedRecipients(InternetAddressList *list)
{
    InternetAddress *group = internet_address_group_new("undisclosed-recipients");
    internet_address_list_add(list, group);
    g_object_unref(group);
}

// Adds every address of a header value ("a@b.c, Name <d@e.f>") to the list:
// the owner's own sender address, as configured.
void addAddresses(InternetAddressList *list, const QString &addresses)
{
    if (addresses.trimmed().isEmpty())
        return;
    InternetAddressList *parsed = internet_address_list_parse(nullptr, addresses.toUtf8().constData());
    if (!parsed)
        return;
    internet_address_list_append(list, parsed);
    g_object_unref(parsed);
}

// The main and the copy address each go on as one recipient, exactly as given.
// A text the address parser would cut or split ("bob@example com" into two,
// "a@b@cd" into "a@b") travels as one quoted local part instead: every reader
// shows it whole, and no server delivers it to a different address.
void addOneRecipient(InternetAddressList *list, const QString &address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return;
    QByteArray utf8 = trimmed.toUtf8();
    InternetAddressList *parsed = internet_address_list_parse(nullptr, utf8.constData());
    if (parsed && internet_address_list_length(parsed) == 1) {
        char *text = internet_address_list_to_string(parsed, nullptr, FALSE);
        const bool whole = QString::fromUtf8(text) == trimmed;
        g_free(text);
        if (whole) {
            internet_address_list_append(list, parsed);
            g_object_unref(parsed);
            return;
        }
    }
    if (parsed)
        g_object_unref(parsed);
    utf8.replace("\\", "\\\\").replace("\"", "\\\"");
    InternetAddress *mailbox = internet_address_mailbox_new(nullptr, ('"' + utf8 + '"').constData());
    internet_address_list_add(list, mailbox);
    g_object_unref(mailbox);
}

// The part takes its own reference to the bytes through a memory stream.
void setContent(GMimePart *part, const QByteArray &bytes)
{
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size()));
    GMimeDataWrapper *content = g_mime_data_wrapper_new_with_stream(stream, GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_part_set_content(part, content);
    g_object_unref(content);
    g_object_unref(stream);
}

// The text is stored as UTF-8 and labelled so; GMime picks 7bit for plain
// ASCII and quoted-printable or base64 otherwise. (g_mime_text_part_set_text
// would choose the charset itself, possibly ISO-8859-1.)
GMimeObject *textPart(const QString &body)
{
    GMimeTextPart *text = g_mime_text_part_new_with_subtype("plain");
    setContent(GMIME_PART(text), body.toUtf8());
    g_mime_text_part_set_charset(text, "utf-8");
    const GMimeContentEncoding encoding = g_mime_part_get_best_content_encoding(GMIME_PART(text), GMIME_ENCODING_CONSTRAINT_7BIT);
    g_mime_part_set_content_encoding(GMIME_PART(text), encoding);
    return GMIME_OBJECT(text);
}

// The file as a base64 part; nullptr when it cannot be read.
GMimeObject *attachmentPart(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return nullptr;
    // An empty file would be sniffed as "application/x-zerosize"; its name
    // says more.
    const QMimeDatabase types;
    QString type = types.mimeTypeForFile(path).name();
    if (type == QLatin1String("application/x-zerosize"))
        type = types.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
    if (!type.contains(u'/'))
        type = QStringLiteral("application/octet-stream");

    GMimePart *part =
        g_mime_part_new_with_type(type.section(u'/', 0, 0).toLatin1().constData(), type.section(u'/', 1).toLatin1().constData());
    setContent(part, bytes);
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
    g_mime_object_set_disposition(GMIME_OBJECT(part), "attachment");
    g_mime_part_set_filename(part, QFileInfo(path).fileName().toUtf8().constData());
    return GMIME_OBJECT(part);
}

// A Message-ID on the sender's domain when it has a usable one.
QString newMessageId(const QString &from)
{
    static const QRegularExpression domainPattern(QStringLiteral("@([A-Za-z0-9.-]+[A-Za-z0-9])"));
    const QRegularExpressionMatch match = domainPattern.match(from);
    const QString domain = match.hasMatch() ? match.captured(1) : QStringLiteral("wendle.invalid");
    return QUuid::createUuid().toString(QUuid::WithoutBraces) + u'@' + domain;
}

void setDate(GMimeMessage *message, const QDateTime &date)
{
    const QDateTime when = date.isValid() ? date : QDateTime::currentDateTime();
    GTimeZone *zone = g_time_zone_new_offset(when.offsetFromUtc());
    GDateTime *utc = g_date_time_new_from_unix_utc(when.toSecsSinceEpoch());
    GDateTime *local = g_date_time_to_timezone(utc, zone);
    g_mime_message_set_date(message, local);
    g_date_time_unref(local);
    g_date_time_unref(utc);
    g_time_zone_unref(zone);
}

// Threads the reply under the command it answers. An id that would not
// survive as one header token is dropped: the reply still goes, unthreaded.
void setThread(GMimeMessage *message, const QString &inReplyTo)
{
    const QString id = threadableMessageId(inReplyTo);
    if (id.isEmpty())
        return;
    const QByteArray value = '<' + id.toLatin1() + '>';
    g_mime_object_set_header(GMIME_OBJECT(message), "In-Reply-To", value.constData(), nullptr);
    g_mime_object_set_header(GMIME_OBJECT(message), "References", value.constData(), nullptr);
}

// The text, and the attachment beside it when there is one.
GMimeObject *bodyEntity(const OutgoingMail &mail)
{
    GMimeObject *body = textPart(mail.body);
    GMimeObject *attachment = mail.attachmentPath.isEmpty() ? nullptr : attachmentPart(mail.attachmentPath);
    if (!attachment)
        return body;
    GMimeMultipart *mixed = g_mime_multipart_new_with_subtype("mixed");
    g_mime_multipart_add(mixed, body);
    g_mime_multipart_add(mixed, attachment);
    g_object_unref(body);
    g_object_unref(attachment);
    return GMIME_OBJECT(mixed);
}

bool setBody(GMimeMessage *message, const OutgoingMail &mail, QString *error)
{
    GMimeObject *body = bodyEntity(mail);
    if (!mail.encryptTo.isEmpty()) {
        QString why;
        GMimeObject *encrypted = encryptedEntity(body, mail.encryptTo, &why);
        g_object_unref(body);
        if (!encrypted) {
            if (error)
                *error = why;
            return false;
        }
        body = encrypted;
    }
    g_mime_message_set_mime_part(message, body);
    g_object_unref(body);
    return true;
}

QByteArray toBytes(GMimeMessage *message)
{
    GMimeFormatOptions *options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    GMimeStream *stream = g_mime_stream_mem_new();
    g_mime_object_write_to_stream(GMIME_OBJECT(message), options, stream);
    GByteArray *buffer = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    const QByteArray result(reinterpret_cast<const char *>(buffer->data), qsizetype(buffer->len));
    g_object_unref(stream);
    g_mime_format_options_free(options);
    return result;
}

} // namespace

QByteArray composeMessage(const OutgoingMail &mail, const QDateTime &date, QString *error)
{
    ensureGMimeInitialised();
    GMimeMessage *message = g_mime_message_new(TRUE);
    addAddresses(g_mime_message_get_from(message), mail.from);
    InternetAddressList *to = g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_TO);
    addOneRecipient(to, mail.to);
    if (internet_address_list_length(to) == 0)
        addUndisclosedRecipients(to);
    addOneRecipient(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_CC), mail.cc);
    g_mime_message_set_subject(message, mail.subject.toUtf8().constData(), "utf-8");
    setDate(message, date);
    g_mime_message_set_message_id(message, newMessageId(mail.from).toUtf8().constData());
    setThread(message, mail.inReplyTo);
    // Marks every reply as automatic, so that mail systems (and Wendle's own
    // intake, should the reply come back) never answer or obey it.
    g_mime_object_set_header(GMIME_OBJECT(message), "Auto-Submitted", "auto-replied", nullptr);
    const QByteArray result = setBody(message, mail, error) ? toBytes(message) : QByteArray();
    g_object_unref(message);
    return result;
}

} // namespace wendle
