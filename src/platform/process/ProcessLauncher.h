#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace wendle {

struct ProcessOutput {
    bool started = false;
    int exitCode = -1;
    QString standardOutput; // standard error joined in, as the tool interleaved them
};

// Child processes for the desktop's command-line tools: always an argument
// vector, never a shell line.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Runs to the end (or the time limit) and returns what it printed on
    // standard output and standard error, joined.
    virtual ProcessOutput run(const QString &program, const QStringList &arguments, int timeoutMs = 30000) = 0;
    // Starts and forgets: the child is never awaited and its output never read.
    virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;
    // Starts without waiting; finished gets what `run` would have returned,
    // on the caller's thread, once the program ended or its time limit killed
    // it. False when the program cannot start; finished is then never called.
    using Finished = std::function<void(const ProcessOutput &output)>;
    virtual bool start(const QString &program, const QStringList &arguments, Finished finished, int timeoutMs = 60000) = 0;
};

class QtProcessLauncher : public ProcessLauncher {
public:
    ProcessOutput run(const QString &program, const QStringList &arguments, int timeoutMs = 30000) override;
    bool startDetached(const QString &program, const QStringList &arguments) override;
    bool start(const QString &program, const QStringList &arguments, Finished finished, int timeoutMs = 60000) override;
};

} // namespace wendle
