#include "operations/ListedFile.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wendle {

namespace {

QString realPathOf(const QByteArray &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QFile::decodeName(resolved) : QString();
}

// Where the open file really is, whatever links the path went through.
QString realPathOfOpenFile(int fd)
{
    char target[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
    return length > 0 ? QFile::decodeName(QByteArray(target, length)) : QString();
}

} // namespace

FileIdentity identifyListedFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status{};
    if (path.isEmpty() || ::lstat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    return {quint64(status.st_dev), quint64(status.st_ino), realPathOf(name)};
}

ListedFileState checkListedFile(const QString &path, const FileIdentity &listed)
{
    const QByteArray name = QFile::encodeName(path);
    // Never follow a link put in place of the file, never block on a FIFO.
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        struct stat status{};
        return errno == ENOENT && ::lstat(name.constData(), &status) != 0 ? ListedFileState::Gone : ListedFileState::Changed;
    }
    struct stat status{};
    const bool same = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && !listed.realPath.isEmpty()
                      && quint64(status.st_dev) == listed.device && quint64(status.st_ino) == listed.inode
                      && realPathOfOpenFile(fd) == listed.realPath;
    ::close(fd);
    return same ? ListedFileState::Same : ListedFileState::Changed;
}

} // namespace wendle
