#pragma once

#include <QStringList>

#include <optional>

namespace wendle {

// Splits one line into words the way a POSIX shell does, without expanding
// anything: blanks separate words, 'single quotes' keep everything,
// "double quotes" keep everything but \" \\ \$ \` and a backslash outside
// quotes keeps the next character, and a # that starts a word starts a
// comment. An unterminated quote gives nullopt.
std::optional<QStringList> splitShellWords(const QString &line);

} // namespace wendle
