#pragma once

#include <QString>

namespace wendle {

// `wendle help PAGE`: the help viewer on the page; without a display, the
// page as plain text on standard output. Returns the exit code: 0 shown, 1
// the page cannot be read, 2 no such page.
int runHelpCommand(int &argc, char **argv, const QString &pageName);

// The names `wendle help` takes, for its usage text.
QString helpPageNames();

} // namespace wendle
