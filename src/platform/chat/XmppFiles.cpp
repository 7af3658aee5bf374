#include "platform/chat/XmppSession.h"

#include "platform/chat/HttpUpload.h"
#include "platform/chat/XmppStanza.h"

#include <QFileInfo>
#include <QMimeDatabase>

// Files go by HTTP upload: the server's upload service (found through service
// discovery) hands out a slot, the file is put there, and the address to
// fetch it from goes into the chat with an out-of-band element, which chat
// programs show as the file itself.

namespace wendle {

using namespace xmpp;

namespace {

constexpr const char *DiscoItemsNs = "http://jabber.org/protocol/disco#items";
constexpr const char *DiscoInfoNs = "http://jabber.org/protocol/disco#info";
constexpr const char *UploadNs = "urn:xmpp:http:upload:0";

xmpp_stanza_t *query(xmpp_ctx_t *ctx, const char *ns)
{
    xmpp_stanza_t *iq = xmpp_iq_new(ctx, "get", nullptr);
    xmpp_stanza_add_child_ex(iq, element(ctx, "query", ns), 0);
    return iq;
}

bool isResult(xmpp_stanza_t *reply)
{
    return reply && text(xmpp_stanza_get_type(reply)) == QLatin1String("result");
}

// The upload form's "max-file-size", or -1 when the service names no limit.
qint64 announcedLimit(xmpp_stanza_t *info)
{
    for (xmpp_stanza_t *form = xmpp_stanza_get_children(info); form; form = xmpp_stanza_get_next(form)) {
        if (text(xmpp_stanza_get_ns(form)) != QLatin1String("jabber:x:data"))
            continue;
        for (xmpp_stanza_t *field = xmpp_stanza_get_children(form); field; field = xmpp_stanza_get_next(field)) {
            if (attribute(field, "var") != QLatin1String("max-file-size"))
                continue;
            bool numeric = false;
            const qint64 limit = childText(field, "value").trimmed().toLongLong(&numeric);
            if (numeric && limit > 0)
                return limit;
        }
    }
    return -1;
}

} // namespace

void XmppSession::discoverUploadService()
{
    m_upload = UploadService::Searching;
    m_uploadJid.clear();
    m_uploadMaxSize = -1;
    // The service is the server itself or one of its items.
    m_pendingServiceQueries = 2;
    Stanza info(query(m_ctx, DiscoInfoNs));
    sendIq(info.get(), m_account.domain, [this](xmpp_stanza_t *reply) {
        serviceInfoArrived(reply);
        discoveryAnswered();
    });
    Stanza items(query(m_ctx, DiscoItemsNs));
    sendIq(items.get(), m_account.domain, [this](xmpp_stanza_t *reply) {
        xmpp_stanza_t *list = isResult(reply) ? xmpp_stanza_get_child_by_name(reply, "query") : nullptr;
        for (xmpp_stanza_t *item = list ? xmpp_stanza_get_children(list) : nullptr; item; item = xmpp_stanza_get_next(item)) {
            const QString jid = attribute(item, "jid");
            if (jid.isEmpty() || text(xmpp_stanza_get_name(item)) != QLatin1String("item"))
                continue;
            ++m_pendingServiceQueries;
            Stanza itemInfo(query(m_ctx, DiscoInfoNs));
            sendIq(itemInfo.get(), jid, [this](xmpp_stanza_t *itemReply) {
                serviceInfoArrived(itemReply);
                discoveryAnswered();
            });
        }
        discoveryAnswered();
    });
}

void XmppSession::serviceInfoArrived(xmpp_stanza_t *reply)
{
    xmpp_stanza_t *info = isResult(reply) ? xmpp_stanza_get_child_by_name(reply, "query") : nullptr;
    if (!info || m_upload == UploadService::Found)
        return;
    for (xmpp_stanza_t *feature = xmpp_stanza_get_children(info); feature; feature = xmpp_stanza_get_next(feature)) {
        if (text(xmpp_stanza_get_name(feature)) == QLatin1String("feature") && attribute(feature, "var") == QLatin1String(UploadNs)) {
            m_upload = UploadService::Found;
            m_uploadJid = text(xmpp_stanza_get_from(reply));
            m_uploadMaxSize = announcedLimit(info);
            return;
        }
    }
}

void XmppSession::discoveryAnswered()
{
    --m_pendingServiceQueries;
    if (m_upload == UploadService::Searching && m_pendingServiceQueries <= 0)
        m_upload = UploadService::None;
    if (m_upload == UploadService::Searching)
        return;
    while (!m_filesWaiting.empty()) {
        const auto [to, path] = m_filesWaiting.front();
        m_filesWaiting.pop_front();
        sendFile(to, path);
    }
}

void XmppSession::sendFile(const QString &to, const QString &path)
{
    if (m_upload == UploadService::Unknown || m_upload == UploadService::Searching) {
        m_filesWaiting.emplace_back(to, path);
        return;
    }
    if (m_upload == UploadService::None) {
        fileNotSent(path, QStringLiteral("the chat server offers no HTTP upload service"));
        return;
    }
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable()) {
        fileNotSent(path, QStringLiteral("the file cannot be read"));
        return;
    }
    if (m_uploadMaxSize >= 0 && file.size() > m_uploadMaxSize) {
        fileNotSent(path, QStringLiteral("it is larger than the %1 bytes the chat server accepts").arg(m_uploadMaxSize));
        return;
    }
    Stanza iq(xmpp_iq_new(m_ctx, "get", nullptr));
    xmpp_stanza_t *request = element(m_ctx, "request", UploadNs);
    xmpp_stanza_set_attribute(request, "filename", file.fileName().toUtf8().constData());
    xmpp_stanza_set_attribute(request, "size", QByteArray::number(file.size()).constData());
    xmpp_stanza_set_attribute(request, "content-type", QMimeDatabase().mimeTypeForFile(file).name().toUtf8().constData());
    xmpp_stanza_add_child_ex(iq.get(), request, 0);
    sendIq(iq.get(), m_uploadJid, [this, to, path](xmpp_stanza_t *reply) { slotArrived(to, path, reply); });
}

void XmppSession::slotArrived(const QString &to, const QString &path, xmpp_stanza_t *reply)
{
    if (!reply) {
        fileNotSent(path, QStringLiteral("the upload service did not answer"));
        return;
    }
    if (!isResult(reply)) {
        fileNotSent(path, QStringLiteral("the upload service refused it (%1)").arg(errorCondition(reply)));
        return;
    }
    xmpp_stanza_t *slotElement = xmpp_stanza_get_child_by_name(reply, "slot");
    xmpp_stanza_t *put = slotElement ? xmpp_stanza_get_child_by_name(slotElement, "put") : nullptr;
    xmpp_stanza_t *get = slotElement ? xmpp_stanza_get_child_by_name(slotElement, "get") : nullptr;
    UploadSlot slot;
    slot.putUrl = attribute(put, "url");
    slot.getUrl = attribute(get, "url");
    for (xmpp_stanza_t *header = put ? xmpp_stanza_get_children(put) : nullptr; header; header = xmpp_stanza_get_next(header)) {
        if (text(xmpp_stanza_get_name(header)) != QLatin1String("header"))
            continue;
        char *value = xmpp_stanza_get_text(header);
        slot.headers.append({attribute(header, "name"), value ? QString::fromUtf8(value) : QString()});
        if (value)
            xmpp_free(m_ctx, value);
    }
    if (slot.putUrl.isEmpty() || slot.getUrl.isEmpty()) {
        fileNotSent(path, QStringLiteral("the upload service gave no address"));
        return;
    }
    const QString contentType = QMimeDatabase().mimeTypeForFile(path).name();
    const QString certificate = m_account.trustedCertificate;
    m_uploads.start([this, to, path, slot, contentType, certificate, cancel = m_cancelUploads] {
        const QString error = putFile(slot, path, contentType, certificate, *cancel);
        QMetaObject::invokeMethod(
            this, [this, to, path, getUrl = slot.getUrl, error] { uploadFinished(to, path, getUrl, error); }, Qt::QueuedConnection);
    });
}

void XmppSession::uploadFinished(const QString &to, const QString &path, const QString &getUrl, const QString &error)
{
    if (!error.isEmpty()) {
        fileNotSent(path, error);
        return;
    }
    if (!m_connected) {
        fileNotSent(path, QStringLiteral("the chat connection was lost during the upload"));
        return;
    }
    sendText(to, getUrl, getUrl);
}

void XmppSession::fileNotSent(const QString &path, const QString &why)
{
    log(QStringLiteral("Wendle Error: the file %1 was not sent by chat, only the text: %2").arg(path, why));
}

} // namespace wendle
