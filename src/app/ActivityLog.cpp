#include "app/ActivityLog.h"

#include "platform/trace/RoadTrace.h"
#include "resources/FileStamp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wendle {

namespace {

// The log is handled as bytes: decoding 256 KiB to UTF-16 and back for every
// entry cost more than reading and writing the file. Text that is not valid
// UTF-8 still goes through QString once, so bad bytes become U+FFFD and never
// spread into later entries.

// Which file this process wrote last: a log that is still exactly that file
// is valid UTF-8 without checking it again. Anything that touched it since
// (another program, the owner's editor) shows in its stamp. Entries are
// written on the main thread only.
FileStamp lastWrittenLog;

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

// Writes head and tail to a new file beside path, syncs its data and renames
// it over path, so a reader (or a crash) meets the old file or the new one,
// never half of either. A new file gets the usual permissions, a replaced one
// keeps its own; a symbolic link keeps pointing at the file it names. Every
// system call counts here: this runs for each entry of the log.
bool replaceWhole(const QString &path, const QByteArray &head, const QByteArray &tail = QByteArray(), FileStamp *written = nullptr)
{
    static std::atomic<unsigned> counter{0};
    static const QByteArray process = QByteArray::number(::getpid());
    QByteArray target = QFile::encodeName(path);
    struct stat old;
    bool existed = ::lstat(target.constData(), &old) == 0;
    if (existed && S_ISLNK(old.st_mode)) {
        existed = ::stat(target.constData(), &old) == 0;
        if (existed)
            target = QFile::encodeName(QFileInfo(path).canonicalFilePath());
    }
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = target + ".tmp-" + process + '-' + QByteArray::number(counter++);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    struct stat status;
    bool ok = writeAll(fd, head) && writeAll(fd, tail) && ::fstat(fd, &status) == 0;
    const mode_t mode = old.st_mode & 07777;
    if (ok && existed && (status.st_mode & 07777) != mode)
        ok = ::fchmod(fd, mode) == 0;
    ok = ok && ::fdatasync(fd) == 0;
    if (written)
        *written = ok ? FileStamp::of(status) : FileStamp();
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.constData(), target.constData()) == 0)
        return true;
    ::unlink(temporary.constData());
    return false;
}

// A file (or a dangling link) where the folder belongs is the owner's: it is
// never removed to make room. The entry is dropped instead, and start-up has
// told the owner why.
bool ensureFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    if (info.exists() || info.isSymLink())
        return false;
    return QDir().mkpath(folder);
}

// The whole file, and its size as the file system reports it (of the file a
// link points to). An unreadable log reads as empty; a missing one as absent.
struct LogFile {
    bool exists = false;
    qint64 size = 0;
    FileStamp identity;
    QByteArray content;
};

LogFile readLog(const QByteArray &path)
{
    LogFile log;
    struct stat status;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // Present but unreadable still counts as present, with its size.
        if (::stat(path.constData(), &status) == 0) {
            log.exists = true;
            log.size = status.st_size;
        }
        return log;
    }
    log.exists = ::fstat(fd, &status) == 0;
    log.size = status.st_size;
    log.identity = FileStamp::of(status);
    log.content.resize(qsizetype(status.st_size));
    qsizetype filled = 0;
    while (filled < log.content.size()) {
        const ssize_t got = ::read(fd, log.content.data() + filled, size_t(log.content.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        filled += got;
    }
    ::close(fd);
    log.content.truncate(filled);
    return log;
}

// "yyyy-MM-dd (HH:mm:ss)" in local time, without QDateTime::toString's
// format parser, which cost more than the rest of the entry's own work.
QByteArray stamp(const QDateTime &now)
{
    const QDate date = now.date();
    const QTime time = now.time();
    char text[48];
    const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02d (%02d:%02d:%02d)", date.year(), date.month(), date.day(),
                                     time.hour(), time.minute(), time.second());
    return QByteArray(text, length);
}

// The log restarts with its header when it holds four characters or fewer.
bool tooShort(const QByteArray &utf8)
{
    // A character takes at least one byte and a UTF-16 unit at most three.
    if (utf8.size() > 12)
        return false;
    return QString::fromUtf8(utf8).size() <= 4;
}

} // namespace

void appendLogEntry(const QString &folder, const QString &text, const QDateTime &now)
{
    appendLogEntries(folder, {{text, now}});
}

void appendLogEntries(const QString &folder, const QList<LogEntry> &entries)
{
    if (entries.isEmpty())
        return;
    const QString logPath = folder + u'/' + QLatin1String(LogFileName);
    const QByteArray header(LogHeader);

    // A log that opens needs no look at its folder.
    LogFile log = readLog(QFile::encodeName(logPath));
    if (!log.exists && !ensureFolder(folder))
        return;
    QByteArray content = log.exists ? log.content : header;
    const bool ours = log.exists && log.identity == lastWrittenLog && log.content.size() == log.size;
    if (!ours && !QByteArrayView(content).isValidUtf8())
        content = QString::fromUtf8(content).toUtf8();
    // Each entry in turn, as if written alone: the log rotates before the
    // entry that finds it too large.
    qint64 size = log.exists ? log.size : content.size();
    QByteArray added;
    for (const LogEntry &entry : entries) {
        if (size > LogRotationBytes) {
            replaceWhole(folder + u'/' + QLatin1String(OldLogFileName), content + added);
            content = header;
            added.clear();
        }
        // Once an entry is added the log is never too short.
        if (added.isEmpty() && tooShort(content))
            content = header;
        added += '\n' + stamp(entry.when) + ": " + entry.text.toUtf8();
        size = content.size() + added.size();
    }
    replaceWhole(logPath, content, added, &lastWrittenLog);
    traceStep("daemon: log entries written");
}

} // namespace wendle
