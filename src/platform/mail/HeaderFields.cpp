#include "platform/mail/HeaderFields.h"

#include "platform/mail/GMimeLibrary.h"

#include <gmime/gmime.h>

namespace wendle {

namespace {

QString mailboxAddress(InternetAddress *address)
{
    return INTERNET_ADDRESS_IS_MAILBOX(address) ? QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)))
                                                : QString();
}

} // namespace

AddressField readAddressField(const QString &value)
{
    ensureGMimeInitialised();
    AddressField field;
    InternetAddressList *list = internet_address_list_parse(nullptr, value.toUtf8().constData());
    if (!list)
        return field;
    field.count = internet_address_list_length(list);
    if (field.count == 1)
        field.onlyMailbox = mailboxAddress(internet_address_list_get_address(list, 0));
    g_object_unref(list);
    return field;
}

QDateTime readDateField(const QString &value)
{
    ensureGMimeInitialised();
    GDateTime *parsed = g_mime_utils_header_decode_date(value.toUtf8().constData());
    if (!parsed)
        return {};
    const QDateTime date = QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(parsed));
    g_date_time_unref(parsed);
    return date;
}

SenderAndSubject readSenderAndSubject(QByteArray header)
{
    // A header block alone still has to end like one.
    if (!header.contains("\n\n") && !header.contains("\r\n\r\n"))
        header += "\r\n\r\n";
    GMimeMessage *message = parseMimeMessage(header);
    if (!message)
        return {};
    SenderAndSubject read;
    InternetAddressList *from = g_mime_message_get_from(message);
    if (from && internet_address_list_length(from) > 0) {
        InternetAddress *first = internet_address_list_get_address(from, 0);
        read.sender = QString::fromUtf8(internet_address_get_name(first)).trimmed();
        if (read.sender.isEmpty())
            read.sender = mailboxAddress(first).trimmed();
    }
    read.subject = QString::fromUtf8(g_mime_message_get_subject(message));
    g_object_unref(message);
    return read;
}

} // namespace wendle
