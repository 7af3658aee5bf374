#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

#include <functional>

namespace wendle {

// Lines that other people can cause (a forged sender, a chat server's error
// replies) must not flood the activity log and push the owner's own history
// out through its rotation. Of each kind of line, the first few in an hour
// are written in full; the rest are counted, and the count is written with
// the next line of that kind after the hour, or when Wendle stops.
class RemoteLogCap {
public:
    using Writer = std::function<void(const QString &line)>;
    static constexpr int LinesPerHour = 5;

    // place names where the lines go, for the count ("the log", "the console").
    explicit RemoteLogCap(Writer writer, QString place = QStringLiteral("the log"));

    // kind names the sort of line in the count ("refused mail messages").
    void write(const QString &kind, const QString &line, const QDateTime &now);
    // Writes the counts still held.
    void flush(const QDateTime &now);

private:
    struct Tally {
        QDateTime since;
        int written = 0;
        qint64 leftOut = 0;
    };
    void writeCount(const QString &kind, Tally &tally, const QDateTime &now);

    Writer m_writer;
    QString m_place;
    QHash<QString, Tally> m_tallies;
};

} // namespace wendle
