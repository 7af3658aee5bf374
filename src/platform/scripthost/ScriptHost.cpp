#include "platform/scripthost/ScriptHost.h"

#include "platform/process/OwnerUmask.h"

#include <QProcess>

namespace wendle {

QStringList defaultScriptHostCommand()
{
    return {QStringLiteral("osascript"), QStringLiteral("-")};
}

ScriptHostResult runScriptHost(const QStringList &command, const QString &script, int timeoutMs)
{
    ScriptHostResult result;
    if (command.isEmpty() || command.first().isEmpty()) {
        result.error = QStringLiteral("no script host command is set");
        return result;
    }
    QProcess process;
    process.setProgram(command.first());
    process.setArguments(command.mid(1));
    process.setChildProcessModifier(restoreOwnerUmask);
    process.start();
    if (!process.waitForStarted(timeoutMs)) {
        result.error = QStringLiteral("cannot start %1: %2").arg(command.first(), process.errorString());
        return result;
    }
    process.write(script.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        result.error = QStringLiteral("%1 did not finish within %2 ms").arg(command.first()).arg(timeoutMs);
        return result;
    }
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    if (process.exitStatus() != QProcess::NormalExit) {
        result.error = QStringLiteral("%1 crashed").arg(command.first());
        return result;
    }
    result.exitCode = process.exitCode();
    result.ok = result.exitCode == 0;
    if (!result.ok)
        result.error = QStringLiteral("%1 exited with status %2: %3")
                           .arg(command.first())
                           .arg(result.exitCode)
                           .arg(QString::fromUtf8(process.readAllStandardError()).trimmed());
    return result;
}

} // namespace wendle
