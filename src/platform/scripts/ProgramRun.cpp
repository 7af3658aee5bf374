#include "platform/scripts/ProgramRun.h"

#include "platform/process/OwnerUmask.h"

#include <signal.h>
#include <unistd.h>

namespace wendle {

namespace {

constexpr qint64 MaxOutputBytes = 16 * 1024 * 1024;
constexpr qint64 MaxErrorBytes = 4096;
constexpr int StartSeconds = 10;

// Keeps the first `limit` bytes a channel delivers and drops the rest, so a
// script that prints without end cannot fill the memory while it runs.
void appendBounded(QByteArray &buffer, const QByteArray &chunk, qint64 limit)
{
    const qint64 room = limit - buffer.size();
    if (room > 0)
        buffer.append(chunk.left(room));
}

void killProcessGroup(QProcess &process)
{
    const qint64 pid = process.processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
    process.kill();
    process.waitForFinished(5000);
}

ScriptResult failure(ScriptResult::Status status, const QString &error)
{
    ScriptResult result;
    result.status = status;
    result.error = error;
    return result;
}

} // namespace

ProgramRun::ProgramRun(const QString &program, const QStringList &arguments, const QByteArray &input, int timeoutSeconds, QObject *parent)
    : QObject(parent)
    , m_input(input)
    , m_seconds(qMax(1, timeoutSeconds))
{
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setChildProcessModifier([] {
        ::setpgid(0, 0);
        restoreOwnerUmask();
    });
    m_timeLimit.setSingleShot(true);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &ProgramRun::collectOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &ProgramRun::collectOutput);
    connect(&m_process, &QProcess::started, this, [this] {
        m_process.write(m_input);
        m_process.closeWriteChannel();
        m_timeLimit.start(m_seconds * 1000);
    });
    connect(&m_process, &QProcess::finished, this, &ProgramRun::exited);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(failure(ScriptResult::Status::CannotLoad, m_process.errorString()));
    });
    connect(&m_timeLimit, &QTimer::timeout, this, &ProgramRun::stopAtTimeLimit);
}

ProgramRun::~ProgramRun()
{
    m_done = true;
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning)
        killProcessGroup(m_process);
}

void ProgramRun::start(Finished finished)
{
    m_finished = std::move(finished);
    m_process.start();
}

ScriptResult ProgramRun::runToEnd()
{
    ScriptResult result;
    start([&result](const ScriptResult &ended) { result = ended; });
    // The signals the connections above wait for are delivered while these wait.
    if (!m_done && !m_process.waitForStarted(StartSeconds * 1000))
        finish(failure(ScriptResult::Status::CannotLoad, m_process.errorString()));
    if (!m_done && !m_process.waitForFinished(m_seconds * 1000))
        stopAtTimeLimit();
    return result;
}

void ProgramRun::collectOutput()
{
    appendBounded(m_output, m_process.readAllStandardOutput(), MaxOutputBytes);
    appendBounded(m_errors, m_process.readAllStandardError(), MaxErrorBytes);
}

void ProgramRun::exited(int exitCode, QProcess::ExitStatus status)
{
    if (m_stopped) {
        finish(failure(ScriptResult::Status::FailedToRun, QStringLiteral("stopped after %1 seconds").arg(m_seconds)));
        return;
    }
    collectOutput();
    ScriptResult result;
    result.output = decodeScriptText(m_output);
    if (status != QProcess::NormalExit) {
        result.status = ScriptResult::Status::FailedToRun;
        result.error = QStringLiteral("crashed");
    } else if (exitCode != 0) {
        const QString errorText = decodeScriptText(m_errors).trimmed();
        result.status = ScriptResult::Status::FailedToRun;
        result.error =
            QStringLiteral("exit status %1%2").arg(exitCode).arg(errorText.isEmpty() ? QString() : QLatin1String(": ") + errorText);
    } else {
        result.status = ScriptResult::Status::Succeeded;
    }
    finish(result);
}

void ProgramRun::stopAtTimeLimit()
{
    m_stopped = true;
    killProcessGroup(m_process);
    // A process the kill cannot end at once (stuck in the kernel) reports
    // no exit; the run is over all the same.
    if (!m_done)
        exited(-1, QProcess::CrashExit);
}

void ProgramRun::finish(const ScriptResult &result)
{
    if (m_done)
        return;
    m_done = true;
    m_timeLimit.stop();
    // The last thing done here: the receiver may delete this run.
    if (const Finished finished = std::move(m_finished))
        finished(result);
}

} // namespace wendle
