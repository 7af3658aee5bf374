#pragma once

#include "platform/mail/MailLog.h"
#include "platform/mail/MailTransport.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <memory>

class QObject;
class QTimer;

namespace wendle {

class Preferences;

// Replies through an SMTP server, kept the way a mail program keeps its
// outbox. send() composes the message and writes it to <support>/queue/
// (returning true once it is safely there); delivery then runs on a worker
// thread, so the caller never waits for the network. A message the server
// accepted moves to <support>/sent/. One that could not go stays queued and
// is retried after a growing wait (30 s, 1 min, 2 min, ... at most 1 h); the
// queue is also read again when the transport is made, so replies survive a
// restart. A message with no recipient at all moves to <support>/failed/.
//
// Preferences, read at each delivery round: "smtpUrl" (smtps://host:465, or
// smtp://host:587 where STARTTLS is then required; plain smtp:// only to a
// loopback host), "smtpUser" (no login when empty) and "smtpPasswordCommand"
// (an argument vector printing the password).
//
// Create, use and destroy it on a thread with a running Qt event loop (the
// main thread): rounds are scheduled there and the log is called there.
// Destroying it stops a delivery in progress; unsent messages stay queued.
class SmtpMailTransport : public MailTransport {
public:
    SmtpMailTransport(const Preferences &preferences, const QString &supportFolder, MailLog log);
    ~SmtpMailTransport() override;

    bool send(const OutgoingMail &mail, const QString &script) override;

    // The first wait after a failure; each further failure doubles it, up to
    // an hour. Tests shorten it.
    void setRetryBaseDelay(std::chrono::milliseconds delay) { m_baseDelay = delay; }
    // Starts a round for every queued message now, whatever its wait.
    void deliverNow();

    QString queueFolder() const { return m_support + QLatin1String("/queue"); }
    QString sentFolder() const { return m_support + QLatin1String("/sent"); }
    QString failedFolder() const { return m_support + QLatin1String("/failed"); }

    struct Outcome;

private:
    struct Retry {
        int attempts = 0;
        std::chrono::steady_clock::time_point due;
    };

    void startRound(bool ignoreWaits);
    void finishRound(const QList<Outcome> &outcomes);
    void recordFailure(const Outcome &outcome, QStringList &reported);
    void scheduleNextRound();
    std::chrono::milliseconds delayAfter(int attempts) const;
    void log(const QString &line) const;

    const Preferences &m_preferences;
    QString m_support;
    MailLog m_log;
    std::chrono::milliseconds m_baseDelay{std::chrono::seconds(30)};
    QHash<QString, Retry> m_retries;    // by file name in the queue
    QSet<QString> m_stuckAfterDelivery; // accepted, yet neither moved nor removed
    bool m_roundRunning = false;
    bool m_roundWanted = false;
    std::unique_ptr<QObject> m_context; // lives on the owner's thread; results are posted to it
    QTimer *m_timer = nullptr;          // child of m_context
    std::shared_ptr<std::atomic_bool> m_cancel;
    QThreadPool m_pool;
};

} // namespace wendle
