#include "platform/search/index/FolderWatcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace wendle::search {

namespace {

constexpr std::uint32_t kEvents = IN_CREATE | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE | IN_DELETE_SELF
                                  | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

} // namespace

std::size_t folderWatchBudget()
{
    std::FILE *limit = std::fopen("/proc/sys/fs/inotify/max_user_watches", "re");
    unsigned long watches = 0;
    const bool known = limit && std::fscanf(limit, "%lu", &watches) == 1;
    if (limit)
        std::fclose(limit);
    return known ? std::size_t(watches - watches / 4) : SIZE_MAX;
}

FolderWatcher::FolderWatcher(std::size_t budget) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), m_budget(budget)
{}

FolderWatcher::~FolderWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int FolderWatcher::watch(const std::string &folder, int parent, bool *limitReached)
{
    *limitReached = false;
    if (m_fd < 0) {
        *limitReached = true; // no inotify at all: as if every watch were refused
        return kNone;
    }
    if (m_count >= m_budget) {
        *limitReached = true;
        return kNone;
    }
    const int wd = ::inotify_add_watch(m_fd, folder.c_str(), kEvents);
    if (wd < 0) {
        *limitReached = errno == ENOSPC || errno == ENOMEM;
        return kNone;
    }
    // A folder moved back in keeps its descriptor, and takes its new place.
    if (!isWatched(parent))
        parent = kNone;
    const std::string_view name = parent == kNone ? std::string_view(folder) : std::string_view(folder).substr(folder.rfind('/') + 1);
    if (isWatched(wd))
        forget(wd);
    if (m_folders.size() <= std::size_t(wd))
        m_folders.resize(std::size_t(wd) + 1);
    m_folders[std::size_t(wd)] = Folder{parent, std::uint32_t(m_names.size()), std::uint32_t(name.size())};
    m_names.append(name);
    ++m_count;
    return wd;
}

std::string FolderWatcher::pathOf(int wd) const
{
    std::vector<std::string_view> names;
    for (; wd != kNone; wd = m_folders[std::size_t(wd)].parent) {
        if (!isWatched(wd) || names.size() > 4096)
            return {}; // a folder above is no longer watched
        names.push_back(nameOf(m_folders[std::size_t(wd)]));
    }
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (!path.empty())
            path += '/';
        path.append(*name);
    }
    return path;
}

void FolderWatcher::forget(int wd)
{
    Folder &folder = m_folders[std::size_t(wd)];
    m_unusedNameBytes += folder.nameSize;
    folder = Folder{};
    --m_count;
    while (!m_folders.empty() && m_folders.back().nameSize == 0)
        m_folders.pop_back();
    if (m_unusedNameBytes > (64 << 10) && m_unusedNameBytes > m_names.size() / 2)
        compactNames();
}

void FolderWatcher::compactNames()
{
    std::string names;
    names.reserve(m_names.size() - m_unusedNameBytes);
    for (Folder &folder : m_folders) {
        const std::string_view name = nameOf(folder);
        folder.nameAt = std::uint32_t(names.size());
        names.append(name);
    }
    m_names = std::move(names);
    m_unusedNameBytes = 0;
}

void FolderWatcher::forgetBelow(int parent, std::string_view name)
{
    int top = kNone;
    for (std::size_t wd = 0; wd < m_folders.size() && top == kNone; ++wd) {
        if (m_folders[wd].nameSize > 0 && m_folders[wd].parent == parent && nameOf(m_folders[wd]) == name)
            top = int(wd);
    }
    if (top == kNone)
        return; // deleted: the kernel dropped its watch, and those below, already
    std::vector<int> below;
    for (std::size_t wd = 0; wd < m_folders.size(); ++wd) {
        int up = int(wd);
        for (int steps = 0; up != kNone && up != top && isWatched(up) && steps < 4096; ++steps)
            up = m_folders[std::size_t(up)].parent;
        if (up == top && isWatched(int(wd)))
            below.push_back(int(wd));
    }
    for (int wd : below) {
        ::inotify_rm_watch(m_fd, wd);
        forget(wd);
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
                changes.push_back({Change::Type::Overflow, {}, kNone});
                continue;
            }
            if (!isWatched(event->wd))
                continue;
            if (event->mask & IN_IGNORED) { // the folder is gone or was unwatched
                forget(event->wd);
                continue;
            }
            if (event->len == 0 || event->name[0] == '.')
                continue; // events of the folder itself; hidden names stay out
            std::string path = pathOf(event->wd);
            if (path.empty())
                continue;
            path += '/';
            path += event->name;
            const bool isFolder = event->mask & IN_ISDIR;
            Change::Type type = Change::Type::Written;
            if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                type = isFolder ? Change::Type::FolderGone : Change::Type::Gone;
            else if (isFolder && (event->mask & (IN_CREATE | IN_MOVED_TO)))
                type = Change::Type::FolderAdded;
            else if (isFolder)
                continue;
            else if (event->mask & IN_CREATE)
                type = Change::Type::Created;
            changes.push_back({type, std::move(path), event->wd});
        }
    }
}

} // namespace wendle::search
