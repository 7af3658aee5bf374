#include "platform/search/index/BuildProgress.h"

#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wendle::search {

namespace {

// Half a second of work or one file in a hundred says little about the rest.
constexpr double ShortestPaceSeconds = 0.5;

QString roughly(double seconds)
{
    if (seconds < 90)
        return QStringLiteral("about %1 s left").arg(qMax(1, qRound(seconds)));
    if (seconds < 90 * 60)
        return QStringLiteral("about %1 min left").arg(qRound(seconds / 60));
    return QStringLiteral("about %1 h left").arg(seconds / 3600, 0, 'f', 1);
}

} // namespace

QString describeProgress(std::int64_t done, std::int64_t total, double elapsedSeconds)
{
    if (total < 0)
        return QStringLiteral("counting the files");
    done = std::min(done, total);
    const int percent = total == 0 ? 100 : int(done * 100 / total);
    QString text = QStringLiteral("%1 of %2 files (%3 %)").arg(done).arg(total).arg(percent);
    if (done > 0 && done < total && elapsedSeconds >= ShortestPaceSeconds && done * 100 >= total)
        text += QLatin1String(", ") + roughly(elapsedSeconds / double(done) * double(total - done));
    return text;
}

QString describeProgress(const BuildProgress &progress)
{
    return describeProgress(progress.done.load(), progress.total.load(), progress.elapsedSeconds());
}

std::int64_t countIndexableFiles(const std::string &root, const std::unordered_set<std::string> &skipped, const std::atomic<bool> &stopped)
{
    std::int64_t files = 0;
    std::vector<std::string> pending{root};
    while (!pending.empty() && !stopped.load()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        DIR *directory = fd < 0 ? nullptr : ::fdopendir(fd);
        if (!directory) {
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        while (const dirent *entry = ::readdir(directory)) {
            struct stat status;
            if (entry->d_name[0] == '.' || ::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISREG(status.st_mode))
                ++files;
            else if (S_ISDIR(status.st_mode) && !skipped.contains(folder + "/" + entry->d_name))
                pending.push_back(folder + "/" + entry->d_name);
        }
        ::closedir(directory);
    }
    return files;
}

} // namespace wendle::search
