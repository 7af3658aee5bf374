#include "platform/mail/AttachmentFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSaveFile>

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

} // namespace

QString safeAttachmentName(const QString &proposed, const QString &mediaType)
{
    const QString name = bounded(cleanCharacters(lastComponent(proposed)));
    if (!name.isEmpty())
        return name;
    const QString suffix = QMimeDatabase().mimeTypeForName(mediaType).preferredSuffix();
    return suffix.isEmpty() ? QStringLiteral("attachment") : QStringLiteral("attachment.") + suffix;
}

QString saveAttachment(const QString &folderPath, const QString &proposedName, const QString &mediaType,
                       const QByteArray &bytes, QString *error)
{
    if (!QDir().mkpath(folderPath)) {
        *error = QStringLiteral("cannot create the attachment folder %1").arg(folderPath);
        return {};
    }
    const QDir folder(folderPath);
    const QString name = safeAttachmentName(proposedName, mediaType);
    for (int attempt = 1; attempt <= MostNameTries; ++attempt) {
        const QString path = folder.filePath(candidateName(name, attempt));
        // Claiming the name with an exclusive create is what makes it unique
        // even when two messages with the same attachment arrive together.
        QFile claim(path);
        if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
                continue;
            *error = QStringLiteral("cannot create the attachment %1: %2").arg(path, claim.errorString());
            return {};
        }
        claim.close();
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
            return path;
        *error = QStringLiteral("cannot write the attachment %1: %2").arg(path, file.errorString());
        QFile::remove(path);
        return {};
    }
    *error = QStringLiteral("no free file name for the attachment %1 in %2").arg(name, folderPath);
    return {};
}

} // namespace wendle
