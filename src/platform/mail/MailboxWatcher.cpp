#include "platform/mail/MailboxWatcher.h"

#include "platform/mail/ImapSession.h"
#include "platform/mail/MailServer.h"
#include "platform/preferences/Preferences.h"

#include <QFile>
#include <QObject>
#include <QRegularExpression>
#include <QTimer>

namespace wendle {

namespace {

constexpr int DefaultPollSeconds = 60;
constexpr int LongestPollSeconds = 24 * 3600;

} // namespace

struct MailboxWatcher::Request {
    MailServerSettings settings;
    QString attachmentFolder;
    QList<quint32> markSeen;
    quint32 uidValidity = 0;
    bool fetch = true;
};

struct MailboxWatcher::Result {
    struct Item {
        quint32 uid = 0;
        std::optional<InboundMail> mail;
        QString error;
        bool temporary = false;
    };
    QString error; // the connection or the server failed
    quint32 uidValidity = 0;
    QList<quint32> marked;
    QList<Item> items;
    bool more = false;
};

namespace {

using Result = MailboxWatcher::Result;

Result::Item readItem(ImapSession &session, quint32 uid, const QString &attachmentFolder, QString *connectionError)
{
    Result::Item item;
    item.uid = uid;
    ImapSession::Fetched fetched = session.fetchMessage(uid, MaxInboundMessageBytes);
    switch (fetched.status) {
    case ImapSession::Fetched::Ok:
        item.mail = parseInboundMessage(fetched.message, attachmentFolder, &item.error, &item.temporary);
        break;
    case ImapSession::Fetched::TooLarge:
        item.error = fetched.error;
        break;
    case ImapSession::Fetched::Missing:
        item.uid = 0; // expunged meanwhile: nothing to do
        break;
    case ImapSession::Fetched::Failed:
        *connectionError = fetched.error;
        item.uid = 0;
        break;
    }
    return item;
}

// One round on the worker thread: flag what was handled, then fetch what is new.
Result runRound(const MailboxWatcher::Request &request, const std::atomic_bool &cancel)
{
    Result result;
    ImapSession session(cancel);
    if (!session.open(request.settings, &result.error))
        return result;
    result.uidValidity = session.uidValidity();
    // UIDs only name the same messages while UIDVALIDITY stays the same.
    const bool sameMailbox = request.uidValidity == 0 || request.uidValidity == session.uidValidity();
    if (!request.markSeen.isEmpty() && sameMailbox) {
        if (!session.markSeen(request.markSeen, &result.error))
            return result;
        result.marked = request.markSeen;
    }
    if (!request.fetch)
        return result;
    const std::optional<QList<quint32>> unseen = session.unseenMessages(&result.error);
    if (!unseen)
        return result;
    int fetched = 0;
    for (const quint32 uid : *unseen) {
        if (cancel || !result.error.isEmpty())
            break;
        if (result.marked.contains(uid))
            continue;
        if (fetched == MailboxWatcher::MessagesPerPoll) {
            result.more = true;
            break;
        }
        ++fetched;
        const Result::Item item = readItem(session, uid, request.attachmentFolder, &result.error);
        if (item.uid)
            result.items << item;
    }
    return result;
}

} // namespace

MailboxWatcher::MailboxWatcher(const Preferences &preferences, const QString &attachmentFolder, Handler handler, MailLog log)
    : m_preferences(preferences)
    , m_attachmentFolder(attachmentFolder)
    , m_handler(std::move(handler))
    , m_log(std::move(log))
    , m_context(std::make_unique<QObject>())
    , m_cancel(std::make_shared<std::atomic_bool>(false))
{
    m_pool.setMaxThreadCount(1);
    m_timer = new QTimer(m_context.get());
    m_timer->setSingleShot(true);
    QObject::connect(m_timer, &QTimer::timeout, m_context.get(), [this] { startRound(true); });
}

MailboxWatcher::~MailboxWatcher()
{
    *m_cancel = true;
    m_pool.waitForDone();
}

void MailboxWatcher::start()
{
    m_running = true;
    startRound(true);
}

void MailboxWatcher::stop()
{
    m_running = false;
    m_timer->stop();
}

void MailboxWatcher::pollNow()
{
    startRound(true);
}

void MailboxWatcher::startRound(bool fetch)
{
    if (m_roundRunning)
        return;
    Request request;
    request.settings = readMailServerSettings(m_preferences, MailProtocol::Imap);
    if (request.settings.url.isEmpty()) {
        scheduleNextPoll(false);
        return;
    }
    request.attachmentFolder = m_attachmentFolder;
    request.markSeen = m_toMarkSeen.values();
    std::sort(request.markSeen.begin(), request.markSeen.end());
    request.uidValidity = m_uidValidity;
    request.fetch = fetch;
    m_roundRunning = true;
    m_timer->stop();
    QObject *context = m_context.get();
    m_pool.start([this, context, request, cancel = m_cancel] {
        const Result result = runRound(request, *cancel);
        QMetaObject::invokeMethod(context, [this, result] { finishRound(result); }, Qt::QueuedConnection);
    });
}

void MailboxWatcher::finishRound(const Result &result)
{
    for (const quint32 uid : result.marked)
        m_toMarkSeen.remove(uid);
    if (result.uidValidity != 0 && result.uidValidity != m_uidValidity) {
        m_toMarkSeen.clear();
        m_uidValidity = result.uidValidity;
    }
    reportConnection(result.error);
    // Still "running" while the handler works, so a nested event loop in it
    // cannot start another round over the same messages.
    handOver(result);
    m_roundRunning = false;
    ++m_completedRounds;
    if (!m_toMarkSeen.isEmpty() && result.error.isEmpty()) {
        startRound(false);
        return;
    }
    scheduleNextPoll(result.more);
}

void MailboxWatcher::handOver(const Result &result)
{
    for (const Result::Item &item : result.items) {
        if (!item.mail && item.temporary) {
            log(QStringLiteral("Wendle Error: message %1 in the mailbox cannot be taken now (%2); it stays unseen").arg(item.uid).arg(item.error));
            continue;
        }
        if (!item.mail) {
            log(QStringLiteral("Wendle Error: message %1 in the mailbox cannot be read (%2); it is marked seen and skipped").arg(item.uid).arg(item.error));
            m_toMarkSeen.insert(item.uid);
            continue;
        }
        if (m_handler && m_handler(*item.mail)) {
            m_toMarkSeen.insert(item.uid);
            continue;
        }
        // Not taken: it comes again with the next poll, attachment and all.
        if (!item.mail->attachmentPath.isEmpty())
            QFile::remove(item.mail->attachmentPath);
    }
}

// A mailbox that cannot be reached is reported when that starts and when it
// ends, not at every poll. Server answers carry timings and counters, so two
// reports of the same trouble differ only in their digits.
void MailboxWatcher::reportConnection(const QString &error)
{
    static const QRegularExpression variable(QStringLiteral("\\([^)]*\\)|[0-9]+"));
    if (QString(error).remove(variable) == QString(m_lastConnectionError).remove(variable))
        return;
    const QString url = m_preferences.stringValue(QStringLiteral("imapUrl"));
    if (error.isEmpty())
        log(QStringLiteral("Wendle Log Update:  the mailbox %1 can be read again").arg(url));
    else
        log(QStringLiteral("Wendle Error: cannot read the mailbox %1: %2").arg(url, error));
    m_lastConnectionError = error;
}

void MailboxWatcher::scheduleNextPoll(bool soon)
{
    if (!m_running)
        return;
    int seconds = m_preferences.intValue(QStringLiteral("imapPollSeconds"));
    if (seconds <= 0)
        seconds = DefaultPollSeconds;
    seconds = std::min(seconds, LongestPollSeconds);
    m_timer->start(soon ? 0 : seconds * 1000);
}

void MailboxWatcher::log(const QString &line) const
{
    if (m_log)
        m_log(line);
}

} // namespace wendle
