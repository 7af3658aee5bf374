#include "platform/mail/MailboxWatcher.h"

#include "platform/mail/ImapIdleLink.h"
#include "platform/mail/ImapMailbox.h"
#include "platform/mail/MailServer.h"
#include "platform/preferences/Preferences.h"

#include <QElapsedTimer>
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

// The polls' connection, kept logged in and on the folder from one round to
// the next: a round after an IDLE notice then costs a few exchanges, not a
// login. Used by one round at a time.
struct MailboxWatcher::Connection {
    std::unique_ptr<ImapMailbox> mailbox;
    QString key; // the settings and folder it was opened with
};

namespace {

using Result = MailboxWatcher::Result;
using std::chrono::milliseconds;

QString connectionKey(const MailServerSettings &settings, const QString &folder)
{
    return QStringList{settings.url, settings.user, settings.passwordCommand.join(QChar(0)), settings.trustedCertificate, folder}.join(
        QChar(1));
}

// The connection's mailbox ready for a round: the one kept, refreshed, or a
// new one. A kept connection that fails is given up for a new one at once, so
// a server that closed it meanwhile costs no round.
ImapMailbox *readyMailbox(MailboxWatcher::Connection &connection, const MailboxWatcher::Request &request, const std::atomic_bool &cancel,
                          QString *error)
{
    const QString key = connectionKey(request.settings, request.folder);
    if (connection.mailbox && connection.key == key) {
        QString ignored;
        if (connection.mailbox->refresh(&ignored))
            return connection.mailbox.get();
    }
    connection.mailbox = std::make_unique<ImapMailbox>(cancel);
    connection.key = key;
    if (connection.mailbox->open(request.settings, request.folder, error))
        return connection.mailbox.get();
    connection.mailbox.reset();
    return nullptr;
}

// One round on the worker thread: flag what was handled, then fetch the
// commands that came. Other mail is never fetched, so it keeps its flags.
Result runRound(const MailboxWatcher::Request &request, MailboxWatcher::Connection &connection, const std::atomic_bool &cancel)
{
    Result result;
    ImapMailbox *const mailbox = readyMailbox(connection, request, cancel, &result.error);
    if (!mailbox)
        return result;
    result.uidValidity = mailbox->uidValidity();
    // UIDs only name the same messages while UIDVALIDITY stays the same.
    const bool sameMailbox = request.uidValidity == 0 || request.uidValidity == mailbox->uidValidity();
    if (!request.markSeen.isEmpty() && sameMailbox) {
        if (!mailbox->markSeen(request.markSeen, &result.error)) {
            connection.mailbox.reset();
            return result;
        }
        result.marked = request.markSeen;
    }
    if (!request.fetch || request.criteria.isEmpty())
        return result;
    const std::optional<QList<quint32>> found = mailbox->search(request.criteria, &result.error);
    if (!found) {
        connection.mailbox.reset();
        return result;
    }
    QList<quint32> wanted;
    for (const quint32 uid : *found) {
        if (!result.marked.contains(uid))
            wanted << uid;
    }
    result.more = wanted.size() > MailboxWatcher::MessagesPerPoll;
    wanted = wanted.mid(0, MailboxWatcher::MessagesPerPoll);
    for (const ImapMailbox::Fetched &fetched : mailbox->fetchMessages(wanted, MaxInboundMessageBytes, &result.error)) {
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
    if (!result.error.isEmpty())
        connection.mailbox.reset();
    return result;
}

struct IdleRun {
    MailboxWatcher::IdleOutcome outcome = MailboxWatcher::IdleOutcome::Failed;
    milliseconds idled{0}; // how long the server kept the IDLE
};

IdleRun runIdle(const MailServerSettings &settings, const QString &folder, const MailboxWatcher::IdleTiming &timing,
                const std::atomic_bool &cancel, const std::function<void()> &onIdling, const std::function<void()> &onChange)
{
    ImapIdleLink link(cancel, timing.answerWait);
    const QByteArray quotedFolder = ImapMailbox::quotedFolder(ImapMailbox::folderUrl(settings.url, folder));
    QString error;
    IdleRun run;
    if (!link.open(settings, quotedFolder, &error))
        return run;
    if (!link.supportsIdle()) {
        run.outcome = MailboxWatcher::IdleOutcome::Unsupported;
        return run;
    }
    QElapsedTimer idled;
    const auto entered = [&] {
        idled.start();
        onIdling();
    };
    switch (link.idle(timing.cycle, entered, onChange, &error)) {
    case ImapIdleLink::Outcome::Changed: run.outcome = MailboxWatcher::IdleOutcome::Changed; break;
    case ImapIdleLink::Outcome::Quiet: run.outcome = MailboxWatcher::IdleOutcome::Quiet; break;
    case ImapIdleLink::Outcome::Failed: break;
    }
    run.idled = milliseconds(idled.isValid() ? idled.elapsed() : 0);
    return run;
}

} // namespace

MailboxWatcher::MailboxWatcher(const Preferences &preferences, const QString &attachmentFolder, Handler handler, MailLog log)
    : m_preferences(preferences)
    , m_attachmentFolder(attachmentFolder)
    , m_handler(std::move(handler))
    , m_log(std::move(log))
    , m_context(std::make_unique<QObject>())
    , m_cancel(std::make_shared<std::atomic_bool>(false))
    , m_connection(std::make_shared<Connection>())
    , m_idleChangePosted(std::make_shared<std::atomic_bool>(false))
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
// changes it asks for a poll at once, without leaving the IDLE. Without IDLE
// the polls go on alone.
void MailboxWatcher::startIdle()
{
    if (!m_running || m_idleRunning)
        return;
    const MailServerSettings settings = readMailServerSettings(m_preferences, MailProtocol::Imap);
    if (settings.url.isEmpty()) {
        m_idleRetry->start(int(m_idleTiming.longestRetry.count()));
        return;
    }
    m_idleRunning = true;
    QObject *context = m_context.get();
    const auto onIdling = [this, context] {
        QMetaObject::invokeMethod(
            context, [this] { idleEntered(); }, Qt::QueuedConnection);
    };
    // One notice waits in the queue at a time, however fast the server talks.
    const auto onChange = [this, context, posted = m_idleChangePosted] {
        if (!posted->exchange(true))
            QMetaObject::invokeMethod(
                context, [this] { idleChanged(); }, Qt::QueuedConnection);
    };
    m_idlePool.start([this, context, settings, folder = commandFolder(), timing = m_idleTiming, cancel = m_cancel, onIdling, onChange] {
        const IdleRun run = runIdle(settings, folder, timing, *cancel, onIdling, onChange);
        QMetaObject::invokeMethod(
            context, [this, run] { finishIdle(run.outcome, run.idled); }, Qt::QueuedConnection);
    });
}

// Back in IDLE after a failure: what came while it was away is fetched now.
void MailboxWatcher::idleEntered()
{
    if (std::exchange(m_idleFailures, 0) > 0 && m_running)
        pollNow();
}

void MailboxWatcher::idleChanged()
{
    *m_idleChangePosted = false;
    if (m_running)
        pollNow();
}

void MailboxWatcher::finishIdle(IdleOutcome outcome, milliseconds idled)
{
    m_idleRunning = false;
    if (!m_running)
        return;
    switch (outcome) {
    case IdleOutcome::Changed:
    case IdleOutcome::Quiet: startIdle(); break;
    case IdleOutcome::Unsupported: m_idleRetry->start(LongestPollSeconds * 1000); break;
    case IdleOutcome::Failed: {
        // A server that drops an IDLE it kept a while is working: back at once.
        // One that fails again and again is asked less and less often.
        if (idled >= m_idleTiming.healthyIdle)
            m_idleFailures = 0;
        const int doublings = std::min(m_idleFailures, 16);
        ++m_idleFailures;
        const milliseconds wait = std::min(milliseconds(m_idleTiming.firstRetry.count() << doublings), m_idleTiming.longestRetry);
        m_idleRetry->start(int(wait.count()));
        break;
    }
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
    request.criteria = commandSearchCriteria(
        {m_preferences.stringValue(QStringLiteral("remoteEmailAddress")), m_preferences.stringValue(QStringLiteral("phoneEmailAddress"))},
        QStringLiteral("wndl"));
    request.attachmentFolder = m_attachmentFolder;
    request.markSeen = m_toMarkSeen.values();
    std::sort(request.markSeen.begin(), request.markSeen.end());
    request.uidValidity = m_uidValidity;
    request.fetch = fetch;
    m_roundRunning = true;
    m_timer->stop();
    QObject *context = m_context.get();
    m_pool.start([this, context, request, cancel = m_cancel, connection = m_connection] {
        const Result result = runRound(request, *connection, *cancel);
        QMetaObject::invokeMethod(
            context, [this, result] { finishRound(result); }, Qt::QueuedConnection);
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
            log(QStringLiteral("Wendle Error: message %1 in the mailbox cannot be taken now (%2); it stays unseen")
                    .arg(item.uid)
                    .arg(item.error));
            continue;
        }
        if (!item.mail) {
            log(QStringLiteral("Wendle Error: message %1 in the mailbox cannot be read (%2); it is marked seen and skipped")
                    .arg(item.uid)
                    .arg(item.error));
            m_toMarkSeen.insert(item.uid);
            continue;
        }
        if (item.mail->attachmentFolderFull)
            log(QStringLiteral("Wendle Error: the attachment folder %1 is full; message %2 in the mailbox goes without its attachment")
                    .arg(m_attachmentFolder)
                    .arg(item.uid));
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
    case ConnectionState::NotYet: return QStringLiteral("connecting to ") + url;
    case ConnectionState::Reading: return QStringLiteral("reading ") + url;
    case ConnectionState::Failing: break;
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
