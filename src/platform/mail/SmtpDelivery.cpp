#include "platform/mail/SmtpDelivery.h"

#include "platform/mail/GMimeLibrary.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cstring>

namespace wendle {

namespace {

// Mailbox addresses of a header's list, groups opened up.
void collectAddresses(InternetAddressList *list, QStringList &addresses)
{
    if (!list)
        return;
    const int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            collectAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), addresses);
            continue;
        }
        const QString mailbox = QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))).trimmed();
        if (mailbox.isEmpty())
            continue;
        const bool seen = std::any_of(addresses.cbegin(), addresses.cend(),
                                      [&](const QString &known) { return known.compare(mailbox, Qt::CaseInsensitive) == 0; });
        if (!seen)
            addresses << mailbox;
    }
}

// Feeds the message to curl piece by piece.
struct Upload {
    const QByteArray &bytes;
    qsizetype offset = 0;
};

size_t readUpload(char *buffer, size_t size, size_t count, void *userData)
{
    auto *upload = static_cast<Upload *>(userData);
    const size_t wanted = size * count;
    const size_t left = size_t(upload->bytes.size() - upload->offset);
    const size_t chunk = std::min(wanted, left);
    std::memcpy(buffer, upload->bytes.constData() + upload->offset, chunk);
    upload->offset += qsizetype(chunk);
    return chunk;
}

bool isUnreachable(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_LOGIN_DENIED:
    case CURLE_ABORTED_BY_CALLBACK: return true;
    default: return false;
    }
}

} // namespace

std::optional<Envelope> readEnvelope(const QByteArray &bytes, QString *error)
{
    ensureGMimeInitialised();
    GMimeMessage *message = parseMimeMessage(bytes);
    if (!message) {
        *error = QStringLiteral("the queued file is not a mail message");
        return std::nullopt;
    }
    Envelope envelope;
    QStringList senders;
    collectAddresses(g_mime_message_get_from(message), senders);
    envelope.sender = senders.value(0);
    collectAddresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_TO), envelope.recipients);
    collectAddresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_CC), envelope.recipients);
    g_object_unref(message);
    return envelope;
}

SmtpSession::SmtpSession(const MailServerSettings &settings, const std::atomic_bool &cancel) : m_settings(settings), m_handle(&cancel)
{}

DeliveryResult SmtpSession::deliver(const Envelope &envelope, const QByteArray &message)
{
    DeliveryResult result;
    if (!m_configured) {
        m_configured = true;
        m_handle.configure(m_settings, MailProtocol::Smtp, &m_setupError);
    }
    if (!m_setupError.isEmpty()) {
        result.unreachable = true;
        result.error = m_setupError;
        return result;
    }
    CURL *curl = m_handle.get();
    const QByteArray sender = '<' + envelope.sender.toUtf8() + '>';
    curl_slist *recipients = nullptr;
    for (const QString &recipient : envelope.recipients)
        recipients = curl_slist_append(recipients, ('<' + recipient.toUtf8() + '>').constData());
    Upload upload{message};
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, sender.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &readUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));

    m_handle.clearFailureRecord();
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_slist_free_all(recipients);
    result.delivered = code == CURLE_OK;
    if (!result.delivered) {
        result.unreachable = isUnreachable(code);
        result.error = m_handle.describeFailure(code);
    }
    return result;
}

} // namespace wendle
