// Floods a running Wendle (its own session bus and home, the hourly limit on
// as by default) with owner's commands and reports messages per second:
//  - through `wendle deliver`, one process per message as a delivery agent
//    runs it, against the same number of `cat > /dev/null` processes fed the
//    same message (the cost of starting a process and piping a message);
//  - through D-Bus calls of InboundMessage, against the same number of
//    org.freedesktop.DBus.Peer.Ping calls to Wendle (a bare round trip).
// A flood counts as done when every message has reached the log. Also prints
// Wendle's resident memory before and after.
//
// usage: bench_flood WENDLE_BINARY [MESSAGES]

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

QProcessEnvironment environmentFor(const QString &home, const QString &bus)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    return env;
}

qint64 residentKilobytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

int logEntries(const QString &home)
{
    QFile log(home + "/data/wendle/wendle.log");
    QFile old(home + "/data/wendle/wendle_old.log");
    int count = 0;
    for (QFile *file : {&log, &old}) {
        if (file->open(QIODevice::ReadOnly))
            count += int(file->readAll().count("Processing command from"));
    }
    return count;
}

bool waitForEntries(const QString &home, int expected)
{
    QElapsedTimer timer;
    timer.start();
    while (logEntries(home) < expected) {
        if (timer.elapsed() > 600000)
            return false;
        QThread::msleep(5);
    }
    return true;
}

double runProcesses(const QString &program, const QStringList &arguments, const QProcessEnvironment &env, const QByteArray &input,
                    int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(60000);
    }
    return timer.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_flood WENDLE_BINARY [MESSAGES]\n");
        return 2;
    }
    const QString wendle = QString::fromLocal8Bit(argv[1]);
    const int messages = argc > 2 ? std::max(1, atoi(argv[2])) : 300;

    QTemporaryDir home;
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!bus.waitForStarted() || !bus.waitForReadyRead(10000)) {
        std::fprintf(stderr, "bench_flood: cannot start dbus-daemon\n");
        return 1;
    }
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    const QProcessEnvironment env = environmentFor(home.path(), address);

    QProcess daemon;
    daemon.setProcessEnvironment(env);
    daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon.start(wendle, {"run", "--headless"});
    QFile log(home.path() + "/data/wendle/wendle.log");
    for (int i = 0; i < 500 && !(log.exists() && log.size() > 0); ++i)
        QThread::msleep(20);
    const qint64 rssBefore = residentKilobytes(daemon.processId());

    const QByteArray mail = "From: Owner <owner@example.com>\r\nSubject: x\r\n\r\nwndl cal 12 may\r\n";
    // deliver returns once Wendle has the message; the log may still follow.
    const double deliverTotal = runProcesses(wendle, {"deliver"}, env, mail, messages);
    QElapsedTimer drain;
    drain.start();
    const bool delivered = waitForEntries(home.path(), messages);
    const double catSeconds = runProcesses("cat", {}, env, mail, messages);

    QDBusConnection connection = QDBusConnection::connectToBus(address, "bench");
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < messages; ++i) {
        QDBusMessage call =
            QDBusMessage::createMethodCall("org.wendle.Wendle", "/org/wendle/Wendle", "org.wendle.Wendle.Inbound", "InboundMessage");
        call << QVariantMap{{"FromAddress", "owner@example.com"}, {"MessageText", "wndl cal 12 may"}};
        connection.call(call, QDBus::Block, 60000);
    }
    const double dbusCalls = timer.elapsed() / 1000.0;
    const bool taken = waitForEntries(home.path(), 2 * messages);
    const double dbusSeconds = timer.elapsed() / 1000.0;
    timer.restart();
    for (int i = 0; i < messages; ++i) {
        QDBusMessage ping = QDBusMessage::createMethodCall("org.wendle.Wendle", "/org/wendle/Wendle", "org.freedesktop.DBus.Peer", "Ping");
        connection.call(ping, QDBus::Block, 60000);
    }
    const double pingSeconds = timer.elapsed() / 1000.0;
    const qint64 rssAfter = residentKilobytes(daemon.processId());

    std::printf("messages per flood: %d (hourly limit on: the first 5 run, the rest are refused and logged)\n", messages);
    std::printf("wendle deliver: %8.1f messages/s handed over; all in the log after %.2f s more%s\n", messages / deliverTotal,
                drain.elapsed() / 1000.0, delivered ? "" : " (NOT ALL LOGGED)");
    std::printf("  peer cat:     %8.1f processes/s fed the same message\n", messages / catSeconds);
    std::printf("D-Bus calls:    %8.1f messages/s taken, %8.1f messages/s through the log%s\n", messages / dbusCalls,
                messages / dbusSeconds, taken ? "" : " (NOT ALL LOGGED)");
    std::printf("  peer Ping:    %8.1f round trips/s\n", messages / pingSeconds);
    std::printf("resident memory: %lld kB before, %lld kB after\n", rssBefore, rssAfter);

    QDBusConnection::disconnectFromBus("bench");
    daemon.terminate();
    daemon.waitForFinished(15000);
    bus.terminate();
    bus.waitForFinished(5000);
    return delivered && taken ? 0 : 1;
}
