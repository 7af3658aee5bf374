#include "platform/scripts/ScriptRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace wendle {

namespace {

constexpr qint64 MaxOutputBytes = 16 * 1024 * 1024;

// Runs program with arguments, feeding input, within the time limit. A
// program that cannot start is CannotLoad; everything after the start that
// is not a clean exit is FailedToRun.
ScriptResult runProgram(const QString &program, const QStringList &arguments, const QByteArray &input, int timeoutSeconds)
{
    ScriptResult result;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.start();
    if (!process.waitForStarted(10000)) {
        result.status = ScriptResult::Status::CannotLoad;
        result.error = process.errorString();
        return result;
    }
    process.write(input);
    process.closeWriteChannel();
    const int timeoutMs = qMax(1, timeoutSeconds) * 1000;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        result.status = ScriptResult::Status::FailedToRun;
        result.error = QStringLiteral("stopped after %1 seconds").arg(qMax(1, timeoutSeconds));
        return result;
    }
    result.output = QString::fromUtf8(process.readAllStandardOutput().left(MaxOutputBytes));
    const QString errors = QString::fromUtf8(process.readAllStandardError().left(4096)).trimmed();
    if (process.exitStatus() != QProcess::NormalExit) {
        result.status = ScriptResult::Status::FailedToRun;
        result.error = QStringLiteral("crashed");
        return result;
    }
    if (process.exitCode() != 0) {
        result.status = ScriptResult::Status::FailedToRun;
        result.error = QStringLiteral("exit status %1%2").arg(process.exitCode()).arg(errors.isEmpty() ? QString() : QLatin1String(": ") + errors);
        return result;
    }
    result.status = ScriptResult::Status::Succeeded;
    return result;
}

} // namespace

ScriptResult ProcessScriptRunner::runScriptFile(const QString &path, int timeoutSeconds)
{
    ScriptResult refused;
    refused.status = ScriptResult::Status::CannotLoad;
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        refused.error = QStringLiteral("cannot read %1").arg(path);
        return refused;
    }
    if (!info.isExecutable()) {
        refused.error = QStringLiteral("%1 is not executable").arg(path);
        return refused;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(2) != "#!") {
        refused.error = QStringLiteral("%1 has no #! line naming its interpreter").arg(path);
        return refused;
    }
    return runProgram(info.absoluteFilePath(), {}, {}, timeoutSeconds);
}

ScriptResult ProcessScriptRunner::runShellSource(const QString &source, int timeoutSeconds)
{
    const QByteArray bytes = source.toUtf8();
    ScriptResult check = runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-n")}, bytes, timeoutSeconds);
    if (check.status != ScriptResult::Status::Succeeded) {
        check.status = ScriptResult::Status::CannotLoad;
        return check;
    }
    return runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-s")}, bytes, timeoutSeconds);
}

} // namespace wendle
