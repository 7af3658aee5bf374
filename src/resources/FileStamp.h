#pragma once

#include <sys/stat.h>

namespace wendle {

// What tells one state of a file from another without reading it: writing,
// replacing or truncating the file changes its inode, size or time.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    time_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;

    static FileStamp of(const struct stat &status)
    {
        return {status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
    }
    bool operator==(const FileStamp &other) const = default;
};

} // namespace wendle
