#include "platform/workspace/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace wendle {

namespace {

constexpr qint64 LargestEntryBytes = 1024 * 1024;

bool isQuotedEscape(QChar c)
{
    return c == u'"' || c == u'`' || c == u'$' || c == u'\\';
}

// Whether the TryExec program is there: a path must be executable, a bare
// name must be found on PATH.
bool isInstalled(const QString &program)
{
    if (QDir::isAbsolutePath(program))
        return QFileInfo(program).isExecutable();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

} // namespace

bool DesktopEntry::isLaunchable() const
{
    if (type != QLatin1String("Application") || hidden || exec.trimmed().isEmpty())
        return false;
    return tryExec.isEmpty() || isInstalled(tryExec);
}

QString unescapeDesktopValue(const QString &value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 >= value.size()) {
            result += c;
            continue;
        }
        const QChar next = value[++i];
        if (next == u's')
            result += u' ';
        else if (next == u'n')
            result += u'\n';
        else if (next == u't')
            result += u'\t';
        else if (next == u'r')
            result += u'\r';
        else if (next == u'\\')
            result += u'\\';
        else
            result += QStringView(value).mid(i - 1, 2);
    }
    return result;
}

std::optional<DesktopEntry> readDesktopEntry(const QString &filePath)
{
    QFile file(filePath);
    if (filePath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QStringList lines = QString::fromUtf8(file.read(LargestEntryBytes)).split(u'\n');

    DesktopEntry entry;
    bool inGroup = false;
    bool found = false;
    for (const QString &rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            found = found || inGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = unescapeDesktopValue(line.mid(equals + 1).trimmed());
        if (key == QLatin1String("Type"))
            entry.type = value;
        else if (key == QLatin1String("Exec"))
            entry.exec = value;
        else if (key == QLatin1String("TryExec"))
            entry.tryExec = value;
        else if (key == QLatin1String("Path"))
            entry.path = value;
        else if (key == QLatin1String("Hidden"))
            entry.hidden = value == QLatin1String("true");
    }
    if (!found)
        return std::nullopt;
    return entry;
}

QStringList execArguments(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool started = false; // an argument is open, even an empty quoted one
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        const bool hasNext = i + 1 < exec.size();
        if (quoted) {
            if (c == u'\\' && hasNext && isQuotedEscape(exec[i + 1]))
                current += exec[++i];
            else if (c == u'"')
                quoted = false;
            else
                current += c;
            continue;
        }
        if (c == u' ' || c == u'\t') {
            if (started)
                arguments << current;
            current.clear();
            started = false;
        } else if (c == u'"') {
            quoted = true;
            started = true;
        } else if (c == u'%' && hasNext) {
            // A field code stands for files, URLs, the icon or the name:
            // nothing of that is passed, so it goes.
            if (exec[++i] == u'%') {
                current += u'%';
                started = true;
            }
        } else {
            current += c;
            started = true;
        }
    }
    if (started)
        arguments << current;
    return arguments;
}

QString locateDesktopEntry(const QString &id, const QStringList &applicationFolders)
{
    if (id.isEmpty())
        return {};
    if (id.contains(u'/'))
        return QFileInfo(id).isFile() ? id : QString();
    const QString fileId = id.endsWith(QLatin1String(".desktop")) ? id : id + QLatin1String(".desktop");

    // "a-b-c.desktop" may be a-b-c.desktop, a/b-c.desktop or a/b/c.desktop.
    QStringList relativePaths{fileId};
    QString nested = fileId;
    for (qsizetype dash = nested.indexOf(u'-'); dash >= 0; dash = nested.indexOf(u'-', dash + 1)) {
        nested[dash] = u'/';
        relativePaths << nested;
    }
    for (const QString &folder : applicationFolders) {
        for (const QString &relative : std::as_const(relativePaths)) {
            const QString candidate = QDir(folder).filePath(relative);
            if (QFileInfo(candidate).isFile())
                return candidate;
        }
    }
    return {};
}

} // namespace wendle
