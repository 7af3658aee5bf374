#include "platform/chat/XmppSession.h"

#include "platform/chat/XmppStanza.h"
#include "platform/mail/MailServer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace wendle {

using namespace xmpp;

namespace {

constexpr const char *PingNs = "urn:xmpp:ping";
constexpr const char *DiscoInfoNs = "http://jabber.org/protocol/disco#info";
constexpr int LongestPauseSeconds = 300;
constexpr size_t MostWaitingReplies = 50;
// Servers refuse stanzas above 256 KiB by default; a longer reply is cut.
constexpr qsizetype MostBodyBytes = 200000;
// Each run of libstrophe's loop reads one buffer; a few runs per wake-up
// drain what TLS has already decrypted, which the socket no longer signals.
constexpr int RunsPerWakeUp = 8;

// libstrophe's socket and certificate callbacks carry no pointer of ours; the
// session that runs the loop on this thread is the one they concern.
thread_local XmppSession *t_running = nullptr;

} // namespace

struct XmppCallbacks {
    // libstrophe says why a login failed only in its log; the last such word
    // goes into the next failure line.
    static void log(void *self, xmpp_log_level_t level, const char *area, const char *message)
    {
        XmppSession *session = static_cast<XmppSession *>(self);
        static constexpr char SocketFailure[] = "connection failed, error ";
        if (level == XMPP_LEVEL_DEBUG && message && std::strncmp(message, SocketFailure, sizeof SocketFailure - 1) == 0) {
            session->m_libraryError = QString::fromLocal8Bit(std::strerror(std::atoi(message + sizeof SocketFailure - 1)));
        } else if (level >= XMPP_LEVEL_ERROR) {
            const QString what =
                text(area) == QLatin1String("auth") ? QStringLiteral("the server refused the login: ") : text(area) + QLatin1String(": ");
            session->m_libraryError = what + text(message);
        }
    }
    static void connection(xmpp_conn_t *, xmpp_conn_event_t event, int error, xmpp_stream_error_t *streamError, void *self)
    {
        QString stream;
        if (streamError)
            stream = streamError->text ? text(streamError->text) : QStringLiteral("stream error %1").arg(int(streamError->type));
        static_cast<XmppSession *>(self)->connectionEvent(event, error, stream);
    }
    static int socket(xmpp_conn_t *, void *socket)
    {
        const int fd = *static_cast<int *>(socket);
        // A link that died without a word is noticed within about two minutes.
        const int on = 1, idle = 60, interval = 20, count = 3;
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
        if (t_running) {
            t_running->m_socket = fd;
            ++t_running->m_socketGeneration;
        }
        return 0;
    }
    static int certificate(const xmpp_tlscert_t *, const char *const error)
    {
        if (t_running)
            t_running->m_certificateError = text(error);
        return 0; // never talk to a server whose certificate does not verify
    }
    static int message(xmpp_conn_t *, xmpp_stanza_t *stanza, void *self) { return static_cast<XmppSession *>(self)->onMessage(stanza); }
    static int presence(xmpp_conn_t *, xmpp_stanza_t *stanza, void *self) { return static_cast<XmppSession *>(self)->onPresence(stanza); }
    static int iq(xmpp_conn_t *, xmpp_stanza_t *stanza, void *self) { return static_cast<XmppSession *>(self)->onIq(stanza); }
};

XmppSession::XmppSession(Callbacks callbacks)
    : m_callbacks(std::move(callbacks))
    , m_cancelUploads(std::make_shared<std::atomic_bool>(false))
{
    m_logger = new xmpp_log_t{&XmppCallbacks::log, this};
    m_tick = new QTimer(this);
    m_tick->setInterval(1000);
    connect(m_tick, &QTimer::timeout, this, [this] { pump(); });
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, [this] { startAttempt(); });
    m_uploads.setMaxThreadCount(1);
}

XmppSession::~XmppSession()
{
    close();
    *m_cancelUploads = true;
    m_uploads.waitForDone();
    if (m_ctx)
        xmpp_ctx_free(m_ctx);
    delete static_cast<xmpp_log_t *>(m_logger);
}

// The library and its TLS are set up when a session is first wanted: a Wendle
// that chats another way never pays for OpenSSL's start (about 2 MB resident).
_xmpp_ctx_t *XmppSession::context()
{
    if (!m_ctx) {
        static std::once_flag initialized;
        std::call_once(initialized, [] { xmpp_initialize(); });
        m_ctx = xmpp_ctx_new(nullptr, static_cast<xmpp_log_t *>(m_logger));
    }
    return m_ctx;
}

void XmppSession::open(const XmppAccount &account)
{
    m_account = account;
    m_wanted = true;
    m_retries = 0;
    m_everConnected = false;
    m_outageReported = false;
    m_retry->stop();
    startAttempt();
}

void XmppSession::close()
{
    m_wanted = false;
    m_retry->stop();
    releaseConnection();
    m_waiting.clear();
}

void XmppSession::send(const OutgoingChat &chat)
{
    if (m_connected) {
        deliver(chat);
        return;
    }
    if (m_waiting.size() >= MostWaitingReplies) {
        log(QStringLiteral("Wendle Error: the chat reply \"%1\" was dropped: too many replies wait for the chat server")
                .arg(m_waiting.front().text.left(80)));
        m_waiting.pop_front();
    }
    if (m_waiting.empty())
        log(QStringLiteral("Wendle Log Update:  chat replies wait until the chat server can be reached"));
    m_waiting.push_back(chat);
}

void XmppSession::startAttempt()
{
    releaseConnection();
    if (!m_wanted)
        return;
    m_libraryError.clear();
    m_certificateError.clear();
    QString error;
    const std::optional<QString> password = runPasswordCommand(m_account.passwordCommand, &error);
    if (!password) {
        connectionEvent(XMPP_CONN_FAIL, 0, QStringLiteral("hostChatPasswordCommand: ") + error);
        return;
    }
    m_conn = xmpp_conn_new(context());
    long flags = XMPP_CONN_FLAG_DISABLE_SM;
    if (m_account.requireTls)
        flags |= XMPP_CONN_FLAG_MANDATORY_TLS;
    xmpp_conn_set_flags(m_conn, flags);
    xmpp_conn_set_jid(m_conn, m_account.jid.toUtf8().constData());
    xmpp_conn_set_pass(m_conn, password->toUtf8().constData());
    if (!m_account.trustedCertificate.isEmpty()) {
        // Added to the system's store, not in place of it.
        xmpp_conn_set_cafile(m_conn, m_account.trustedCertificate.toUtf8().constData());
        xmpp_conn_set_capath(m_conn, "/etc/ssl/certs");
    }
    xmpp_conn_set_certfail_handler(m_conn, &XmppCallbacks::certificate);
    xmpp_conn_set_sockopt_callback(m_conn, &XmppCallbacks::socket);
    t_running = this;
    const QByteArray host = m_account.host.toUtf8();
    const int status =
        xmpp_connect_client(m_conn, host.isEmpty() ? nullptr : host.constData(), m_account.port, &XmppCallbacks::connection, this);
    if (status != XMPP_EOK) {
        connectionEvent(XMPP_CONN_FAIL, 0, QStringLiteral("the server's address could not be resolved"));
        return;
    }
    pump();
}

void XmppSession::scheduleRetry()
{
    if (!m_wanted || m_retry->isActive())
        return;
    const int pause = std::min(LongestPauseSeconds, 1 << std::min(m_retries, 9));
    ++m_retries;
    m_retry->start(pause * 1000);
}

void XmppSession::releaseConnection()
{
    delete m_readNotifier;
    delete m_writeNotifier;
    m_readNotifier = m_writeNotifier = nullptr;
    m_tick->stop();
    m_socket = -1;
    if (m_conn) {
        // Releasing a live connection reports its end; that is no outage.
        m_releasing = true;
        xmpp_conn_release(m_conn);
        m_releasing = false;
        m_conn = nullptr;
    }
    m_connected = false;
    m_replyHandlers.clear();
    m_upload = UploadService::Unknown;
}

void XmppSession::pump()
{
    if (!m_conn || m_inLoop)
        return;
    t_running = this;
    m_inLoop = true;
    for (int run = 0; run < RunsPerWakeUp && m_conn && !xmpp_conn_is_disconnected(m_conn); ++run)
        xmpp_run_once(context(), 0);
    m_inLoop = false;
    watchSocket();
}

void XmppSession::flushSoon()
{
    if (!m_inLoop)
        pump();
}

// Read readiness always wakes the loop; write readiness only while the
// connection is being made or output waits, since an idle socket is always
// writable and would wake it without end.
void XmppSession::watchSocket()
{
    const bool live = m_conn && !xmpp_conn_is_disconnected(m_conn) && m_socket >= 0;
    if (!live || m_watchedGeneration != m_socketGeneration) {
        for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        m_readNotifier = m_writeNotifier = nullptr;
        if (!live) {
            m_tick->stop();
            return;
        }
        m_readNotifier = new QSocketNotifier(m_socket, QSocketNotifier::Read, this);
        m_writeNotifier = new QSocketNotifier(m_socket, QSocketNotifier::Write, this);
        connect(m_readNotifier, &QSocketNotifier::activated, this, [this] { pump(); });
        connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { pump(); });
        m_watchedGeneration = m_socketGeneration;
    }
    m_writeNotifier->setEnabled(xmpp_conn_is_connecting(m_conn) || xmpp_conn_send_queue_len(m_conn) > 0);
    if (!m_tick->isActive())
        m_tick->start();
}

void XmppSession::connectionEvent(int event, int error, const QString &streamError)
{
    if (m_releasing || event == XMPP_CONN_RAW_CONNECT)
        return;
    if (event == XMPP_CONN_CONNECT) {
        onConnected();
        return;
    }
    const bool wasConnected = m_connected;
    m_connected = false;
    m_replyHandlers.clear();
    m_upload = UploadService::Unknown;
    while (!m_filesWaiting.empty()) {
        fileNotSent(m_filesWaiting.front().second, QStringLiteral("the chat connection was lost"));
        m_filesWaiting.pop_front();
    }
    if (!m_wanted)
        return;
    if (!m_outageReported) {
        m_outageReported = true;
        const QString why = describeFailure(error, streamError);
        log(wasConnected ? QStringLiteral("Wendle Error: the chat connection of %1 was lost (%2); Wendle logs in again "
                                          "after growing pauses")
                               .arg(m_account.jid, why)
                         : QStringLiteral("Wendle Error: cannot log in to chat as %1 (%2); Wendle tries again after "
                                          "growing pauses")
                               .arg(m_account.jid, why));
    }
    scheduleRetry();
    if (m_callbacks.linkChanged)
        m_callbacks.linkChanged(false, m_retries);
}

QString XmppSession::describeFailure(int error, const QString &streamError) const
{
    if (!m_certificateError.isEmpty())
        return QStringLiteral("the server's certificate does not verify: %1; set chatTrustedCertificate to trust it")
            .arg(m_certificateError);
    if (!streamError.isEmpty())
        return streamError;
    if (error != 0)
        return QString::fromLocal8Bit(std::strerror(error));
    if (!m_libraryError.isEmpty())
        return m_libraryError;
    return QStringLiteral("the server closed the connection");
}

void XmppSession::onConnected()
{
    m_connected = true;
    m_retries = 0;
    if (m_outageReported)
        log(QStringLiteral("Wendle Log Update:  the chat connection of %1 is back").arg(m_account.jid));
    else if (!m_everConnected)
        log(QStringLiteral("Wendle Log Update:  logged in to chat as %1").arg(m_account.jid));
    m_outageReported = false;
    m_everConnected = true;
    if (m_callbacks.linkChanged)
        m_callbacks.linkChanged(true, 0);

    xmpp_handler_add(m_conn, &XmppCallbacks::message, nullptr, "message", nullptr, this);
    xmpp_handler_add(m_conn, &XmppCallbacks::presence, nullptr, "presence", nullptr, this);
    xmpp_handler_add(m_conn, &XmppCallbacks::iq, nullptr, "iq", nullptr, this);
    Stanza presence(xmpp_presence_new(context()));
    xmpp_send(m_conn, presence.get());
    discoverUploadService();
    while (m_connected && !m_waiting.empty()) {
        const OutgoingChat chat = m_waiting.front();
        m_waiting.pop_front();
        deliver(chat);
    }
}

bool XmppSession::onMessage(xmpp_stanza_t *stanza)
{
    const QString type = text(xmpp_stanza_get_type(stanza));
    const QString from = text(xmpp_stanza_get_from(stanza));
    if (type == QLatin1String("error")) {
        remoteLog(
            QStringLiteral("chat delivery errors"),
            QStringLiteral("Wendle Error: a chat message to %1 could not be delivered (%2)").arg(from.left(200), errorCondition(stanza)));
        return true;
    }
    if (type == QLatin1String("groupchat") || type == QLatin1String("headline"))
        return true;
    if (!type.isEmpty() && type != QLatin1String("chat") && type != QLatin1String("normal")) {
        remoteLog(
            QStringLiteral("chat messages of unknown types"),
            QStringLiteral("Wendle Log Update:  ignored a chat message of unknown type \"%1\" from %2").arg(type.left(40), from.left(200)));
        return true;
    }
    char *body = xmpp_message_get_body(stanza);
    if (!body)
        return true; // typing notifications, receipts: nothing to read
    const QString content = QString::fromUtf8(body);
    xmpp_free(context(), body);
    if (m_callbacks.messageReceived)
        m_callbacks.messageReceived(from, content);
    return true;
}

// The owner's request to see Wendle's presence is granted; others are left
// unanswered.
bool XmppSession::onPresence(xmpp_stanza_t *stanza)
{
    const QString from = text(xmpp_stanza_get_from(stanza));
    if (text(xmpp_stanza_get_type(stanza)) != QLatin1String("subscribe") || m_account.remoteAddress.isEmpty()
        || bareAddress(from) != bareAddress(m_account.remoteAddress))
        return true;
    Stanza answer(xmpp_presence_new(context()));
    xmpp_stanza_set_type(answer.get(), "subscribed");
    xmpp_stanza_set_to(answer.get(), bareAddress(from).toUtf8().constData());
    xmpp_send(m_conn, answer.get());
    return true;
}

bool XmppSession::onIq(xmpp_stanza_t *stanza)
{
    const QString type = text(xmpp_stanza_get_type(stanza));
    if (type == QLatin1String("result") || type == QLatin1String("error")) {
        onReply(stanza);
        return true;
    }
    if (type != QLatin1String("get") && type != QLatin1String("set"))
        return true;
    const QString ns = text(xmpp_stanza_get_ns(xmpp_stanza_get_children(stanza)));
    if (type == QLatin1String("get") && ns == QLatin1String(PingNs)) {
        Stanza pong(xmpp_stanza_reply(stanza));
        xmpp_stanza_set_type(pong.get(), "result");
        xmpp_send(m_conn, pong.get());
        return true;
    }
    if (type == QLatin1String("get") && ns == QLatin1String(DiscoInfoNs)) {
        Stanza info(xmpp_stanza_reply(stanza));
        xmpp_stanza_set_type(info.get(), "result");
        xmpp_stanza_t *query = element(context(), "query", DiscoInfoNs);
        xmpp_stanza_t *identity = element(context(), "identity");
        xmpp_stanza_set_attribute(identity, "category", "client");
        xmpp_stanza_set_attribute(identity, "type", "bot");
        xmpp_stanza_set_attribute(identity, "name", "Wendle");
        xmpp_stanza_add_child_ex(query, identity, 0);
        for (const char *feature : {DiscoInfoNs, PingNs}) {
            xmpp_stanza_t *entry = element(context(), "feature");
            xmpp_stanza_set_attribute(entry, "var", feature);
            xmpp_stanza_add_child_ex(query, entry, 0);
        }
        xmpp_stanza_add_child_ex(info.get(), query, 0);
        xmpp_send(m_conn, info.get());
        return true;
    }
    Stanza refusal(xmpp_stanza_reply_error(stanza, "cancel", "service-unavailable", nullptr));
    xmpp_send(m_conn, refusal.get());
    return true;
}

void XmppSession::onReply(xmpp_stanza_t *stanza)
{
    const ReplyHandler handler = m_replyHandlers.take(text(xmpp_stanza_get_id(stanza)));
    if (handler)
        handler(stanza);
}

// A request whose answer never comes gets a null reply after a while, so no
// file waits for ever.
void XmppSession::sendIq(xmpp_stanza_t *iq, const QString &to, ReplyHandler handler)
{
    const QString id = QStringLiteral("wendle%1").arg(++m_nextId);
    xmpp_stanza_set_id(iq, id.toUtf8().constData());
    xmpp_stanza_set_to(iq, to.toUtf8().constData());
    m_replyHandlers.insert(id, std::move(handler));
    xmpp_send(m_conn, iq);
    QTimer::singleShot(30000, this, [this, id] {
        const ReplyHandler handler = m_replyHandlers.take(id);
        if (handler)
            handler(nullptr);
    });
    flushSoon();
}

void XmppSession::sendText(const QString &to, const QString &body, const QString &oobUrl)
{
    const QByteArray bytes = xmlText(body, MostBodyBytes);
    if (bytes.size() < body.toUtf8().size())
        log(QStringLiteral("Wendle Log Update:  a chat reply to %1 was cut to %2 bytes").arg(to).arg(bytes.size()));
    Stanza message(
        xmpp_message_new(context(), "chat", to.toUtf8().constData(), QStringLiteral("wendle%1").arg(++m_nextId).toUtf8().constData()));
    xmpp_message_set_body(message.get(), bytes.constData());
    if (!oobUrl.isEmpty()) {
        xmpp_stanza_t *outOfBand = element(context(), "x", "jabber:x:oob");
        addTextElement(outOfBand, "url", oobUrl.toUtf8());
        xmpp_stanza_add_child_ex(message.get(), outOfBand, 0);
    }
    xmpp_send(m_conn, message.get());
    flushSoon();
}

void XmppSession::deliver(const OutgoingChat &chat)
{
    sendText(chat.handle, chat.text);
    if (!chat.filePath.isEmpty())
        sendFile(chat.handle, chat.filePath);
}

void XmppSession::remoteLog(const QString &kind, const QString &line) const
{
    if (m_callbacks.remoteLog)
        m_callbacks.remoteLog(kind, line);
}

void XmppSession::log(const QString &line) const
{
    if (m_callbacks.log)
        m_callbacks.log(line);
}

} // namespace wendle
