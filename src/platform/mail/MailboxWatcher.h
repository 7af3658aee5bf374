#pragma once

#include "platform/mail/InboundMessage.h"
#include "platform/mail/MailLog.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QObject;
class QTimer;

namespace wendle {

class Preferences;

// Watches an IMAP folder for commands. Only commands are touched: the server
// is asked for the unseen messages from the remote or phone address whose
// body holds the keyword, and only those are fetched; all other mail keeps
// its flags. Each command is parsed and handed to the handler, and marked
// seen only after the handler returned true: a crash or a refusal leaves it
// unseen, so it comes again on the next poll and no command is lost (at worst
// one is handled twice). A command that cannot be parsed is logged and marked
// seen, so it does not come back forever.
//
// Where the server offers IDLE, a second connection waits in it and a new
// message is fetched the moment the server announces it; the polls go on
// beside it. A dropped IDLE connection is opened again at once and the folder
// polled then, so nothing that came meanwhile waits for the poll timer;
// repeated failures wait longer each time, up to a minute. Both connections
// stay logged in between rounds. The first login and every recovery after a
// failure are logged once.
//
// Preferences, read at each poll: "imapUrl" (imaps://host/INBOX; imap:// then
// requires STARTTLS, except towards a loopback host), "imapFolder" (the folder
// to watch instead of the URL's, for owners who sort commands into one),
// "imapUser", "imapPasswordCommand" (an argument vector printing the
// password), "imapPollSeconds" (default 60), "remoteEmailAddress" and
// "phoneEmailAddress". Nothing happens while "imapUrl" is empty.
//
// Create, use and destroy it on the main thread with a running event loop:
// the network work runs on a worker thread; the handler and the log are
// called on the main thread.
class MailboxWatcher {
public:
    using Handler = std::function<bool(const InboundMail &mail)>;

    // Attachments are saved under attachmentFolder.
    MailboxWatcher(const Preferences &preferences, const QString &attachmentFolder, Handler handler, MailLog log);
    ~MailboxWatcher();

    // Polls at once and then every "imapPollSeconds".
    void start();
    void stop();
    // One poll now (when none is running).
    void pollNow();

    // Rounds finished so far (a poll, or flagging what was handled), whether
    // they reached the server or not; lets a caller wait for one to end.
    quint64 completedRounds() const { return m_completedRounds; }
    bool isBusy() const { return m_roundRunning; }
    bool isRunning() const { return m_running; }
    // "connecting to URL", "reading URL" or "cannot read URL: why".
    QString connectionState() const;

    // At most this many messages are fetched per poll; the rest follow at once.
    static constexpr int MessagesPerPoll = 20;

    // How the IDLE connection keeps time; tests shorten it.
    struct IdleTiming {
        // One IDLE lasts this long before DONE: servers may drop a client
        // idle for 30 minutes.
        std::chrono::milliseconds cycle = std::chrono::minutes(25);
        // How long the server may take to answer, DONE included.
        std::chrono::milliseconds answerWait = std::chrono::minutes(2);
        // After a failure the next try waits this long, doubled with each
        // failure in a row up to longestRetry; an IDLE that lasted healthyIdle
        // before it broke counts as working and starts again at firstRetry.
        std::chrono::milliseconds firstRetry = std::chrono::seconds(1);
        std::chrono::milliseconds longestRetry = std::chrono::minutes(1);
        std::chrono::milliseconds healthyIdle = std::chrono::seconds(30);
    };
    void setIdleTiming(const IdleTiming &timing) { m_idleTiming = timing; }

    struct Request;
    struct Result;
    struct Connection;
    enum class IdleOutcome { Changed, Quiet, Unsupported, Failed };

private:
    void startIdle();
    void finishIdle(IdleOutcome outcome, std::chrono::milliseconds idled);
    void idleEntered();
    void idleChanged();
    QString commandFolder() const;
    void startRound(bool fetch);
    void finishRound(const Result &result);
    void handOver(const Result &result);
    void reportConnection(const QString &error);
    void scheduleNextPoll(bool soon);
    void log(const QString &line) const;

    const Preferences &m_preferences;
    QString m_attachmentFolder;
    Handler m_handler;
    MailLog m_log;
    bool m_running = false;
    bool m_roundRunning = false;
    QSet<quint32> m_toMarkSeen; // handled but not yet flagged on the server
    quint32 m_uidValidity = 0;  // of the mailbox those UIDs belong to
    QString m_lastConnectionError;
    enum class ConnectionState { NotYet, Reading, Failing } m_state = ConnectionState::NotYet;
    quint64 m_completedRounds = 0;
    std::unique_ptr<QObject> m_context; // lives on the owner's thread; results are posted to it
    QTimer *m_timer = nullptr;
    std::shared_ptr<std::atomic_bool> m_cancel;
    QThreadPool m_pool;
    bool m_pollWanted = false;
    std::shared_ptr<Connection> m_connection; // the polls' connection, used on m_pool only
    bool m_idleRunning = false;
    IdleTiming m_idleTiming;
    int m_idleFailures = 0; // in a row
    std::shared_ptr<std::atomic_bool> m_idleChangePosted;
    QTimer *m_idleRetry = nullptr; // child of m_context
    QThreadPool m_idlePool;        // one long IDLE wait at a time
};

} // namespace wendle
