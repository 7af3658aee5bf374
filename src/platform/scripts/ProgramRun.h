#pragma once

#include "platform/scripts/ScriptRunner.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

namespace wendle {

// One run of a program, fed its input, within a time limit, keeping a
// bounded part of what it prints. The program runs in a process group of
// its own, so that stopping it also ends whatever it started (a shell
// script's `sleep`, a pipeline). A program that cannot start is
// CannotLoad; everything after the start that is not a clean exit is
// FailedToRun.
class ProgramRun : public QObject {
public:
    using Finished = std::function<void(const ScriptResult &)>;

    ProgramRun(const QString &program, const QStringList &arguments, const QByteArray &input, int timeoutSeconds,
               QObject *parent = nullptr);
    // A program still running is stopped, with its group; finished never runs.
    ~ProgramRun() override;

    // Returns at once; finished runs once, from the event loop, when the
    // program has ended or was stopped at its time limit, or when it could
    // not start (then maybe before start returns).
    void start(Finished finished);
    // Starts the program and waits for its end, for callers that may block.
    ScriptResult runToEnd();

private:
    void collectOutput();
    void exited(int exitCode, QProcess::ExitStatus status);
    void stopAtTimeLimit();
    void finish(const ScriptResult &result);

    QProcess m_process;
    QTimer m_timeLimit;
    QByteArray m_input;
    QByteArray m_output;
    QByteArray m_errors;
    int m_seconds;
    bool m_stopped = false;
    bool m_done = false;
    Finished m_finished;
};

} // namespace wendle
