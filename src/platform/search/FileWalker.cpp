#include "platform/search/FileWalker.h"

#include "platform/search/FileView.h"
#include "platform/search/QueryEvaluator.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace wendle::search {

namespace {

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string unescapeMountPath(const std::string &text)
{
    std::string path;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto isOctal = [&](std::size_t at) { return text[at] >= '0' && text[at] <= '7'; };
        if (text[i] == '\\' && i + 3 < text.size() && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            path += char(std::stoi(text.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            path += text[i];
        }
    }
    return path;
}

bool isOutsideAnySearch(const std::string &type)
{
    static const std::unordered_set<std::string> types = {// virtual: the kernel's view of itself, not files of the owner
                                                          "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "securityfs",
                                                          "debugfs", "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs", "pstore",
                                                          "bpf", "binfmt_misc", "autofs", "efivarfs", "rpc_pipefs", "nsfs", "selinuxfs",
                                                          "fuse.gvfsd-fuse", "fuse.portal",
                                                          // network shares
                                                          "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "davfs", "afs", "ncpfs"};
    return types.contains(type);
}

std::string joined(const std::string &folder, const char *name)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// Folders waiting to be read, shared by the walker threads. The walk is over when
// nothing waits and no thread is reading a folder that might add more.
class FolderQueue {
public:
    explicit FolderQueue(std::string root) { m_pending.push_back(std::move(root)); }

    bool take(std::string &folder)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopped || !m_pending.empty() || m_busy == 0; });
        if (m_stopped || m_pending.empty()) {
            m_stopped = true;
            m_changed.notify_all();
            return false;
        }
        folder = std::move(m_pending.back()); // depth first keeps the queue short
        m_pending.pop_back();
        ++m_busy;
        return true;
    }

    void done(std::vector<std::string> &found)
    {
        {
            std::lock_guard lock(m_mutex);
            for (std::string &folder : found)
                m_pending.push_back(std::move(folder));
            --m_busy;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_pending;
    int m_busy = 0;
    bool m_stopped = false;
};

class Walker {
public:
    Walker(const CompiledQuery &query, const std::unordered_set<std::string> &skipped, const std::atomic<bool> &cancelled)
        : m_skipped(skipped)
        , m_cancelled(cancelled)
        , m_evaluator(query)
    {}

    void run(FolderQueue &queue)
    {
        std::string folder;
        std::vector<std::string> found;
        while (queue.take(folder)) {
            found.clear();
            if (!m_cancelled.load(std::memory_order_relaxed))
                scan(folder, found);
            queue.done(found);
        }
    }

    QList<SearchHit> &hits() { return m_hits; }

private:
    const std::unordered_set<std::string> &m_skipped;
    const std::atomic<bool> &m_cancelled;
    QueryEvaluator m_evaluator;
    FileScratch m_scratch;
    QList<SearchHit> m_hits;

    void scan(const std::string &folder, std::vector<std::string> &found)
    {
        // O_NOFOLLOW: a folder swapped for a link after we listed it is not entered.
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return;
        DIR *directory = ::fdopendir(fd);
        if (!directory) {
            ::close(fd);
            return;
        }
        while (const dirent *entry = ::readdir(directory)) {
            if (m_cancelled.load(std::memory_order_relaxed))
                break;
            if (entry->d_name[0] == '.')
                continue;
            visit(fd, folder, entry, found);
        }
        ::closedir(directory);
    }

    void visit(int fd, const std::string &folder, const dirent *entry, std::vector<std::string> &found)
    {
        unsigned char type = entry->d_type;
        qint64 knownSize = -1;
        if (type == DT_UNKNOWN) { // some file systems leave the type to a stat
            struct stat status;
            if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                return;
            type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
            knownSize = status.st_size;
        }
        if (type == DT_DIR) {
            std::string child = joined(folder, entry->d_name);
            if (!m_skipped.contains(child))
                found.push_back(std::move(child));
            return;
        }
        if (type != DT_REG)
            return; // links, devices, sockets, FIFOs
        FileView file(fd, folder, entry->d_name, m_scratch);
        if (knownSize >= 0)
            file.setKnownSize(knownSize);
        // A file the owner could not be sent is no answer, even when its name fits.
        if (!m_evaluator.matches(file) || ::faccessat(fd, entry->d_name, R_OK, AT_EACCESS) != 0)
            return;
        if (std::optional<SearchHit> hit = hitFor(file))
            m_hits.append(std::move(*hit));
    }

    std::optional<SearchHit> hitFor(FileView &file)
    {
        std::optional<QString> path = pathAsText(file.path());
        if (!path)
            return std::nullopt;
        SearchHit hit;
        hit.relevance = m_evaluator.relevance(file);
        hit.path = std::move(*path);
        hit.fsName = QFile::decodeName(QByteArray(file.name().data(), qsizetype(file.name().size())));
        hit.displayName = hit.fsName;
        hit.kind = KindCatalogue::instance().commentOf(file.kind());
        hit.size = file.size().value_or(0);
        return hit;
    }
};

} // namespace

std::optional<QString> pathAsText(std::string_view path)
{
    const QByteArray bytes(path.data(), qsizetype(path.size()));
    QString text = QFile::decodeName(bytes);
    if (QFile::encodeName(text) != bytes)
        return std::nullopt;
    return text;
}

std::unordered_set<std::string> foldersOutsideAnySearch()
{
    std::unordered_set<std::string> folders = {"/proc", "/sys", "/dev", "/run"};
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);) {
        // id parent major:minor root mount-point options [optional...] - type source ...
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string part; fields >> part;)
            parts.push_back(part);
        const auto separator = std::find(parts.begin(), parts.end(), "-");
        if (parts.size() < 5 || separator == parts.end() || separator + 1 == parts.end())
            continue;
        if (isOutsideAnySearch(*(separator + 1)))
            folders.insert(unescapeMountPath(parts[4]));
    }
    return folders;
}

QList<SearchHit> walkAndMatch(const CompiledQuery &query, const std::string &root, const std::unordered_set<std::string> &skippedFolders,
                              int threads, const std::atomic<bool> &cancelled)
{
    FolderQueue queue(root);
    std::vector<std::unique_ptr<Walker>> walkers;
    for (int i = 0; i < std::max(threads, 1); ++i)
        walkers.push_back(std::make_unique<Walker>(query, skippedFolders, cancelled));
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < walkers.size(); ++i)
        helpers.emplace_back([&queue, walker = walkers[i].get()] { walker->run(queue); });
    walkers.front()->run(queue);
    for (std::thread &helper : helpers)
        helper.join();
    QList<SearchHit> hits = std::move(walkers.front()->hits());
    for (std::size_t i = 1; i < walkers.size(); ++i)
        hits.append(walkers[i]->hits());
    return hits;
}

} // namespace wendle::search
