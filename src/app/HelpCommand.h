#pragma once

namespace wendle {

// `wendle help [PAGE]`: the help viewer on PAGE (the configuration page when
// none is named); without a display, the page as plain text on standard
// output. Returns the exit code: 0 shown, 1 the page cannot be read, 2 no
// such page.
int runHelpCommand(int &argc, char **argv);

} // namespace wendle
