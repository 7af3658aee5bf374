#pragma once

#include "platform/search/FileView.h"
#include "platform/search/index/BuildProgress.h"
#include "platform/search/index/FolderWatcher.h"
#include "platform/search/index/IndexStore.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <unordered_set>

struct stat;

namespace wendle::search {

// Keeps the index of one tree in line with the disk: scans folders (watching each
// as it goes), indexes new and changed files with their kind and text, drops what
// vanished, and applies the changes the watcher reports. Hidden files and folders
// (a leading '.', which covers .git and the caches) stay out, links are never
// followed, and the kernel's and network file systems are never entered.
// Changes are committed in small transactions, so searches see them soon and a
// crash loses little.
class IndexUpdater {
public:
    using Log = std::function<void(const QString &line)>;

    // The index's own folder is never indexed, wherever the cache lies. Mail
    // files are read for their text only while readsMail holds.
    IndexUpdater(IndexStore &store, FolderWatcher &watcher, std::string root, std::string indexFolder, const std::atomic<bool> &stopped,
                 const std::atomic<bool> &readsMail, Log log);
    ~IndexUpdater();

    // Brings the whole tree in line; false when stopped before the end or when
    // the index cannot be written. The files are counted first when progress
    // is given, and each one looked at counts as done.
    bool scanAll(BuildProgress *progress = nullptr);
    void apply(const std::vector<FolderWatcher::Change> &changes);
    // Folders the watch limit left unwatched are looked at again, with all
    // below them.
    void rescanUnwatched();
    // Mail files are indexed again when readsMail changed since the index last
    // read them (or left them unread), so their text comes or goes with it.
    void followMailSetting();
    bool hasUnwatched() const { return !m_unwatched.empty(); }
    std::size_t unwatchedCount() const { return m_unwatched.size(); }
    void flush();
    // Frees the buffers files were read into; the next file read makes them again.
    void releaseBuffers();
    // Why the index could not be written; empty while every write succeeded.
    bool writeFailed() const { return !m_writeError.isEmpty(); }
    const QString &writeError() const { return m_writeError; }

    // Files whose text could not be read are logged as one line per pass, not one
    // each: a home of broken downloads would bury the log. A file counts once,
    // until it is read again with success. Files left out for their names are
    // summed up in a line of their own.
    bool hasUnreadableToReport() const { return m_unreadable.count > 0 || m_unsendable.count > 0; }
    void reportUnreadable();

private:
    IndexStore &m_store;
    FolderWatcher &m_watcher;
    std::string m_root;
    const std::atomic<bool> &m_stopped;
    const std::atomic<bool> &m_readsMail;
    Log m_log;
    std::unordered_set<std::string> m_skipped;
    // The tops of the trees left unwatched: the folders refused a watch, not
    // those below them (a large home leaves hundreds of thousands unwatched).
    std::set<std::string> m_unwatched;
    BuildProgress *m_progress = nullptr; // during scanAll only
    bool m_limitReported = false;
    bool m_inTransaction = false;
    QString m_writeError;
    int m_pending = 0;
    std::chrono::steady_clock::time_point m_lastCommit = std::chrono::steady_clock::now();
    struct UnreadableFiles {
        std::int64_t count = 0;
        std::string firstPath;
        QString firstReason;
    } m_unreadable;
    struct UnsendableFiles {
        std::int64_t count = 0;
        std::string firstPath;
    } m_unsendable;
    FileScratch m_scratch;
    std::string m_foldedText;

    // parent: the watch descriptor of the folder above top, or FolderWatcher::kNone.
    bool scanTree(const std::string &top, int parent, std::vector<std::uint64_t> *visited);
    // The folder's watch descriptor, or FolderWatcher::kNone.
    int scanFolder(const std::string &folder, int parent, std::vector<std::string> &subfolders);
    // Forgets the stored files of the folder its listing did not find.
    void forgetUnfound(int folderFd, const std::string &folder, const StoredFolder &known);
    int watch(const std::string &folder, int parent);
    bool liesInUnwatched(const std::string &folder) const;
    void indexFile(int folderFd, const std::string &folder, const char *name, const struct stat &status, bool knownUnreadable,
                   bool mayBeUnfinished = false);
    void indexPath(const std::string &path, bool mayBeUnfinished);
    void changed();
    // Drops the file, or everything below the folder, from the index.
    void forget(const std::string &path);
    void forgetBelow(const std::string &folder);
    void check(bool ok);
};

} // namespace wendle::search
