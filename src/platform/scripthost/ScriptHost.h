#pragma once

#include <QString>
#include <QStringList>

namespace wendle {

struct ScriptHostResult {
    bool ok = false; // started, finished in time and exited with 0
    int exitCode = -1;
    QString output; // standard output, decoded as UTF-8
    QString error;  // why it failed, for logs and console lines
};

// The preference that names the program generated scripts are piped to, as
// an argument vector; on a Mac this is `osascript -`.
inline constexpr const char *ScriptHostCommandKey = "scriptHostCommand";
QStringList defaultScriptHostCommand();

// Runs `command` (an argument vector, no shell) with `script` on its standard
// input and waits at most `timeoutMs`; a program still running then is killed.
ScriptHostResult runScriptHost(const QStringList &command, const QString &script, int timeoutMs = 30000);

} // namespace wendle
