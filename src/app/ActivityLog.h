#pragma once

#include <QDateTime>
#include <QString>

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

} // namespace wendle
