#include "platform/search/index/SearchIndex.h"

#include "platform/search/FileKinds.h"
#include "platform/search/index/FolderWatcher.h"
#include "platform/search/index/IndexStore.h"
#include "platform/search/index/IndexUpdater.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace wendle::search {

namespace {

constexpr int kPollMilliseconds = 200;
constexpr auto kUnwatchedRescanInterval = std::chrono::minutes(5);
// How long an index that cannot be written is left alone before it is tried again.
constexpr auto kRetryInterval = std::chrono::minutes(5);
// Files that cannot be read while changes are followed are summed up at most this often.
constexpr auto kUnreadableReportInterval = std::chrono::minutes(1);

// Building takes whatever the owner leaves idle. Following changes runs at the
// lowest ordinary priority instead: an idle-class thread on a busy machine could
// wait for many seconds, and a change should show within one or two.
void setPriority(bool building)
{
    const pid_t thread = pid_t(::syscall(SYS_gettid));
    sched_param parameters{};
    ::pthread_setschedparam(::pthread_self(), building ? SCHED_IDLE : SCHED_OTHER, &parameters);
    ::setpriority(PRIO_PROCESS, id_t(thread), 19);
    constexpr int whoProcess = 1, classShift = 13, idleClass = 3, bestEffortClass = 2;
    const int priority = building ? (idleClass << classShift) : ((bestEffortClass << classShift) | 7);
    ::syscall(SYS_ioprio_set, whoProcess, thread, priority);
}

// Wendle idles most of the time: what building or a burst of changes took (the
// page cache, freed buffers kept by the allocator) goes back to the system.
void giveBackMemory(IndexStore &store, IndexUpdater &updater)
{
    store.releaseMemory();
    updater.releaseBuffers();
    ::malloc_trim(0);
}

void removeDatabase(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace

SearchIndex::SearchIndex(QString databasePath, QString root, Log log)
    : m_databasePath(std::move(databasePath))
    , m_root(QDir::cleanPath(std::move(root)))
    , m_log(std::move(log))
{}

SearchIndex::~SearchIndex()
{
    stop();
}

QString SearchIndex::defaultDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/wendle/search-index.sqlite");
}

void SearchIndex::start()
{
    if (m_thread.joinable())
        return;
    m_stopped = false;
    // The kind table reads the whole MIME database in one go. Built on the
    // idle-priority thread, it could hold up quitting for many seconds on a
    // busy machine, so it is built here, once, before the thread starts.
    KindCatalogue::instance();
    m_thread = std::thread([this] { run(); });
}

void SearchIndex::stop()
{
    m_stopped = true;
    if (m_thread.joinable()) {
        // An idle-class thread can wait many seconds for the CPU on a busy
        // machine; quitting must not wait with it.
        sched_param parameters{};
        ::pthread_setschedparam(m_thread.native_handle(), SCHED_OTHER, &parameters);
        m_thread.join();
    }
    setReady(false);
}

void SearchIndex::setReady(bool ready)
{
    {
        std::lock_guard lock(m_mutex);
        m_ready = ready;
    }
    m_readyChanged.notify_all();
}

bool SearchIndex::waitUntilReady(int milliseconds)
{
    std::unique_lock lock(m_mutex);
    return m_readyChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_ready.load() || m_failed.load(); })
           && m_ready.load();
}

void SearchIndex::run()
{
    const std::string root = QFile::encodeName(m_root).toStdString();
    for (; !m_stopped.load(); waitBeforeRetrying()) {
        setPriority(true);
        IndexStore store;
        bool repaired = false;
        QString error;
        if (!store.open(m_databasePath, true, &repaired, &error)) {
            reportTrouble(QStringLiteral("Wendle Error: the search index %1 cannot be kept (%2); searches walk the folders instead")
                              .arg(m_databasePath, error));
            continue;
        }
        if (repaired)
            m_log(QStringLiteral("Wendle Log Update:  the search index was damaged and is built anew"));
        const std::optional<QString> indexedRoot = store.meta("root");
        // The index of another tree, or one the owner asked to have built anew
        // while no Wendle ran.
        if ((indexedRoot && *indexedRoot != m_root) || store.meta("rebuild") == QLatin1String("1")) {
            store.close();
            removeDatabase(m_databasePath);
            m_retryNow = true;
            continue;
        }
        // An unfinished build (stopped, killed, cut short by a full disk) goes on
        // where it ended: the scan skips every file already indexed as it is.
        const bool fresh = store.meta("complete") != QLatin1String("1");
        store.setMeta("root", m_root);
        store.setMeta("rebuild", QStringLiteral("0"));
        QElapsedTimer clock;
        clock.start();
        FolderWatcher watcher(folderWatchBudget());
        IndexUpdater updater(store, watcher, root, QFile::encodeName(QFileInfo(m_databasePath).absolutePath()).toStdString(), m_stopped,
                             m_readsMail, m_log);
        const bool scanned = updater.scanAll(&m_progress);
        updater.followMailSetting();
        updater.reportUnreadable(); // the files found so far are marked and not counted again
        if (updater.writeFailed()) {
            reportWriteTrouble(updater);
            continue;
        }
        if (!scanned)
            return; // stopped
        if (fresh) {
            const double seconds = double(clock.elapsed()) / 1000;
            store.setMeta("complete", QStringLiteral("1"));
            store.setMeta("built_at", QDateTime::currentDateTime().toString(Qt::ISODate));
            store.setMeta("build_seconds", QString::number(seconds, 'f', 1));
            m_log(QStringLiteral("Wendle Log Update:  the search index of %1 is built: %2 files (%3 with text) in %4 s")
                      .arg(m_root)
                      .arg(store.count(false))
                      .arg(store.count(true))
                      .arg(seconds, 0, 'f', 1));
        }
        if (m_failed.exchange(false))
            m_log(QStringLiteral("Wendle Log Update:  the search index can be kept again; searches use it"));
        setReady(true);
        setPriority(false);
        const bool rebuild = followChanges(store, watcher, updater);
        setReady(false);
        updater.reportUnreadable();
        if (updater.writeFailed()) {
            reportWriteTrouble(updater);
            continue;
        }
        if (m_stopped.load() || !rebuild)
            return;
        store.close();
        removeDatabase(m_databasePath);
        m_retryNow = true;
        m_log(QStringLiteral("Wendle Log Update:  the search index is rebuilt as asked"));
    }
}

bool SearchIndex::followChanges(IndexStore &store, FolderWatcher &watcher, IndexUpdater &updater)
{
    bool idleSinceChanges = true;
    giveBackMemory(store, updater);
    auto lastRescan = std::chrono::steady_clock::now();
    auto lastUnreadableReport = lastRescan;
    while (!m_stopped.load() && !updater.writeFailed()) {
        pollfd waiting{watcher.descriptor(), POLLIN, 0};
        ::poll(&waiting, 1, kPollMilliseconds);
        const std::vector<FolderWatcher::Change> changes = watcher.readChanges();
        if (!changes.empty())
            updater.apply(changes);
        else if (!idleSinceChanges)
            giveBackMemory(store, updater);
        idleSinceChanges = changes.empty();
        if (updater.hasUnwatched() && std::chrono::steady_clock::now() - lastRescan > kUnwatchedRescanInterval) {
            updater.rescanUnwatched();
            lastRescan = std::chrono::steady_clock::now();
        }
        if (updater.hasUnreadableToReport() && (std::chrono::steady_clock::now() - lastUnreadableReport > kUnreadableReportInterval)) {
            updater.reportUnreadable();
            lastUnreadableReport = std::chrono::steady_clock::now();
        }
        updater.followMailSetting();
        if (store.meta("rebuild") == QLatin1String("1"))
            return true;
    }
    return false;
}

void SearchIndex::reportWriteTrouble(IndexUpdater &updater)
{
    reportTrouble(QStringLiteral("Wendle Error: the search index cannot be written (%1); searches walk the folders "
                                 "until it can")
                      .arg(updater.writeError()));
}

// A full or read-only disk may not last: the index is tried again now and then,
// and the trouble is logged once, not at every try.
void SearchIndex::reportTrouble(const QString &line)
{
    setReady(false);
    if (!m_failed.exchange(true))
        m_log(line);
    m_readyChanged.notify_all();
}

void SearchIndex::waitBeforeRetrying()
{
    if (std::exchange(m_retryNow, false))
        return;
    const auto until = std::chrono::steady_clock::now() + kRetryInterval;
    while (!m_stopped.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
}

SearchIndex::Status SearchIndex::readStatus(const QString &databasePath)
{
    Status status;
    status.exists = QFileInfo::exists(databasePath);
    if (!status.exists)
        return status;
    for (const char *suffix : {"", "-wal"})
        status.databaseBytes += QFileInfo(databasePath + QLatin1String(suffix)).size();
    IndexStore store;
    if (store.openForReading(databasePath) && store.hasNoTables())
        return status; // begun, not complete
    if (!store.isOpen() || !store.meta("version")) {
        status.problem = store.isOpen() ? QStringLiteral("not a search index") : store.lastError();
        return status;
    }
    status.complete = store.meta("complete") == QLatin1String("1");
    status.root = store.meta("root").value_or(QString());
    status.files = store.count(false);
    status.filesWithText = store.count(true);
    status.builtAt = store.meta("built_at").value_or(QString());
    status.buildSeconds = store.meta("build_seconds").value_or(QString()).toDouble();
    return status;
}

bool SearchIndex::requestRebuild(const QString &databasePath, QString *error)
{
    IndexStore store;
    if (!store.open(databasePath, true, nullptr, error))
        return false;
    // An index that never finished is built anew anyway; the flag reaches a running instance.
    if (!store.setMeta("complete", QStringLiteral("0")) || !store.setMeta("rebuild", QStringLiteral("1"))) {
        if (error)
            *error = store.lastError();
        return false;
    }
    return true;
}

} // namespace wendle::search
