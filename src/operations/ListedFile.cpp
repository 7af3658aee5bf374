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

// The handle of the file at path (relative to folder), not following a link;
// empty when the file system has no handles.
QByteArray handleOf(int folder, const char *path, int flags)
{
    alignas(file_handle) char storage[sizeof(file_handle) + MAX_HANDLE_SZ];
    auto *handle = reinterpret_cast<file_handle *>(storage);
    handle->handle_bytes = MAX_HANDLE_SZ;
    int mountId = 0;
    if (::name_to_handle_at(folder, path, handle, &mountId, flags) != 0)
        return {};
    return QByteArray::number(handle->handle_type) + ':'
           + QByteArray(reinterpret_cast<const char *>(handle->f_handle), qsizetype(handle->handle_bytes));
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
    struct stat status {};
    if (path.isEmpty() || ::lstat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    return {quint64(status.st_dev), quint64(status.st_ino), handleOf(AT_FDCWD, name.constData(), 0), realPathOf(name)};
}

ListedFileState checkListedFile(const QString &path, const FileIdentity &listed)
{
    const QByteArray name = QFile::encodeName(path);
    // Never follow a link put in place of the file, never block on a FIFO.
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        struct stat status {};
        return errno == ENOENT && ::lstat(name.constData(), &status) != 0 ? ListedFileState::Gone : ListedFileState::Changed;
    }
    struct stat status {};
    const bool same = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && !listed.realPath.isEmpty()
                      && quint64(status.st_dev) == listed.device && quint64(status.st_ino) == listed.inode
                      && handleOf(fd, "", AT_EMPTY_PATH) == listed.handle && realPathOfOpenFile(fd) == listed.realPath;
    ::close(fd);
    return same ? ListedFileState::Same : ListedFileState::Changed;
}

} // namespace wendle
