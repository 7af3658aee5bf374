#pragma once

#include <QString>
#include <QStringList>

namespace wendle {

// The commands taken and not yet finished, one line each in a file of the
// data folder, so that the start after a crash or a kill can say which ones
// were lost instead of losing them without a word.
inline constexpr const char *CommandsInFlightFile = "commands-in-flight";

void recordCommandInFlight(const QString &supportFolder, const QString &command);
// Every command recorded so far has finished.
void clearCommandsInFlight(const QString &supportFolder);
// What an earlier run recorded and never finished; the record goes.
QStringList takeInterruptedCommands(const QString &supportFolder);

} // namespace wendle
