#include "intake/MessageIdMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace wendle {

namespace {

// Ids are written one per line after their time; a line break inside one
// would split it, and a huge one would bloat the file.
constexpr qsizetype LongestId = 998;

QString cleanId(const QString &messageId)
{
    QString id = messageId.trimmed();
    id.replace(u'\n', u' ').replace(u'\r', u' ');
    return id.left(LongestId);
}

} // namespace

MessageIdMemory::MessageIdMemory(const QString &path) : m_path(path)
{
    load();
}

void MessageIdMemory::load()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        bool ok = false;
        const qint64 when = line.section(u' ', 0, 0).toLongLong(&ok);
        const QString id = line.section(u' ', 1);
        if (ok && !id.isEmpty())
            m_seen.insert(id, when);
        ++m_linesInFile;
    }
}

void MessageIdMemory::forgetOld(qint64 now)
{
    qint64 cutoff = now - KeptSeconds;
    if (m_seen.size() > MostEntries) {
        QList<qint64> times = m_seen.values();
        std::nth_element(times.begin(), times.end() - MostEntries, times.end());
        cutoff = std::max(cutoff, times[times.size() - MostEntries] - 1);
    }
    m_seen.removeIf([cutoff](const auto &entry) { return entry.value() <= cutoff; });
}

void MessageIdMemory::rewrite()
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (auto it = m_seen.cbegin(); it != m_seen.cend(); ++it)
        file.write(QByteArray::number(it.value()) + ' ' + it.key().toUtf8() + '\n');
    if (file.commit())
        m_linesInFile = m_seen.size();
}

bool MessageIdMemory::knows(const QString &messageId, const QDateTime &now) const
{
    const auto known = m_seen.constFind(cleanId(messageId));
    return known != m_seen.cend() && now.toSecsSinceEpoch() - known.value() <= KeptSeconds;
}

bool MessageIdMemory::remember(const QString &messageId, const QDateTime &now)
{
    const QString id = cleanId(messageId);
    if (id.isEmpty())
        return true;
    if (knows(id, now))
        return false;
    const qint64 seconds = now.toSecsSinceEpoch();
    m_seen.insert(id, seconds);
    // Appending keeps each take cheap; the file is rewritten once it holds
    // twice what is still remembered.
    if (m_linesInFile + 1 > 2 * std::max<qsizetype>(m_seen.size(), 512)) {
        forgetOld(seconds);
        rewrite();
        return true;
    }
    QDir().mkpath(QFileInfo(m_path).path());
    QFile file(m_path);
    if (file.open(QIODevice::Append))
        file.write(QByteArray::number(seconds) + ' ' + id.toUtf8() + '\n');
    ++m_linesInFile;
    return true;
}

} // namespace wendle
