#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace wendle::search {

// Folders watched with inotify, for the index to follow what changes in them.
// The kernel bounds the watches per user (fs.inotify.max_user_watches); past the
// bound a folder is refused and the caller rescans it from time to time instead.
//
// A home can hold hundreds of thousands of folders, all watched while Wendle
// idles: each is kept as its parent's descriptor and its own name, a dozen bytes
// and the name's, rather than as a path.
// How many folders the index may watch: three quarters of the user's inotify
// watches, the rest left to the desktop's other programs (file managers, editors,
// sync clients), which stop following changes when none are left.
std::size_t folderWatchBudget();

class FolderWatcher {
public:
    static constexpr int kNone = -1;

    struct Change {
        // Created: a file appeared, and may still be being written.
        enum class Type { Created, Written, Gone, FolderAdded, FolderGone, Overflow };
        Type type = Type::Written;
        std::string path;
        int folder = kNone; // the descriptor of the folder the path lies in
    };

    // At most `budget` folders are watched; past it a folder is refused as at
    // the kernel's limit.
    explicit FolderWatcher(std::size_t budget = SIZE_MAX);
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher &) = delete;
    FolderWatcher &operator=(const FolderWatcher &) = delete;

    int descriptor() const { return m_fd; }
    // The folder's descriptor; kNone when it could not be watched, and then
    // *limitReached tells the watch limit from a folder that vanished or cannot
    // be read. parent: the descriptor of the folder it lies in, kNone when that
    // one is not watched.
    int watch(const std::string &folder, int parent, bool *limitReached);
    // Stops watching the folder `name` in the folder `parent`, and everything
    // below it (moved away or deleted).
    void forgetBelow(int parent, std::string_view name);
    // Reads the events waiting now, without blocking.
    std::vector<Change> readChanges();
    std::size_t watchedCount() const { return m_count; }

private:
    struct Folder {
        int parent = kNone;
        std::uint32_t nameAt = 0;
        std::uint32_t nameSize = 0; // 0: not watched (a folder's own name is never empty)
    };

    int m_fd = -1;
    std::size_t m_budget;
    std::vector<Folder> m_folders; // by watch descriptor, which the kernel hands out rising
    std::string m_names;           // the folders' names end to end; a top one's is its path
    std::size_t m_unusedNameBytes = 0;
    std::size_t m_count = 0;

    std::string_view nameOf(const Folder &folder) const { return std::string_view(m_names).substr(folder.nameAt, folder.nameSize); }
    bool isWatched(int wd) const { return wd >= 0 && std::size_t(wd) < m_folders.size() && m_folders[std::size_t(wd)].nameSize > 0; }
    std::string pathOf(int wd) const;
    void forget(int wd);
    void compactNames();
};

} // namespace wendle::search
