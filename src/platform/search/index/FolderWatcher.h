#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace wendle::search {

// Folders watched with inotify, for the index to follow what changes in them.
// The kernel bounds the watches per user (fs.inotify.max_user_watches); past the
// bound a folder is refused and the caller rescans it from time to time instead.
class FolderWatcher {
public:
    struct Change {
        // Created: a file appeared, and may still be being written.
        enum class Type { Created, Written, Gone, FolderAdded, FolderGone, Overflow };
        Type type = Type::Written;
        std::string path;
    };

    FolderWatcher();
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher &) = delete;
    FolderWatcher &operator=(const FolderWatcher &) = delete;

    int descriptor() const { return m_fd; }
    // False when the folder could not be watched; *limitReached tells the watch
    // limit from a folder that vanished or cannot be read.
    bool watch(const std::string &folder, bool *limitReached);
    // Stops watching the folder and everything below it (moved away or deleted).
    void forgetBelow(const std::string &folder);
    // Reads the events waiting now, without blocking.
    std::vector<Change> readChanges();
    std::size_t watchedCount() const { return m_paths.size(); }

private:
    int m_fd = -1;
    std::unordered_map<int, std::string> m_paths; // watch descriptor -> folder
};

} // namespace wendle::search
