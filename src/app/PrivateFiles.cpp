#include "app/PrivateFiles.h"

#include <QDirIterator>
#include <QFile>

#include <sys/stat.h>

namespace wendle {

namespace {

bool makePrivate(const QString &path)
{
    struct stat status;
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &status) != 0 || S_ISLNK(status.st_mode) || (status.st_mode & 077) == 0)
        return false;
    return ::chmod(name.constData(), status.st_mode & 0700) == 0;
}

} // namespace

int makeFilesPrivate(const QStringList &folders)
{
    int changed = 0;
    for (const QString &folder : folders) {
        changed += makePrivate(folder) ? 1 : 0;
        QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (entries.hasNext())
            changed += makePrivate(entries.next()) ? 1 : 0;
    }
    return changed;
}

} // namespace wendle
