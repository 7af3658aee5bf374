#pragma once

namespace wendle {

// `wendle run [--headless]`: the one instance of this session. Returns the
// process exit code.
int runApplication(int &argc, char **argv, bool headless);

} // namespace wendle
