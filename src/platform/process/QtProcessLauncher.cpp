#include "platform/process/ProcessLauncher.h"

#include "platform/process/OwnerUmask.h"

#include <QProcess>

namespace wendle {

ProcessOutput QtProcessLauncher::run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    ProcessOutput output;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForStarted(timeoutMs))
        return output;
    output.started = true;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return output;
    }
    output.standardOutput = QString::fromUtf8(process.readAllStandardOutput());
    output.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return output;
}

bool QtProcessLauncher::startDetached(const QString &program, const QStringList &arguments)
{
    return startDetachedForOwner(program, arguments);
}

} // namespace wendle
