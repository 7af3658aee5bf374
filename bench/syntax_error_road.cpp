// Times the everyday road of a mistyped command through a running Wendle:
// the D-Bus call, the intake, the parser's syntax error, two log entries on
// a 256 KiB log, the usage reply composed and written to the outbox. The
// floor beside it is a D-Bus ping answered by the same running instance.
//
//   build/bench/bench_syntax_error_road [runs [folder [wendle-binary]]]
//
// The instance's home goes in the folder (default: the temporary folder). The
// log and the outbox sync what they write, so on a busy disk the syncs are
// most of the road; on a tmpfs such as /dev/shm only Wendle's own work shows.

#include "app/ActivityLog.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Refills the log when it is within a few entries of rotating, so every
// measured call meets a log of 248 to 256 KiB and none rotates; between
// refills the log grows by Wendle's own entries, as it does in use.
void fillLog(const QString &path)
{
    if (QFile(path).size() < wendle::LogRotationBytes - 8192 && QFile(path).size() > wendle::LogRotationBytes - 16384)
        return;
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QByteArray content = wendle::LogHeader;
    const QByteArray entry = "\n2026-12-04 (13:35:31): Processing command from owner@example.com";
    while (content.size() + entry.size() < wendle::LogRotationBytes - 16384)
        content += entry;
    file.write(content);
}

bool waitFor(const std::function<bool()> &condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 20000)
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 300;
    const QString binary = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral(WENDLE_BINARY);
    QTemporaryDir home((argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath()) + QStringLiteral("/wendle-bench-XXXXXX"));
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    if (!bus.waitForStarted() || !bus.waitForReadyRead(10000)) {
        std::fprintf(stderr, "dbus-daemon did not start\n");
        return 1;
    }
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("XDG_DATA_HOME", home.path() + "/data");
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    QProcess config;
    config.setProcessEnvironment(env);
    config.start(binary, {"config", "set", "limitCommandsFlag", "no"});
    config.waitForFinished();

    const QString support = home.path() + "/data/wendle";
    QProcess wendle;
    wendle.setProcessEnvironment(env);
    wendle.setStandardOutputFile(QProcess::nullDevice());
    wendle.start(binary, {"run", "--headless"});
    if (!waitFor([&] { QFile log(support + "/wendle.log"); return log.open(QIODevice::ReadOnly) && log.readAll().contains("Wendle started"); })) {
        std::fprintf(stderr, "wendle did not start\n");
        return 1;
    }

    QDBusConnection connection = QDBusConnection::connectToBus(address, QStringLiteral("bench"));
    const QVariantMap command{{"FromAddress", "owner@example.com"}, {"MessageText", "wndl run backup"}};
    QDir outbox(support + "/outbox");
    std::vector<double> road, ping;
    int missing = 0;
    for (int i = 0; i < runs; ++i) {
        fillLog(support + "/wendle.log");
        for (const QString &name : outbox.entryList(QDir::Files))
            outbox.remove(name);
        QDBusMessage call = QDBusMessage::createMethodCall("org.wendle.Wendle", "/org/wendle/Wendle", "org.wendle.Wendle.Inbound", "InboundMessage");
        call << command;
        QElapsedTimer timer;
        timer.start();
        connection.call(call);
        road.push_back(timer.nsecsElapsed() / 1e6);
        if (outbox.entryList(QDir::Files).size() != 1)
            ++missing;

        const QDBusMessage peer = QDBusMessage::createMethodCall("org.wendle.Wendle", "/", "org.freedesktop.DBus.Peer", "Ping");
        timer.restart();
        connection.call(peer);
        ping.push_back(timer.nsecsElapsed() / 1e6);
    }
    wendle.terminate();
    wendle.waitForFinished();
    bus.terminate();
    bus.waitForFinished();

    std::printf("mistyped command to reply file, 256 KiB log, home in %s, %d runs (%d without a reply file)\n", qPrintable(QFileInfo(home.path()).path()), runs, missing);
    std::printf("  D-Bus ping (floor):          median %6.3f ms\n", median(ping));
    std::printf("  syntax-error road:           median %6.3f ms  (goal: at most 2 ms)\n", median(road));
    std::printf("  road minus floor:            %6.3f ms\n", median(road) - median(ping));
    return missing == 0 ? 0 : 1;
}
