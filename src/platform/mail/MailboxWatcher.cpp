#include "platform/mail/MailboxWatcher.h"

#include "platform/mail/ImapIdleLink.h"
#include "platform/mail/ImapMailbox.h"
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
    QString folder;
    QByteArray criteria; // the search that finds commands; empty: none can come
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

// One round on the worker thread: flag what was handled, then fetch the
// commands that came. Other mail is never fetched, so it keeps its flags.
Result runRound(const MailboxWatcher::Request &request, const std::atomic_bool &cancel)
{
    Result result;
    ImapMailbox mailbox(cancel);
    if (!mailbox.open(request.settings, request.folder, &result.error))
        return result;
    result.uidValidity = mailbox.uidValidity();
    // UIDs only name the same messages while UIDVALIDITY stays the same.
    const bool sameMailbox = request.uidValidity == 0 || request.uidValidity == mailbox.uidValidity();
    if (!request.markSeen.isEmpty() && sameMailbox) {
        if (!mailbox.markSeen(request.markSeen, &result.error))
            return result;
        result.marked = request.markSeen;
    }
    if (!request.fetch || request.criteria.isEmpty())
        return result;
    const std::optional<QList<quint32>> found = mailbox.search(request.criteria, &result.error);
    if (!found)
        return result;
    QList<quint32> wanted;
    for (const quint32 uid : *found) {
        if (!result.marked.contains(uid))
            wanted << uid;
    }
    result.more = wanted.size() > MailboxWatcher::MessagesPerPoll;
    wanted = wanted.mid(0, MailboxWatcher::MessagesPerPoll);
    for (const ImapMailbox::Fetched &fetched : mailbox.fetchMessages(wanted, MaxInboundMessageBytes, &result.error)) {
        if (cancel || fetched.status == ImapMailbox::Fetched::Missing)
            continue;
        Result::Item item;
        item.uid = fetched.uid;
        if (fetched.status == ImapMailbox::Fetched::Ok)
            item.mail = parseInboundMessage(fetched.message, request.attachmentFolder, &item.error, &item.temporary);
        else
            item.error = fetched.error;
        result.items << item;
    }
    return result;
}

// How long one IDLE lasts: servers may drop a client idle for 30 minutes.
constexpr std::chrono::minutes IdleCycle{25};
// After a failed IDLE connection, the next try waits this long; polling goes on.
constexpr int IdleRetrySeconds = 60;

MailboxWatcher::IdleOutcome runIdle(const MailServerSettings &settings, const QString &folder, const std::atomic_bool &cancel)
{
    ImapIdleLink link(cancel);
    const QByteArray quotedFolder = ImapMailbox::quotedFolder(ImapMailbox::folderUrl(settings.url, folder));
    QString error;
    if (!link.open(settings, quotedFolder, &error))
        return MailboxWatcher::IdleOutcome::Failed;
    if (!link.supportsIdle())
        return MailboxWatcher::IdleOutcome::Unsupported;
    switch (link.waitForChange(IdleCycle, &error)) {
    case ImapIdleLink::Outcome::Changed:
        return MailboxWatcher::IdleOutcome::Changed;
    case ImapIdleLink::Outcome::Quiet:
        return MailboxWatcher::IdleOutcome::Quiet;
    case ImapIdleLink::Outcome::Failed:
        break;
    }
    return MailboxWatcher::IdleOutcome::Failed;
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
    m_idlePool.setMaxThreadCount(1);
    m_idleRetry = new QTimer(m_context.get());
    m_idleRetry->setSingleShot(true);
    QObject::connect(m_idleRetry, &QTimer::timeout, m_context.get(), [this] { startIdle(); });
    m_timer = new QTimer(m_context.get());
    m_timer->setSingleShot(true);
    QObject::connect(m_timer, &QTimer::timeout, m_context.get(), [this] { startRound(true); });
}

MailboxWatcher::~MailboxWatcher()
{
    *m_cancel = true;
    m_pool.waitForDone();
    m_idlePool.waitForDone();
}

void MailboxWatcher::start()
{
    m_running = true;
    startRound(true);
    startIdle();
}

void MailboxWatcher::stop()
{
    m_running = false;
    m_timer->stop();
    m_idleRetry->stop();
}

// IDLE runs beside the polls on a connection of its own; when the folder
// changes it asks for a poll at once. Without IDLE the polls go on alone.
void MailboxWatcher::startIdle()
{
    if (!m_running || m_idleRunning)
        return;
    const MailServerSettings settings = readMailServerSettings(m_preferences, MailProtocol::Imap);
    if (settings.url.isEmpty()) {
        m_idleRetry->start(IdleRetrySeconds * 1000);
        return;
    }
    m_idleRunning = true;
    QObject *context = m_context.get();
    m_idlePool.start([this, context, settings, folder = commandFolder(), cancel = m_cancel] {
        const IdleOutcome outcome = runIdle(settings, folder, *cancel);
        QMetaObject::invokeMethod(context, [this, outcome] { finishIdle(outcome); }, Qt::QueuedConnection);
    });
}

void MailboxWatcher::finishIdle(IdleOutcome outcome)
{
    m_idleRunning = false;
    m_idleOutcome = outcome;
    switch (outcome) {
    case IdleOutcome::Changed:
        pollNow();
        startIdle();
        break;
    case IdleOutcome::Quiet:
        startIdle();
        break;
    case IdleOutcome::Unsupported:
    case IdleOutcome::Failed:
        if (m_running)
            m_idleRetry->start((outcome == IdleOutcome::Failed ? IdleRetrySeconds : LongestPollSeconds) * 1000);
        break;
    }
}

QString MailboxWatcher::commandFolder() const
{
    return m_preferences.stringValue(QStringLiteral("imapFolder")).trimmed();
}

void MailboxWatcher::pollNow()
{
    if (m_roundRunning) {
        m_pollWanted = true; // the mailbox changed during a round: look again after it
        return;
    }
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
    request.folder = commandFolder();
    request.criteria = commandSearchCriteria({m_preferences.stringValue(QStringLiteral("remoteEmailAddress")),
                                              m_preferences.stringValue(QStringLiteral("phoneEmailAddress"))},
                                             QStringLiteral("wndl"));
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
        startRound(std::exchange(m_pollWanted, false));
        return;
    }
    scheduleNextPoll(result.more || std::exchange(m_pollWanted, false));
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
        if (item.mail->attachmentFolderFull)
            log(QStringLiteral("Wendle Error: the attachment folder %1 is full; message %2 in the mailbox goes without its attachment")
                    .arg(m_attachmentFolder).arg(item.uid));
        if (m_handler && m_handler(*item.mail)) {
            m_toMarkSeen.insert(item.uid);
            continue;
        }
        // Not taken: it comes again with the next poll, attachment and all.
        if (!item.mail->attachmentPath.isEmpty())
            QFile::remove(item.mail->attachmentPath);
    }
}

// The first login is reported once; after that a mailbox that cannot be
// reached is reported when that starts and when it ends, not at every poll.
// Server answers carry timings and counters, so two reports of the same
// trouble differ only in their digits.
void MailboxWatcher::reportConnection(const QString &error)
{
    static const QRegularExpression variable(QStringLiteral("\\([^)]*\\)|[0-9]+"));
    const QString url = m_preferences.stringValue(QStringLiteral("imapUrl"));
    const bool firstAnswer = m_state == ConnectionState::NotYet;
    m_state = error.isEmpty() ? ConnectionState::Reading : ConnectionState::Failing;
    if (firstAnswer && error.isEmpty()) {
        log(QStringLiteral("Wendle Log Update:  logged in to the mailbox %1").arg(url));
        return;
    }
    if (QString(error).remove(variable) == QString(m_lastConnectionError).remove(variable))
        return;
    if (error.isEmpty())
        log(QStringLiteral("Wendle Log Update:  the mailbox %1 can be read again").arg(url));
    else
        log(QStringLiteral("Wendle Error: cannot read the mailbox %1: %2").arg(url, error));
    m_lastConnectionError = error;
}

QString MailboxWatcher::connectionState() const
{
    const QString url = m_preferences.stringValue(QStringLiteral("imapUrl"));
    switch (m_state) {
    case ConnectionState::NotYet:
        return QStringLiteral("connecting to ") + url;
    case ConnectionState::Reading:
        return QStringLiteral("reading ") + url;
    case ConnectionState::Failing:
        break;
    }
    return QStringLiteral("cannot read %1: %2").arg(url, m_lastConnectionError);
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
