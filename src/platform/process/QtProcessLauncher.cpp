#include "platform/process/ProcessLauncher.h"

#include "platform/process/OwnerUmask.h"

#include <QProcess>
#include <QTimer>

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

bool QtProcessLauncher::start(const QString &program, const QStringList &arguments, Finished finished, int timeoutMs)
{
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setChildProcessModifier([] { restoreOwnerUmask(); });
    process->start(program, arguments);
    process->closeWriteChannel();
    if (!process->waitForStarted()) {
        delete process;
        return false;
    }
    // A tool that hangs is stopped; its end is reported like any other.
    auto *limit = new QTimer(process);
    limit->setSingleShot(true);
    QObject::connect(limit, &QTimer::timeout, process, &QProcess::kill);
    limit->start(timeoutMs);
    QObject::connect(process, &QProcess::finished, process, [process, finished = std::move(finished)] {
        ProcessOutput output;
        output.started = true;
        output.standardOutput = QString::fromUtf8(process->readAll());
        output.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
        process->deleteLater();
        if (finished)
            finished(output);
    });
    return true;
}

} // namespace wendle
