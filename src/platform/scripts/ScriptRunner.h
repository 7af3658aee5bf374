#pragma once

#include <QString>

#include <functional>

class QObject;

namespace wendle {

struct ScriptResult {
    enum class Status {
        Succeeded,   // ran to the end with status 0
        CannotLoad,  // could not be started or compiled: not executable, no #! line, syntax error
        FailedToRun, // started but failed: non-zero exit, killed by a signal or by the time limit
    };
    Status status = Status::CannotLoad;
    QString output; // standard output, decoded by decodeScriptText
    QString error;  // why it did not succeed, for logs and console lines
};

// Text a script printed or holds, as the owner will read it: UTF-8 when the
// bytes are valid UTF-8, otherwise Latin-1, where every byte is a character
// and nothing is lost. Control characters other than tab, line feed and
// carriage return become U+FFFD: they have no place in a mail or a log line.
QString decodeScriptText(const QByteArray &bytes);

// A script's output as an answer: like a shell's command substitution, the
// line breaks that end it are not part of it.
QString withoutTrailingLineBreaks(QString text);

using ScriptFinished = std::function<void(const ScriptResult &)>;

// Runs the owner's scripts. runScriptFile and runShellSource block until
// the script ends or its time limit kills it, for callers that may wait;
// the event loop waits for nobody, so the daemon starts a script and is
// told when it ended.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    // The file itself is the program: its #! line chooses the interpreter.
    // No shell and no arguments are involved.
    virtual ScriptResult runScriptFile(const QString &path, int timeoutSeconds) = 0;
    // The same run without waiting: returns at once, and finished gets the
    // result later from the calling thread's event loop. Destroying the
    // context stops the script, and finished never runs.
    virtual void startScriptFile(const QString &path, int timeoutSeconds, QObject *context, ScriptFinished finished) = 0;
    // Shell source for /bin/sh, checked with `sh -n` first: a syntax error
    // is CannotLoad.
    virtual ScriptResult runShellSource(const QString &source, int timeoutSeconds) = 0;
};

class ProcessScriptRunner : public ScriptRunner {
public:
    ScriptResult runScriptFile(const QString &path, int timeoutSeconds) override;
    void startScriptFile(const QString &path, int timeoutSeconds, QObject *context, ScriptFinished finished) override;
    ScriptResult runShellSource(const QString &source, int timeoutSeconds) override;
};

} // namespace wendle
