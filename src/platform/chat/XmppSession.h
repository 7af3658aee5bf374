#pragma once

#include "platform/chat/ChatTransport.h"
#include "platform/chat/XmppAccount.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

struct _xmpp_ctx_t;
struct _xmpp_conn_t;
struct _xmpp_stanza_t;

class QSocketNotifier;
class QTimer;

namespace wendle {

// One login to the chat server through libstrophe. It lives on a thread of
// its own with a Qt event loop, where libstrophe's socket is watched, so that
// name lookups, the TLS handshake and the password command never hold up the
// main thread. Calls come in as queued calls; what it has to tell (a message
// received, a line for the log) goes out through the callbacks, which are
// called on its thread and must post to wherever they are needed.
//
// After a drop it logs in again with growing pauses (1 s, 2 s, 4 s ... at most
// 5 min), writing one line when the link is lost and one when it is back.
class XmppSession : public QObject {
public:
    struct Callbacks {
        std::function<void(const QString &from, const QString &body)> messageReceived;
        std::function<void(const QString &line)> log;
        // A line the other side caused (an error reply, an odd stanza), of
        // a kind the log holds only a few of an hour.
        std::function<void(const QString &kind, const QString &line)> remoteLog;
        // The link came up (true) or went down while wanted (false), and how
        // many tries to log in have failed since it was last up.
        std::function<void(bool up, int failedTries)> linkChanged;
    };

    explicit XmppSession(Callbacks callbacks);
    ~XmppSession() override;

    // Logs in with the account, replacing any earlier login.
    void open(const XmppAccount &account);
    // Logs out and stays out.
    void close();
    // Sends the text, then the file (when it has one) by HTTP upload. Replies
    // wait while the link is down and go out once it is back.
    void send(const OutgoingChat &chat);

private:
    enum class UploadService { Unknown, Searching, Found, None };
    using ReplyHandler = std::function<void(_xmpp_stanza_t *reply)>;

    void startAttempt();
    void scheduleRetry();
    void releaseConnection();
    void pump();
    void flushSoon();
    void watchSocket();
    void connectionEvent(int event, int error, const QString &streamError);
    void onConnected();
    QString describeFailure(int error, const QString &streamError) const;

    bool onMessage(_xmpp_stanza_t *stanza);
    bool onPresence(_xmpp_stanza_t *stanza);
    bool onIq(_xmpp_stanza_t *stanza);
    void onReply(_xmpp_stanza_t *stanza);
    void sendIq(_xmpp_stanza_t *iq, const QString &to, ReplyHandler handler);
    void sendText(const QString &to, const QString &text, const QString &oobUrl = QString());
    void deliver(const OutgoingChat &chat);

    // Files: finding the server's upload service, asking it for a slot,
    // putting the file there (XmppFiles.cpp).
    void discoverUploadService();
    void serviceInfoArrived(_xmpp_stanza_t *reply);
    void discoveryAnswered();
    void sendFile(const QString &to, const QString &path);
    void slotArrived(const QString &to, const QString &path, _xmpp_stanza_t *reply);
    void uploadFinished(const QString &to, const QString &path, const QString &getUrl, const QString &error);
    void fileNotSent(const QString &path, const QString &why);

    void log(const QString &line) const;
    void remoteLog(const QString &kind, const QString &line) const;

    Callbacks m_callbacks;
    XmppAccount m_account;
    bool m_wanted = false;
    void *m_logger = nullptr; // libstrophe's xmpp_log_t, pointing back here
    _xmpp_ctx_t *m_ctx = nullptr;
    _xmpp_ctx_t *context();
    _xmpp_conn_t *m_conn = nullptr;
    bool m_connected = false;
    bool m_inLoop = false; // inside libstrophe's loop: no second run may start
    bool m_releasing = false;
    bool m_everConnected = false;
    bool m_outageReported = false;
    int m_retries = 0;
    QString m_libraryError; // libstrophe's last complaint, for the next failure line
    QString m_certificateError;

    int m_socket = -1;
    quint64 m_socketGeneration = 0;
    quint64 m_watchedGeneration = 0;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_tick = nullptr; // libstrophe's own timeouts
    QTimer *m_retry = nullptr;

    quint64 m_nextId = 0;
    QHash<QString, ReplyHandler> m_replyHandlers;
    std::deque<OutgoingChat> m_waiting; // replies held while the link is down

    UploadService m_upload = UploadService::Unknown;
    QString m_uploadJid;
    qint64 m_uploadMaxSize = -1; // -1: no limit announced
    int m_pendingServiceQueries = 0;
    std::deque<std::pair<QString, QString>> m_filesWaiting; // (to, path) until discovery ends
    QThreadPool m_uploads;
    std::shared_ptr<std::atomic_bool> m_cancelUploads;

    friend struct XmppCallbacks;
};

} // namespace wendle
