// Times one activity-log entry appended to a log just under the rotation
// size (the worst case: the whole 256 KiB is read and written back), against
// the same append done by the shell's `cat log entry > tmp && mv tmp log`,
// the plainest way to replace a file atomically.

#include "app/ActivityLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Runs = 200;

void fillLog(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray content = wendle::LogHeader;
    const QByteArray entry = "\n2026-12-04 (13:35:31): Processing command from owner@example.com";
    while (content.size() + entry.size() < wendle::LogRotationBytes - 200)
        content += entry;
    file.write(content);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("wendle.log"));

    std::vector<double> wendle;
    for (int i = 0; i < Runs; ++i) {
        fillLog(log);
        QElapsedTimer timer;
        timer.start();
        wendle::appendLogEntry(dir.path(), QStringLiteral("Sent message: Here is the file you asked for."), QDateTime::currentDateTime());
        wendle.push_back(timer.nsecsElapsed() / 1e3);
    }

    std::vector<double> shell;
    const QString script = QStringLiteral("cat \"$1\" - > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"");
    for (int i = 0; i < Runs / 4; ++i) {
        fillLog(log);
        QProcess process;
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral("sh"), log});
        process.write("\n2026-12-04 (13:35:31): Sent message: Here is the file you asked for.");
        process.closeWriteChannel();
        process.waitForFinished();
        shell.push_back(timer.nsecsElapsed() / 1e3);
    }

    const double ours = median(wendle);
    const double peer = median(shell);
    std::printf("append one entry to a %lld-byte log\n", static_cast<long long>(QFile(log).size()));
    std::printf("  wendle appendLogEntry: median %.1f us over %d runs\n", ours, Runs);
    std::printf("  sh cat+mv:             median %.1f us over %d runs\n", peer, Runs / 4);
    std::printf("  ratio wendle/peer:     %.2f\n", ours / peer);
    return 0;
}
