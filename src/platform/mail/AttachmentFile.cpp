#include "platform/mail/AttachmentFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wendle {

namespace {

constexpr int LongestNameBytes = 200; // file systems allow 255 bytes
constexpr int LongestSuffix = 16;
constexpr int MostNameTries = 10000;

bool isUnwanted(QChar character)
{
    const QChar::Category category = character.category();
    return category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Other_NotAssigned;
}

bool isReserved(QChar character)
{
    return QStringLiteral(":*?\"<>|").contains(character);
}

QString lastComponent(QString name)
{
    name.replace(u'\\', u'/');
    return name.section(u'/', -1);
}

QString cleanCharacters(const QString &name)
{
    QString clean;
    for (const QChar character : name) {
        if (isUnwanted(character))
            continue;
        clean += isReserved(character) ? QChar(u'_') : character;
    }
    while (!clean.isEmpty() && (clean.front() == u'.' || clean.front().isSpace()))
        clean.remove(0, 1);
    while (!clean.isEmpty() && (clean.back() == u'.' || clean.back().isSpace()))
        clean.chop(1);
    return clean;
}

// Splits "name.ext" into the stem and ".ext" (a short final extension only).
std::pair<QString, QString> splitSuffix(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || name.size() - dot > LongestSuffix)
        return {name, QString()};
    return {name.left(dot), name.mid(dot)};
}

QString bounded(const QString &name)
{
    auto [stem, suffix] = splitSuffix(name);
    while (!stem.isEmpty() && (stem + suffix).toUtf8().size() > LongestNameBytes)
        stem.chop(stem.size() > 1 && stem.back().isLowSurrogate() ? 2 : 1);
    return stem.isEmpty() ? QString() : stem + suffix;
}

QString candidateName(const QString &name, int attempt)
{
    if (attempt == 1)
        return name;
    const auto [stem, suffix] = splitSuffix(name);
    return QStringLiteral("%1-%2%3").arg(stem).arg(attempt).arg(suffix);
}

constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

// Attachments are the owner's mail: the folder and each missing one above it
// are made for the owner alone, whatever the umask.
bool makePrivateFolder(const QString &path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    qsizetype at = 0;
    while (at >= 0) {
        at = clean.indexOf(u'/', at + 1);
        const QByteArray folder = QFile::encodeName(at < 0 ? clean : clean.left(at));
        if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    // A folder an earlier version made with the umask's bits is closed too.
    return QFileInfo(clean).isDir() && ::chmod(QFile::encodeName(clean).constData(), 0700) == 0;
}

// An exclusive flock() on the folder's lock file, held while it lives.
class FolderLock {
public:
    explicit FolderLock(const QString &folder)
    {
        const QByteArray path = QFile::encodeName(QDir(folder).filePath(QLatin1String(AttachmentFolderLockName)));
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_error = errno;
                ::close(m_fd);
                m_fd = -1;
            }
        }
        if (m_fd < 0 && m_error == 0)
            m_error = errno;
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool isHeld() const { return m_fd >= 0; }
    QString errorString() const { return qt_error_string(m_error); }

private:
    int m_fd = -1;
    int m_error = 0;
};

QString writeUnder(const QDir &folder, const QString &name, const QByteArray &bytes, QString *error)
{
    for (int attempt = 1; attempt <= MostNameTries; ++attempt) {
        const QString path = folder.filePath(candidateName(name, attempt));
        // Claiming the name with an exclusive create is what makes it unique
        // even when two messages with the same attachment arrive together.
        const int claim = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (claim < 0) {
            if (errno == EEXIST)
                continue;
            *error = QStringLiteral("cannot create the attachment %1: %2").arg(path, qt_error_string(errno));
            return {};
        }
        ::close(claim);
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit() && QFile::setPermissions(path, OwnerOnly))
            return path;
        *error = QStringLiteral("cannot write the attachment %1: %2").arg(path, file.errorString());
        QFile::remove(path);
        return {};
    }
    *error = QStringLiteral("no free file name for the attachment %1 in %2").arg(name, folder.path());
    return {};
}

} // namespace

qint64 attachmentFolderBytes(const QString &folder)
{
    qint64 total = 0;
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (file.fileName() != QLatin1String(AttachmentFolderLockName))
            total += file.size();
    }
    return total;
}

QString safeAttachmentName(const QString &proposed, const QString &mediaType)
{
    const QString name = bounded(cleanCharacters(lastComponent(proposed)));
    if (!name.isEmpty())
        return name;
    const QString suffix = QMimeDatabase().mimeTypeForName(mediaType).preferredSuffix();
    return suffix.isEmpty() ? QStringLiteral("attachment") : QStringLiteral("attachment.") + suffix;
}

QString saveAttachment(const QString &folderPath, const QString &proposedName, const QString &mediaType, const QByteArray &bytes,
                       QString *error, bool *folderFull)
{
    if (folderFull)
        *folderFull = false;
    if (!makePrivateFolder(folderPath)) {
        *error = QStringLiteral("cannot create the attachment folder %1").arg(folderPath);
        return {};
    }
    const FolderLock lock(folderPath);
    if (!lock.isHeld()) {
        *error = QStringLiteral("cannot lock the attachment folder %1: %2").arg(folderPath, lock.errorString());
        return {};
    }
    if (attachmentFolderBytes(folderPath) + bytes.size() > MaxAttachmentFolderBytes) {
        if (folderFull)
            *folderFull = true;
        return {};
    }
    return writeUnder(QDir(folderPath), safeAttachmentName(proposedName, mediaType), bytes, error);
}

} // namespace wendle
