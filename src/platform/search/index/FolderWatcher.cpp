#include "platform/search/index/FolderWatcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wendle::search {

namespace {

constexpr std::uint32_t kEvents = IN_CREATE | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE
    | IN_DELETE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

bool isBelow(const std::string &path, const std::string &folder)
{
    return path == folder || (path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/');
}

} // namespace

FolderWatcher::FolderWatcher()
    : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
}

FolderWatcher::~FolderWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FolderWatcher::watch(const std::string &folder, bool *limitReached)
{
    *limitReached = false;
    if (m_fd < 0) {
        *limitReached = true; // no inotify at all: as if every watch were refused
        return false;
    }
    const int wd = ::inotify_add_watch(m_fd, folder.c_str(), kEvents);
    if (wd < 0) {
        *limitReached = errno == ENOSPC || errno == ENOMEM;
        return false;
    }
    m_paths[wd] = folder; // a folder moved back in keeps its descriptor
    return true;
}

void FolderWatcher::forgetBelow(const std::string &folder)
{
    for (auto it = m_paths.begin(); it != m_paths.end();) {
        if (isBelow(it->second, folder)) {
            ::inotify_rm_watch(m_fd, it->first);
            it = m_paths.erase(it);
        } else {
            ++it;
        }
    }
}

std::vector<FolderWatcher::Change> FolderWatcher::readChanges()
{
    std::vector<Change> changes;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0)
            return changes; // EAGAIN: nothing more waits
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                changes.push_back({Change::Type::Overflow, {}});
                continue;
            }
            const auto folder = m_paths.find(event->wd);
            if (folder == m_paths.end())
                continue;
            if (event->mask & IN_IGNORED) { // the folder is gone or was unwatched
                m_paths.erase(folder);
                continue;
            }
            if (event->len == 0 || event->name[0] == '.')
                continue; // events of the folder itself; hidden names stay out
            const std::string path = folder->second + "/" + event->name;
            const bool isFolder = event->mask & IN_ISDIR;
            if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                changes.push_back({isFolder ? Change::Type::FolderGone : Change::Type::Gone, path});
            else if (isFolder && (event->mask & (IN_CREATE | IN_MOVED_TO)))
                changes.push_back({Change::Type::FolderAdded, path});
            else if (!isFolder)
                changes.push_back({(event->mask & IN_CREATE) ? Change::Type::Created : Change::Type::Written, path});
        }
    }
}

} // namespace wendle::search
