// Times the everyday road of a mistyped command through a running Wendle, the
// way the owner's side starts it, until the usage reply is a complete file in
// the outbox: `wendle send` (a mail rule or chat handler), `wendle deliver` (a
// delivery agent piping the message in), and, to show Wendle's own part, the
// InboundMessage call over a D-Bus connection that is already open. The peers
// are the same trips without Wendle's work: `gdbus call` of a D-Bus Ping to the
// same instance (a process start and a round trip), and the Ping over the open
// connection. Runs are paired (every road once per round, in turn); medians and
// the 10th and 90th percentiles in milliseconds. Every measured command meets a
// log of 248 to 256 KiB, so the log rotates in none.
//
//   build/bench/bench_syntax_error_road [runs [folder [wendle-binary]]]
//
// The instance's home goes in the folder (default: the temporary folder). The
// log and the outbox sync what they write, so on a busy disk the syncs are
// most of the road; on a tmpfs such as /dev/shm only Wendle's own work shows.

#include "road.h"

#include "app/ActivityLog.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace wendle::bench;

namespace {

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
    const QByteArray entry = "\n2026-12-04 (13:35:31): Processing command from owner@example.org";
    while (content.size() + entry.size() < wendle::LogRotationBytes - 16384)
        content += entry;
    file.write(content);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QString binary = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral(WENDLE_BINARY);
    WendleDaemon wendle(binary, folder);
    if (!wendle.busReady() || !wendle.configure("limitCommandsFlag", "no") || !wendle.start()) {
        std::fprintf(stderr, "the session bus or wendle did not start\n");
        return 1;
    }
    const QProcessEnvironment environment = wendle.environment();
    FolderWatch outbox(wendle.outbox());
    QDBusConnection connection = QDBusConnection::connectToBus(wendle.busAddress(), QStringLiteral("bench"));
    QTemporaryDir scratch;
    const QString message = scratch.filePath(QStringLiteral("message.eml"));
    int serial = 0;

    const std::vector<Road> roads = {
        {"wendle send → reply file (whole road)",
         [&] {
             return replyRoad(outbox, wendle.wendle({"send", "--mail", "--from", "owner@example.org", "wndl run backup"}), environment);
         }},
        {"wendle deliver → reply file",
         [&] {
             // Each message its own Message-ID: a message delivered twice runs once.
             QFile file(message);
             file.open(QIODevice::WriteOnly | QIODevice::Truncate);
             file.write("From: owner@example.org\r\nTo: computer@example.org\r\nSubject: c\r\nMessage-ID: <road-"
                        + QByteArray::number(++serial) + "@example.org>\r\n\r\nwndl run backup\r\n");
             file.close();
             return replyRoad(outbox, wendle.wendle({"deliver"}), environment, message);
         }},
        {"gdbus call Peer.Ping (peer: process + D-Bus)",
         [&] {
             return processRoad({"gdbus", "call", "--session", "--dest", "org.wendle.Wendle", "--object-path", "/", "--method",
                                 "org.freedesktop.DBus.Peer.Ping"},
                                environment);
         }},
        {"InboundMessage on an open bus → reply file",
         [&] {
             outbox.clear();
             QDBusMessage call =
                 QDBusMessage::createMethodCall("org.wendle.Wendle", "/org/wendle/Wendle", "org.wendle.Wendle.Inbound", "InboundMessage");
             call << QVariantMap{{"FromAddress", "owner@example.org"}, {"MessageText", "wndl run backup"}};
             const double start = nowMs();
             if (connection.call(call).type() != QDBusMessage::ReplyMessage)
                 return std::optional<double>();
             const std::optional<double> written = outbox.next(ReplyWaitMs);
             return written ? std::optional<double>(*written - start) : std::nullopt;
         }},
        {"Peer.Ping on an open bus (peer: round trip)",
         [&] {
             const double start = nowMs();
             const QDBusMessage reply =
                 connection.call(QDBusMessage::createMethodCall("org.wendle.Wendle", "/", "org.freedesktop.DBus.Peer", "Ping"));
             return reply.type() == QDBusMessage::ReplyMessage ? std::optional<double>(nowMs() - start) : std::nullopt;
         }},
    };
    const QString log = wendle.supportFolder() + QStringLiteral("/wendle.log");
    const std::vector<RoadFigures> figures = runPaired(roads, runs, [&] {
        fillLog(log);
        for (const QFileInfo &file : QDir(wendle.outbox()).entryInfoList(QDir::Files))
            QFile::remove(file.filePath());
    });
    wendle.stop();

    printFigures(QStringLiteral("mistyped command until its reply file is written, 256 KiB log, home in %1, %2 rounds")
                     .arg(QFileInfo(wendle.home()).path())
                     .arg(runs),
                 {figures[0], figures[1], figures[2]});
    printFigures(QStringLiteral("Wendle's own part: the call on an open bus until the reply file (goal: at most 2 ms)"),
                 {figures[3], figures[4]});
    const double own = spreadOf(figures[3].ms).median - spreadOf(figures[4].ms).median;
    std::printf("  own part minus the round trip: %.2f ms%s\n", own, own <= 2.0 ? "" : "  (above the 2 ms goal)");
    return 0;
}
