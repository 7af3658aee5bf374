#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

namespace wendle {

// The Message-IDs of the mail messages Wendle has taken, kept in a file so that
// a message the mail system hands over a second time (after a timeout, or
// after Wendle restarted) is recognised and not run again. Entries are
// forgotten after a fortnight and the file is bounded in size.
class MessageIdMemory {
public:
    explicit MessageIdMemory(const QString &path);

    // True when the id was not remembered yet: it is remembered from now on.
    // An empty id is never remembered (and always new).
    bool remember(const QString &messageId, const QDateTime &now);
    // Whether the id is remembered; an empty one never is.
    bool knows(const QString &messageId, const QDateTime &now) const;

    static constexpr qint64 KeptSeconds = 14 * 24 * 3600;
    static constexpr qsizetype MostEntries = 20000;

private:
    void load();
    void forgetOld(qint64 now);
    void rewrite();

    QString m_path;
    QHash<QString, qint64> m_seen; // id -> seconds since the epoch when taken
    qsizetype m_linesInFile = 0;
};

} // namespace wendle
