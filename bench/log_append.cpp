// Times activity-log entries appended to a log just under the rotation size
// (the worst case: the whole 256 KiB is read and written back), against the
// plainest C that does the same: read the file, write it and the entry to a
// temporary file beside it, sync its data, rename it over the log.
//
//   build/bench/bench_log_append [runs [folder]]
//
// The folder decides what the sync costs: on a disk it dominates both; on a
// tmpfs such as /dev/shm it is free and only the work around it shows.

#include "app/ActivityLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char Entry[] = "\n2026-12-04 (13:35:31): Sent message: Here is the file you asked for.";

// Leaves room for the runs' own entries, so that no run rotates.
void fillLog(const QString &path, int runs)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QByteArray content = wendle::LogHeader;
    const QByteArray entry = "\n2026-12-04 (13:35:31): Processing command from owner@example.com";
    while (content.size() + entry.size() < wendle::LogRotationBytes - 100 * runs)
        content += entry;
    file.write(content);
}

// The floor: what any whole-file, atomic append has to do.
void plainAppend(const char *path, const char *temporary)
{
    const int in = open(path, O_RDONLY);
    struct stat status;
    fstat(in, &status);
    char *buffer = static_cast<char *>(std::malloc(size_t(status.st_size)));
    const ssize_t got = read(in, buffer, size_t(status.st_size));
    close(in);
    const int out = open(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (write(out, buffer, size_t(got)) != got || write(out, Entry, sizeof Entry - 1) < 0)
        std::perror("write");
    fdatasync(out);
    close(out);
    rename(temporary, path);
    std::free(buffer);
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
    const int runs = argc > 1 ? std::atoi(argv[1]) : 300;
    const QString base = (argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath()) + QStringLiteral("/wendle-bench-XXXXXX");
    QTemporaryDir dir(base), plainDir(base);
    const QString log = dir.filePath(QStringLiteral("wendle.log"));
    const QByteArray plainLog = QFile::encodeName(plainDir.filePath(QStringLiteral("wendle.log")));
    const QByteArray temporary = plainLog + ".tmp";
    fillLog(log, runs);
    fillLog(plainDir.filePath(QStringLiteral("wendle.log")), runs);

    // Each log grows by one entry per run, the way Wendle's does; the two
    // are interleaved so both meet the same disk and the same neighbours.
    std::vector<double> ours, plain;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        wendle::appendLogEntry(dir.path(), QStringLiteral("Sent message: Here is the file you asked for."), QDateTime::currentDateTime());
        ours.push_back(timer.nsecsElapsed() / 1e3);

        timer.restart();
        plainAppend(plainLog.constData(), temporary.constData());
        plain.push_back(timer.nsecsElapsed() / 1e3);
    }
    const double a = median(ours), b = median(plain);
    std::printf("%d entries each, appended to a log growing to %lld bytes, in %s\n", runs, static_cast<long long>(QFile(log).size()),
                qPrintable(QFileInfo(dir.path()).path()));
    std::printf("  wendle appendLogEntry:        median %8.1f us\n", a);
    std::printf("  C read, write, fdatasync, mv: median %8.1f us\n", b);
    std::printf("  ratio wendle/C:               %.2f (goal: at most 1.20)\n", a / b);
    return 0;
}
