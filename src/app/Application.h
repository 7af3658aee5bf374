#pragma once

#include <QString>

namespace wendle {

// Where Wendle keeps its log, outbox and queues: $XDG_DATA_HOME/wendle.
QString supportFolder();

// `wendle run [--headless]`: the one instance of this session. Returns the
// process exit code.
int runApplication(int &argc, char **argv, bool headless);

} // namespace wendle
