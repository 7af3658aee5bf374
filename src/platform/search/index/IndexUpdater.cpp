#include "platform/search/index/IndexUpdater.h"

#include "platform/search/FileKinds.h"
#include "platform/search/FileWalker.h"
#include "platform/search/TextFolding.h"

#include <QFile>

#include <algorithm>
#include <functional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wendle::search {

namespace {

constexpr int kChangesPerTransaction = 500;
constexpr auto kCommitInterval = std::chrono::milliseconds(500);

std::int64_t modificationTime(const struct stat &status)
{
    return std::int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

QString shown(const std::string &path)
{
    return QFile::decodeName(QByteArray(path.data(), qsizetype(path.size())));
}

std::uint64_t pathHash(std::string_view path)
{
    return std::hash<std::string_view>{}(path);
}

bool isBelow(const std::string &path, const std::string &folder)
{
    return path == folder || (path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/');
}

} // namespace

IndexUpdater::IndexUpdater(IndexStore &store, FolderWatcher &watcher, std::string root, std::string indexFolder,
                           const std::atomic<bool> &stopped, const std::atomic<bool> &readsMail, Log log)
    : m_store(store)
    , m_watcher(watcher)
    , m_root(std::move(root))
    , m_stopped(stopped)
    , m_readsMail(readsMail)
    , m_log(std::move(log))
    , m_skipped(foldersOutsideAnySearch())
{
    m_skipped.insert(std::move(indexFolder));
}

IndexUpdater::~IndexUpdater()
{
    flush();
}

void IndexUpdater::check(bool ok)
{
    // A full or read-only disk: the first error tells why, and the owner of the
    // updater stops using the index until it can be written again.
    if (!ok && m_writeError.isEmpty())
        m_writeError = m_store.lastError();
}

void IndexUpdater::changed()
{
    if (!m_inTransaction)
        m_inTransaction = m_store.begin();
    ++m_pending;
    if (m_pending >= kChangesPerTransaction || std::chrono::steady_clock::now() - m_lastCommit > kCommitInterval)
        flush();
}

void IndexUpdater::forget(const std::string &path)
{
    if (writeFailed())
        return; // once a write failed, SQLite may have ended the transaction: nothing more is written
    check(m_store.remove(path));
    changed();
}

void IndexUpdater::forgetBelow(const std::string &folder)
{
    if (writeFailed())
        return;
    check(m_store.removeBelow(folder));
    changed();
}

void IndexUpdater::flush()
{
    if (m_inTransaction)
        check(m_store.commit());
    m_inTransaction = false;
    m_pending = 0;
    m_lastCommit = std::chrono::steady_clock::now();
}

void IndexUpdater::releaseBuffers()
{
    m_scratch.buffer = {};
    m_scratch.text = {};
    m_scratch.path = {};
    m_foldedText = {};
}

bool IndexUpdater::scanAll(BuildProgress *progress)
{
    if (progress) {
        progress->total = -1;
        progress->begin(countIndexableFiles(m_root, m_skipped, m_stopped));
    }
    m_progress = progress;
    // The folders listed, by a hash of their path: 8 bytes a folder, where a
    // set of the paths took 130 at 440,000 folders.
    std::vector<std::uint64_t> visited;
    const bool scanned = scanTree(m_root, FolderWatcher::kNone, &visited);
    m_progress = nullptr;
    if (!scanned)
        return false;
    std::sort(visited.begin(), visited.end());
    // Folders that vanished while nobody watched them. (A vanished folder whose
    // path shares a listed one's hash keeps its entries; a search checks each
    // file it answers with on the disk.)
    std::vector<std::string> vanished;
    m_store.forEachFolder([&](std::string_view folder) {
        if (!std::binary_search(visited.begin(), visited.end(), pathHash(folder)))
            vanished.emplace_back(folder);
    });
    for (const std::string &folder : vanished)
        forgetBelow(folder);
    flush();
    return true;
}

bool IndexUpdater::scanTree(const std::string &top, int parent, std::vector<std::uint64_t> *visited)
{
    std::vector<std::pair<std::string, int>> pending{{top, parent}}; // with the descriptor of the folder above
    std::vector<std::string> subfolders;
    while (!pending.empty()) {
        if (m_stopped.load() || writeFailed())
            return false;
        const auto [folder, above] = std::move(pending.back());
        pending.pop_back();
        subfolders.clear();
        const int watched = scanFolder(folder, above, subfolders);
        if (visited)
            visited->push_back(pathHash(folder));
        for (std::string &subfolder : subfolders)
            pending.emplace_back(std::move(subfolder), watched);
    }
    return true;
}

int IndexUpdater::watch(const std::string &folder, int parent)
{
    bool limitReached = false;
    const int watched = m_watcher.watch(folder, parent, &limitReached);
    if (watched != FolderWatcher::kNone) {
        m_unwatched.erase(folder);
        return watched;
    }
    if (!limitReached)
        return watched;
    if (!liesInUnwatched(folder))
        m_unwatched.insert(folder);
    if (!m_limitReported) {
        m_limitReported = true;
        m_log(QStringLiteral("Wendle Log Update:  the limit of watched folders is reached after %1 folders "
                             "(fs.inotify.max_user_watches); the others are rescanned every few minutes instead")
                  .arg(m_watcher.watchedCount()));
    }
    return watched;
}

int IndexUpdater::scanFolder(const std::string &folder, int parent, std::vector<std::string> &subfolders)
{
    // Watched before it is listed: a file made in between is reported, not missed.
    const int watched = watch(folder, parent);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return watched;
    DIR *directory = ::fdopendir(fd);
    if (!directory) {
        ::close(fd);
        return watched;
    }
    StoredFolder known = m_store.filesIn(folder);
    while (const dirent *entry = ::readdir(directory)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat status;
        if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            std::string child = folder + "/" + entry->d_name;
            if (!m_skipped.contains(child))
                subfolders.push_back(std::move(child));
            continue;
        }
        if (!S_ISREG(status.st_mode))
            continue; // links, FIFOs, sockets, devices
        if (m_progress)
            ++m_progress->done;
        const std::optional<StoredState> stored = known.find(entry->d_name);
        const bool unchanged = stored && stored->size == std::int64_t(status.st_size) && stored->mtime == modificationTime(status);
        if (!unchanged)
            indexFile(fd, folder, entry->d_name, status, stored && stored->unreadable);
    }
    if (known.mayHoldUnfound())
        forgetUnfound(fd, folder, known);
    ::closedir(directory);
    return watched;
}

void IndexUpdater::forgetUnfound(int folderFd, const std::string &folder, const StoredFolder &known)
{
    std::vector<std::string> gone;
    m_store.forEachNameIn(folder, [&](std::string_view name) {
        switch (known.fateOf(name)) {
        case StoredFolder::Fate::Found: return;
        case StoredFolder::Fate::Gone: break;
        case StoredFolder::Fate::AskTheDisk: {
            struct stat status;
            const std::string text(name);
            if (::fstatat(folderFd, text.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
                return;
            break;
        }
        }
        gone.emplace_back(name);
    });
    for (const std::string &name : gone)
        forget(folder + "/" + name);
}

void IndexUpdater::indexFile(int folderFd, const std::string &folder, const char *name, const struct stat &status, bool knownUnreadable,
                             bool mayBeUnfinished)
{
    IndexedFile record;
    record.path = folder + "/" + name;
    if (!pathAsText(record.path)) {
        if (m_unsendable.count++ == 0)
            m_unsendable.firstPath = record.path;
        forget(record.path);
        return;
    }
    FileView file(folderFd, folder, name, m_scratch);
    file.setKnownSize(status.st_size);
    record.name = name;
    record.kind = KindCatalogue::instance().at(file.kind()).mimeName.toStdString();
    record.size = status.st_size;
    record.mtime = modificationTime(status);
    // With mail search off, a mail is never parsed: it is found by its name and kind.
    const bool unreadMail = !m_readsMail.load() && KindCatalogue::instance().at(file.kind()).format == TextFormat::Mail;
    const std::optional<std::string_view> text = unreadMail ? std::nullopt : file.content();
    if (file.vanished()) { // removed while the folder was listed: no entry, and no fault of the file
        forget(record.path);
        return;
    }
    record.hasText = text.has_value();
    // A file still being written is read again when it is closed, and judged then.
    // An empty file has no text to read, which is no fault of the file.
    record.unreadable = !text && !file.extractionProblem().isEmpty() && !mayBeUnfinished && status.st_size > 0;
    if (record.unreadable && !knownUnreadable && m_unreadable.count++ == 0) {
        m_unreadable.firstPath = record.path;
        m_unreadable.firstReason = file.extractionProblem();
    }
    m_foldedText.clear();
    if (text)
        appendFolded(*text, m_foldedText);
    if (writeFailed())
        return;
    check(m_store.put(record, m_foldedText));
    changed();
}

void IndexUpdater::indexPath(const std::string &path, bool mayBeUnfinished)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status;
    if (fd >= 0 && ::fstatat(fd, path.c_str() + slash + 1, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode)) {
        const std::optional<StoredState> stored = m_store.stateOf(path);
        indexFile(fd, folder, path.c_str() + slash + 1, status, stored && stored->unreadable, mayBeUnfinished);
    } else {
        forget(path);
    }
    if (fd >= 0)
        ::close(fd);
}

void IndexUpdater::reportUnreadable()
{
    if (m_unreadable.count == 1) {
        m_log(QStringLiteral("Wendle Log Update:  the text of %1 cannot be read (%2); it is found by its name and kind only")
                  .arg(shown(m_unreadable.firstPath), m_unreadable.firstReason));
    } else if (m_unreadable.count > 1) {
        m_log(QStringLiteral("Wendle Log Update:  %1 files cannot be read and are found by their name and kind only; "
                             "the first: %2 (%3)")
                  .arg(m_unreadable.count)
                  .arg(shown(m_unreadable.firstPath), m_unreadable.firstReason));
    }
    if (m_unsendable.count > 0) {
        m_log(QStringLiteral("Wendle Log Update:  %1 files whose names are not text in this system's encoding are left "
                             "out of searches, as they could not be sent; the first: %2")
                  .arg(m_unsendable.count)
                  .arg(shown(m_unsendable.firstPath)));
    }
    m_unreadable = {};
    m_unsendable = {};
}

void IndexUpdater::apply(const std::vector<FolderWatcher::Change> &changes)
{
    // A file made and then written is read once, when it is closed.
    std::unordered_map<std::string_view, std::size_t> lastWritten;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (changes[i].type == FolderWatcher::Change::Type::Written)
            lastWritten[changes[i].path] = i;
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const FolderWatcher::Change &change = changes[i];
        if (m_stopped.load())
            break;
        switch (change.type) {
        case FolderWatcher::Change::Type::Created: {
            const auto written = lastWritten.find(change.path);
            if (written == lastWritten.end() || written->second < i)
                indexPath(change.path, true);
            break;
        }
        case FolderWatcher::Change::Type::Written: indexPath(change.path, false); break;
        case FolderWatcher::Change::Type::Gone: forget(change.path); break;
        case FolderWatcher::Change::Type::FolderAdded:
            if (!m_skipped.contains(change.path))
                scanTree(change.path, change.folder, nullptr);
            break;
        case FolderWatcher::Change::Type::FolderGone:
            m_watcher.forgetBelow(change.folder, std::string_view(change.path).substr(change.path.rfind('/') + 1));
            std::erase_if(m_unwatched, [&](const std::string &folder) { return isBelow(folder, change.path); });
            forgetBelow(change.path);
            break;
        case FolderWatcher::Change::Type::Overflow:
            scanAll(); // the kernel dropped events: only a full look is safe
            break;
        }
    }
    flush();
}

void IndexUpdater::followMailSetting()
{
    const QString reads = m_readsMail.load() ? QStringLiteral("1") : QStringLiteral("0");
    if (m_store.meta("reads_mail").value_or(QStringLiteral("1")) == reads)
        return;
    std::vector<std::string> mails;
    m_store.select(
        "kind = ?", {"message/rfc822"},
        [&](const IndexedFile &file) {
            mails.push_back(file.path);
            return true;
        },
        nullptr);
    for (const std::string &path : mails) {
        if (m_stopped.load())
            return;
        indexPath(path, false);
    }
    flush();
    check(m_store.setMeta("reads_mail", reads));
}

void IndexUpdater::rescanUnwatched()
{
    const std::set<std::string> tops = m_unwatched;
    for (const std::string &top : tops) {
        if (m_stopped.load())
            break;
        scanTree(top, FolderWatcher::kNone, nullptr);
    }
    flush();
}

bool IndexUpdater::liesInUnwatched(const std::string &folder) const
{
    for (std::size_t slash = folder.rfind('/'); slash != std::string::npos && slash > 0; slash = folder.rfind('/', slash - 1)) {
        if (m_unwatched.contains(folder.substr(0, slash)))
            return true;
    }
    return false;
}

} // namespace wendle::search
