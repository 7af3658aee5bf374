#pragma once

#include <QDateTime>
#include <QList>

#include <QString>
#include <cstdint>

namespace wendle {

inline constexpr const char *LogFileName = "wendle.log";
inline constexpr const char *OldLogFileName = "wendle_old.log";
inline constexpr const char *LogHeader = "-------------Wendle Log File-------------\n";
inline constexpr qint64 LogRotationBytes = 262144;

// Appends one entry to <folder>/wendle.log: a line break, the local time as
// "yyyy-MM-dd (HH:mm:ss)", ": " and the text. A log above 256 KiB first moves
// whole to wendle_old.log and the new log starts with the header. Every write
// replaces the file atomically, so a crash never leaves half a log. Failures
// drop the entry silently; the next entry tries again.
void appendLogEntry(const QString &folder, const QString &text, const QDateTime &now);

// Entries appended in one write of the file, each as appendLogEntry would
// (rotating before the one that finds the log too large).
struct LogEntry {
    QString text;
    QDateTime when;
};
void appendLogEntries(const QString &folder, const QList<LogEntry> &entries);

// The entries the controller holds back while a command runs (see
// Controller::holdLogUntilSettled).
struct HeldLog {
    bool holding = false;
    QList<LogEntry> entries;
    std::uint64_t timer = 0;
};
// The longest an entry is held: a long command's first entries reach the
// file while it still runs.
inline constexpr int HeldLogLimitMs = 500;

} // namespace wendle
