#pragma once

#include "platform/search/MetadataSearch.h"
#include "platform/search/index/BuildProgress.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace wendle::search {

class CompiledQuery;
class FolderWatcher;
class IndexStore;
class IndexUpdater;

// The persistent index of one folder tree (the owner's home), kept in
// $XDG_CACHE_HOME/wendle/ where it can always be thrown away and rebuilt.
//
// A background thread at idle CPU and I/O priority builds it on the first start,
// brings it in line with the disk on later starts, and then follows changes with
// inotify. Until that first pass is over the index is not ready and searches walk
// the folders as before, so a search never misses a file for want of an index.
class SearchIndex {
public:
    // Called on the indexer thread.
    using Log = std::function<void(const QString &line)>;

    struct Status {
        bool exists = false;
        bool complete = false; // a full build has finished
        QString root;
        qint64 files = 0;
        qint64 filesWithText = 0;
        qint64 databaseBytes = 0;
        QString builtAt; // ISO date of the last full build
        double buildSeconds = 0;
        QString problem; // why the index cannot be read
    };

    SearchIndex(QString databasePath, QString root, Log log);
    ~SearchIndex();
    SearchIndex(const SearchIndex &) = delete;
    SearchIndex &operator=(const SearchIndex &) = delete;

    // $XDG_CACHE_HOME/wendle/search-index.sqlite
    static QString defaultDatabasePath();
    // What the database at path says about itself; readable while an instance writes.
    static Status readStatus(const QString &databasePath);
    // Asks whoever keeps the index (a running instance, or the next start) to
    // build it anew. False when the database cannot be written.
    static bool requestRebuild(const QString &databasePath, QString *error);

    void start();
    void stop();
    // Whether mail files are read for their text (the owner's mail search); off,
    // they are found by name and kind, and never parsed. Any thread may set it.
    void setReadsMail(bool reads) { m_readsMail = reads; }
    bool isReady() const { return m_ready.load(); }
    // The index cannot be kept or written (a read-only or full cache disk); searches
    // walk until a later try succeeds.
    bool hasFailed() const { return m_failed.load(); }
    // Waits until the index is ready; false on timeout or when it cannot be kept.
    bool waitUntilReady(int milliseconds);
    const QString &root() const { return m_root; }
    // How far the pass over the tree has come while the index is not ready.
    const BuildProgress &progress() const { return m_progress; }
    QString lastSearchProblem() const { return m_lastSearchProblem; }

    // The hits of the query among the indexed files; nothing when the index cannot
    // answer (not ready, unreadable), and the caller walks instead. With a list
    // length, only the strongest that many by (relevance, path), and files that
    // cannot be among them are not read.
    std::optional<QList<SearchHit>> search(const CompiledQuery &query, const std::atomic<bool> &cancelled, qsizetype listLength = 0) const;

private:
    QString m_databasePath;
    QString m_root;
    Log m_log;
    std::thread m_thread;
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_readsMail{true};
    std::mutex m_mutex;
    std::condition_variable m_readyChanged;
    BuildProgress m_progress;

    bool m_retryNow = false;             // indexer thread only
    mutable QString m_lastSearchProblem; // for the tests' failure messages

    void run();
    // Until the stop or the owner's rebuild; true for the rebuild.
    bool followChanges(IndexStore &store, FolderWatcher &watcher, IndexUpdater &updater);
    void reportTrouble(const QString &line);
    void reportWriteTrouble(IndexUpdater &updater);
    void waitBeforeRetrying();
    void setReady(bool ready);
};

} // namespace wendle::search
