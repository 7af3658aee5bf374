#include "app/ActivityLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace wendle {

namespace {

bool writeWhole(const QString &path, const QString &content)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(content.toUtf8());
    return file.commit();
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

} // namespace

void appendLogEntry(const QString &folder, const QString &text, const QDateTime &now)
{
    if (!ensureFolder(folder))
        return;
    const QString logPath = folder + u'/' + QLatin1String(LogFileName);
    const QString header = QLatin1String(LogHeader);

    QString content;
    QFile log(logPath);
    if (log.exists()) {
        if (log.open(QIODevice::ReadOnly))
            content = QString::fromUtf8(log.readAll());
        log.close();
        // The size is the one of the file the link points to.
        const qint64 size = QFileInfo(logPath).size();
        if (size > LogRotationBytes) {
            writeWhole(folder + u'/' + QLatin1String(OldLogFileName), content);
            content = header;
        }
    } else {
        content = header;
    }
    if (content.size() <= 4)
        content = header;

    content += u'\n';
    content += now.toString(QStringLiteral("yyyy-MM-dd (HH:mm:ss)"));
    content += QLatin1String(": ");
    content += text;
    writeWhole(logPath, content);
}

} // namespace wendle
