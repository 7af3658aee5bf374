#include "platform/mail/SmtpMailTransport.h"

#include "platform/mail/MailServer.h"
#include "platform/mail/MessageFolder.h"
#include "platform/mail/MimeComposer.h"
#include "platform/mail/SmtpDelivery.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace wendle {

using namespace std::chrono;

struct SmtpMailTransport::Outcome {
    enum Kind { Delivered, Waiting, SetAside } kind = Waiting;
    QString name;  // file name in the queue
    QString to;    // the recipients, for the log
    QString error; // why it waits or was set aside
    bool unreachable = false;
};

namespace {

constexpr milliseconds LongestWait = hours(1);

struct Folders {
    QString queue, sent, failed;
};

// One message of a round, on the worker thread.
SmtpMailTransport::Outcome deliverFile(const QString &path, const Folders &folders, SmtpSession &session,
                                       const SmtpMailTransport::Outcome *unreachable)
{
    using Outcome = SmtpMailTransport::Outcome;
    Outcome outcome;
    outcome.name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        outcome.error = QStringLiteral("cannot read the queued file: %1").arg(file.errorString());
        return outcome;
    }
    const QByteArray message = file.readAll();
    QString error;
    const std::optional<Envelope> envelope = readEnvelope(message, &error);
    if (!envelope || envelope->recipients.isEmpty()) {
        outcome.kind = Outcome::SetAside;
        outcome.error = envelope ? QStringLiteral("it has no recipient") : error;
        if (moveMessageFile(path, folders.failed, &error).isEmpty())
            outcome.error += QLatin1String("; ") + error;
        return outcome;
    }
    outcome.to = envelope->recipients.join(QLatin1String(", "));
    if (unreachable) {
        outcome.error = unreachable->error;
        outcome.unreachable = true;
        return outcome;
    }
    const DeliveryResult result = session.deliver(*envelope, message);
    if (!result.delivered) {
        outcome.error = result.error;
        outcome.unreachable = result.unreachable;
        return outcome;
    }
    outcome.kind = Outcome::Delivered;
    // Never leave an accepted message in the queue: it would go out twice.
    if (moveMessageFile(path, folders.sent, &error).isEmpty() && !QFile::remove(path))
        outcome.error = error;
    return outcome;
}

QList<SmtpMailTransport::Outcome> deliverRound(const MailServerSettings &settings, const QStringList &paths, const Folders &folders,
                                               const std::atomic_bool &cancel)
{
    QList<SmtpMailTransport::Outcome> outcomes;
    SmtpSession session(settings, cancel);
    std::optional<SmtpMailTransport::Outcome> unreachable;
    for (const QString &path : paths) {
        if (cancel)
            break;
        outcomes << deliverFile(path, folders, session, unreachable ? &*unreachable : nullptr);
        if (!unreachable && outcomes.last().unreachable)
            unreachable = outcomes.last();
    }
    return outcomes;
}

QString describeWait(milliseconds wait)
{
    if (wait < seconds(1))
        return QStringLiteral("%1 ms").arg(wait.count());
    if (wait < minutes(2))
        return QStringLiteral("%1 s").arg(duration_cast<seconds>(wait).count());
    return QStringLiteral("%1 min").arg(duration_cast<minutes>(wait).count());
}

} // namespace

SmtpMailTransport::SmtpMailTransport(const Preferences &preferences, const QString &supportFolder, MailLog log)
    : m_preferences(preferences)
    , m_support(supportFolder)
    , m_log(std::move(log))
    , m_context(std::make_unique<QObject>())
    , m_cancel(std::make_shared<std::atomic_bool>(false))
{
    m_pool.setMaxThreadCount(1);
    m_timer = new QTimer(m_context.get());
    m_timer->setSingleShot(true);
    QObject::connect(m_timer, &QTimer::timeout, m_context.get(), [this] { startRound(false); });
    // Whatever an earlier run left in the queue goes out as soon as the event
    // loop runs.
    QTimer::singleShot(0, m_context.get(), [this] { startRound(false); });
}

SmtpMailTransport::~SmtpMailTransport()
{
    *m_cancel = true;
    m_pool.waitForDone();
    // Results still posted to the context die with it.
}

bool SmtpMailTransport::send(const OutgoingMail &mail, const QString &)
{
    QString error;
    const QByteArray message = composeMessage(mail, QDateTime::currentDateTime(), &error);
    if (message.isEmpty()) {
        log(QStringLiteral("Wendle Error: the reply to %1 was not sent: it cannot be encrypted (%2)").arg(mail.to, error));
        return false;
    }
    const QString path = writeMessageFile(queueFolder(), message, &error);
    if (path.isEmpty()) {
        log(QStringLiteral("Wendle Error: cannot queue the reply to %1: %2").arg(mail.to, error));
        return false;
    }
    startRound(false);
    return true;
}

void SmtpMailTransport::deliverNow()
{
    startRound(true);
}

void SmtpMailTransport::startRound(bool ignoreWaits)
{
    if (m_roundRunning) {
        m_roundWanted = true;
        return;
    }
    const auto now = steady_clock::now();
    QStringList due;
    const QStringList queued = messageFiles(queueFolder());
    for (const QString &path : queued) {
        const QString name = QFileInfo(path).fileName();
        if (m_stuckAfterDelivery.contains(name))
            continue;
        const auto retry = m_retries.constFind(name);
        if (ignoreWaits || retry == m_retries.cend() || retry->due <= now)
            due << path;
    }
    if (due.isEmpty()) {
        scheduleNextRound();
        return;
    }
    m_roundRunning = true;
    m_timer->stop();
    const MailServerSettings settings = readMailServerSettings(m_preferences, MailProtocol::Smtp);
    const Folders folders{queueFolder(), sentFolder(), failedFolder()};
    QObject *context = m_context.get();
    m_pool.start([this, context, settings, due, folders, cancel = m_cancel] {
        const QList<Outcome> outcomes = deliverRound(settings, due, folders, *cancel);
        QMetaObject::invokeMethod(
            context, [this, outcomes] { finishRound(outcomes); }, Qt::QueuedConnection);
    });
}

void SmtpMailTransport::finishRound(const QList<Outcome> &outcomes)
{
    m_roundRunning = false;
    QStringList reported;
    for (const Outcome &outcome : outcomes) {
        switch (outcome.kind) {
        case Outcome::Delivered:
            if (!outcome.error.isEmpty()) {
                m_stuckAfterDelivery.insert(outcome.name);
                log(QStringLiteral("Wendle Error: the reply %1 was delivered but cannot leave the queue (%2); it is not sent again "
                                   "while Wendle runs")
                        .arg(outcome.name, outcome.error));
            } else if (m_retries.value(outcome.name).attempts > 0)
                log(QStringLiteral("Wendle Log Update:  the queued reply %1 to %2 was delivered").arg(outcome.name, outcome.to));
            m_retries.remove(outcome.name);
            break;
        case Outcome::SetAside:
            log(QStringLiteral("Wendle Error: the reply %1 cannot be sent (%2); it was moved to %3")
                    .arg(outcome.name, outcome.error, failedFolder()));
            m_retries.remove(outcome.name);
            break;
        case Outcome::Waiting: recordFailure(outcome, reported); break;
        }
    }
    const bool again = m_roundWanted;
    m_roundWanted = false;
    if (again)
        startRound(false);
    else
        scheduleNextRound();
}

// A server that cannot be reached fails every message the same way: one log
// line says so, instead of one per message.
void SmtpMailTransport::recordFailure(const Outcome &outcome, QStringList &reported)
{
    Retry &retry = m_retries[outcome.name];
    ++retry.attempts;
    const milliseconds wait = delayAfter(retry.attempts);
    retry.due = steady_clock::now() + wait;
    if (outcome.unreachable && reported.contains(outcome.error))
        return;
    reported << outcome.error;
    log(QStringLiteral("Wendle Error: SMTP delivery of the reply %1 to %2 failed: %3; it stays queued, next attempt in %4")
            .arg(outcome.name, outcome.to, outcome.error, describeWait(wait)));
}

void SmtpMailTransport::scheduleNextRound()
{
    QSet<QString> queued;
    for (const QString &path : messageFiles(queueFolder()))
        queued.insert(QFileInfo(path).fileName());
    for (auto it = m_retries.begin(); it != m_retries.end();) {
        if (queued.contains(it.key()))
            ++it;
        else
            it = m_retries.erase(it);
    }
    if (m_retries.isEmpty()) {
        m_timer->stop();
        return;
    }
    auto next = steady_clock::time_point::max();
    for (const Retry &retry : std::as_const(m_retries))
        next = std::min(next, retry.due);
    const auto wait = std::max(milliseconds(0), duration_cast<milliseconds>(next - steady_clock::now()));
    m_timer->start(int(std::min(wait, milliseconds(LongestWait)).count()));
}

milliseconds SmtpMailTransport::delayAfter(int attempts) const
{
    const milliseconds longest = std::max(LongestWait, m_baseDelay);
    milliseconds wait = m_baseDelay;
    for (int i = 1; i < attempts && wait < longest; ++i)
        wait *= 2;
    return std::min(wait, longest);
}

void SmtpMailTransport::log(const QString &line) const
{
    if (m_log)
        m_log(line);
}

} // namespace wendle
