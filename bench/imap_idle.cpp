// How soon a command mailed to the owner's mailbox is answered: an SMTP
// delivery to OpenSMTPD, which stores the message in the Maildir a Dovecot
// serves, until the reply file of a running Wendle (`wendle run`, its IMAP
// watcher on that folder) is complete in its outbox. Two Wendles run side by
// side, each on a folder of its own: one waits in IMAP IDLE (its polls an
// hour apart), the other polls once a second, the peer. Runs are paired and
// start at random moments, so the poll's phase is random as it is in use.
//
// Beside them, an IDLE connection of the bench's own on the IDLE folder shows
// when the server announces the delivery (its EXISTS): that part belongs to
// the server, the rest of the road to Wendle.
//
//   build/bench/bench_imap_idle [rounds]     (default 20)

#include "road.h"

#include "support/TestServers.h"
#include "support/WendleInstance.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>

using namespace wendle::bench;
using namespace wendle::test;

namespace {

// A plain IMAP client that logs in, selects a folder and stays in IDLE,
// noting when the server announces a new message.
class ExistsProbe {
public:
    ~ExistsProbe()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }
    bool open(quint16 port, const QByteArray &folder)
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 || line(5000).isEmpty())
            return false;
        return command("a LOGIN tester secret") && command("b SELECT " + folder) && send("c IDLE") && line(5000).startsWith('+');
    }
    // Forgets what the server said so far.
    void drain()
    {
        while (!line(0).isEmpty()) {}
    }
    // When the next "* N EXISTS" came, or nothing.
    std::optional<double> nextExists(int timeoutMs)
    {
        const double until = nowMs() + timeoutMs;
        for (;;) {
            const double left = until - nowMs();
            if (left <= 0)
                return std::nullopt;
            const QByteArray text = line(int(left) + 1);
            if (text.endsWith(" EXISTS"))
                return nowMs();
        }
    }

private:
    bool send(const QByteArray &text)
    {
        const QByteArray bytes = text + "\r\n";
        return ::send(m_socket, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    bool command(const QByteArray &text)
    {
        if (!send(text))
            return false;
        const QByteArray tag = text.left(text.indexOf(' ') + 1);
        for (QByteArray answer = line(5000); !answer.isEmpty(); answer = line(5000)) {
            if (answer.startsWith(tag))
                return answer.mid(tag.size()).startsWith("OK");
        }
        return false;
    }
    QByteArray line(int timeoutMs)
    {
        const double until = nowMs() + timeoutMs;
        for (;;) {
            const qsizetype end = m_buffer.indexOf("\r\n");
            if (end >= 0) {
                const QByteArray text = m_buffer.left(end);
                m_buffer.remove(0, end + 2);
                return text;
            }
            pollfd descriptor{m_socket, POLLIN, 0};
            if (::poll(&descriptor, 1, std::max(0, int(until - nowMs()))) <= 0)
                return {};
            char chunk[4096];
            const ssize_t length = ::recv(m_socket, chunk, sizeof chunk, 0);
            if (length <= 0)
                return {};
            m_buffer.append(chunk, length);
        }
    }

    int m_socket = -1;
    QByteArray m_buffer;
};

bool setUp(WendleDaemon &wendle, const ImapTestServer &imap, const QString &folder, int pollSeconds)
{
    const std::pair<QString, QString> settings[] = {
        {"imapUrl", imap.url()},
        {"imapFolder", folder},
        {"imapUser", ImapTestServer::user()},
        {"imapPasswordCommand", "printf %s " + ImapTestServer::password()},
        {"imapPollSeconds", QString::number(pollSeconds)},
        {"limitCommandsFlag", "no"},
    };
    for (const auto &[key, value] : settings) {
        if (!wendle.configure(key, value))
            return false;
    }
    return wendle.start();
}

QByteArray command(const QByteArray &to, int serial)
{
    return "From: owner@example.org\r\nTo: " + to + "\r\nSubject: c\r\nMessage-ID: <idle-bench-" + QByteArray::number(serial)
           + "@example.org>\r\n\r\nwndl run backup\r\n";
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    if (!ImapTestServer::installed()) {
        std::puts("dovecot is not installed; scripts/install-deps installs it");
        return 1;
    }
    if (const QString why = SmtpTestServer::unavailable(); !why.isEmpty()) {
        std::puts(qPrintable(why));
        return 1;
    }
    ImapTestServer imap;
    SmtpTestServer smtp;
    // The folders exist before Wendle looks; their first mail is not a command.
    for (const char *folder : {"Idle", "Polled"})
        imap.deliver("From: friend@example.org\r\nSubject: hello\r\n\r\nhi\r\n", folder);
    smtp.deliverDomainInto("idle.example.org", imap.maildir("Idle"));
    smtp.deliverDomainInto("polled.example.org", imap.maildir("Polled"));
    if (!imap.start() || !smtp.start()) {
        std::puts("Dovecot or OpenSMTPD did not start");
        return 1;
    }
    WendleDaemon idle(QStringLiteral(WENDLE_BINARY)), polled(QStringLiteral(WENDLE_BINARY));
    if (!setUp(idle, imap, "Idle", 3600) || !setUp(polled, imap, "Polled", 1)) {
        std::puts("a Wendle did not start");
        return 1;
    }
    FolderWatch idleOutbox(idle.outbox()), polledOutbox(polled.outbox());
    ExistsProbe probe;
    if (!probe.open(imap.port(), "Idle")) {
        std::puts("the bench's own IDLE connection did not open");
        return 1;
    }
    int serial = 0;
    std::vector<double> serverPart;
    std::vector<double> wendlePart;
    const auto mailed = [&](FolderWatch &outbox, const QByteArray &to, bool probed) -> std::optional<double> {
        outbox.clear();
        probe.drain();
        const double start = nowMs();
        if (!smtpDeliver(smtp.port(), "owner@example.org", to, command(to, ++serial)))
            return std::nullopt;
        const std::optional<double> exists = probed ? probe.nextExists(ReplyWaitMs) : std::nullopt;
        const std::optional<double> reply = outbox.next(ReplyWaitMs);
        if (!reply)
            return std::nullopt;
        if (exists) {
            serverPart.push_back(*exists - start);
            wendlePart.push_back(*reply - *exists);
        }
        return *reply - start;
    };
    // Both are logged in and answer before the clock runs.
    if (!mailed(idleOutbox, "wendle@idle.example.org", false) || !mailed(polledOutbox, "wendle@polled.example.org", false)) {
        std::puts("a warm-up command got no reply");
        return 1;
    }
    serverPart.clear();
    wendlePart.clear();
    std::mt19937 random(20261206);
    const std::vector<Road> roads = {
        {"SMTP delivery → reply file, by IDLE (whole road)", [&] { return mailed(idleOutbox, "wendle@idle.example.org", true); }},
        {"SMTP delivery → reply file, polling every 1 s", [&] { return mailed(polledOutbox, "wendle@polled.example.org", false); }},
    };
    const std::vector<RoadFigures> figures = runPaired(roads, rounds, [&] { ::usleep(useconds_t(200000 + random() % 1000000)); });
    printFigures(
        QStringLiteral("a mailed command until its reply file is written, Dovecot and OpenSMTPD on loopback, %1 rounds").arg(rounds),
        figures);
    const Spread server = spreadOf(serverPart), own = spreadOf(wendlePart);
    std::printf("  of the IDLE road: delivery → the server's EXISTS  median %8.2f ms   p10 %8.2f   p90 %8.2f\n", server.median, server.p10,
                server.p90);
    std::printf("                    EXISTS → reply file (Wendle)   median %8.2f ms   p10 %8.2f   p90 %8.2f\n", own.median, own.p10,
                own.p90);
    std::printf("  goal: IDLE at most 100 ms and at most 0.2× the 1 s poll; now %.2f× the poll\n",
                spreadOf(figures[0].ms).median / std::max(1e-9, spreadOf(figures[1].ms).median));
    return 0;
}
