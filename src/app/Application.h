#pragma once

#include <QString>

namespace wendle {

// Where Wendle keeps its log, outbox and queues: $XDG_DATA_HOME/wendle.
QString supportFolder();

// Whether an X or Wayland display is there to show windows on.
bool hasDisplay();

// `wendle run [--headless]`: the one instance of this session. Returns the
// process exit code.
int runApplication(int &argc, char **argv, bool headless);

} // namespace wendle
