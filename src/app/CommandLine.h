#pragma once

namespace wendle {

// The whole command line: `wendle SUBCOMMAND [OPTIONS] [ARGUMENTS]`, plus
// `wendle --version` and `wendle --help`. Returns the process exit code.
int runCommandLine(int &argc, char **argv);

} // namespace wendle
