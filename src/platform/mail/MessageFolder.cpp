#include "platform/mail/MessageFolder.h"

#include "platform/mail/ErrorText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <atomic>

namespace wendle {

namespace {

constexpr auto Suffix = ".eml";

// Shared by every folder of the process: two messages written in the same
// millisecond still get distinct, ordered names.
std::atomic<quint64> nameCounter{0};

QString newMessageName(const QDir &folder)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    for (;;) {
        const QString name = QStringLiteral("%1-%2%3").arg(stamp).arg(++nameCounter, 6, 10, QLatin1Char('0')).arg(QLatin1String(Suffix));
        if (!folder.exists(name))
            return name;
    }
}

} // namespace

QString writeMessageFile(const QString &folderPath, const QByteArray &message, QString *error)
{
    if (!QDir().mkpath(folderPath)) {
        setError(error, QStringLiteral("cannot create the folder %1").arg(folderPath));
        return {};
    }
    const QDir folder(folderPath);
    const QString path = folder.filePath(newMessageName(folder));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(message) != message.size() || !file.commit()) {
        setError(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        return {};
    }
    return path;
}

QStringList messageFiles(const QString &folderPath)
{
    const QDir folder(folderPath);
    QStringList paths;
    const QStringList names = folder.entryList({QStringLiteral("*") + QLatin1String(Suffix)}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        paths << folder.filePath(name);
    return paths;
}

QString moveMessageFile(const QString &path, const QString &folderPath, QString *error)
{
    if (!QDir().mkpath(folderPath)) {
        setError(error, QStringLiteral("cannot create the folder %1").arg(folderPath));
        return {};
    }
    const QDir folder(folderPath);
    QString target = folder.filePath(QFileInfo(path).fileName());
    if (QFileInfo::exists(target))
        target = folder.filePath(newMessageName(folder));
    QFile file(path);
    if (!file.rename(target)) {
        setError(error, QStringLiteral("cannot move %1 to %2: %3").arg(path, folderPath, file.errorString()));
        return {};
    }
    return target;
}

} // namespace wendle
