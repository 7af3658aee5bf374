#include "platform/mail/AttachmentFile.h"
#include "platform/mail/MailboxWatcher.h"
#include "support/Doubles.h"
#include "support/TestServers.h"
#include "support/WendleInstance.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <ctime>
#include <memory>

using namespace wendle;
using namespace wendle::test;

namespace {

constexpr int WaitMs = 30000;

QByteArray command(const char *from, const char *text)
{
    return QByteArray("From: ") + from + "\r\nTo: computer@example.com\r\nSubject: command\r\n\r\n" + text + "\r\n";
}

// A server that misbehaves in IDLE: real Dovecot behind a proxy on loopback
// that reads the IMAP lines going by and, on the connections that enter IDLE,
// drops the connection a while later, keeps the client's DONE from the server
// (so DONE is never answered), or announces a message (EXISTS) that is
// expunged right after. Connections that never IDLE pass untouched.
class MisbehavingImapServer {
public:
    enum class Trouble { DropsIdle, NeverAnswersDone, AnnouncesExpungedMessage };

    MisbehavingImapServer(quint16 serverPort, Trouble trouble, int dropAfterMs) : m_trouble(trouble), m_dropAfterMs(dropAfterMs)
    {
        m_listener.listen(QHostAddress::LocalHost);
        QObject::connect(&m_listener, &QTcpServer::newConnection, [this, serverPort] {
            while (QTcpSocket *client = m_listener.nextPendingConnection())
                relay(client, serverPort);
        });
    }
    ~MisbehavingImapServer()
    {
        for (const std::shared_ptr<Pair> &pair : m_pairs) {
            QObject::disconnect(pair->client, nullptr, nullptr, nullptr);
            QObject::disconnect(&pair->server, nullptr, nullptr, nullptr);
        }
    }
    QString url() const { return QStringLiteral("imap://127.0.0.1:%1/INBOX").arg(m_listener.serverPort()); }
    // Times the trouble was made: IDLEs dropped, DONEs held back, messages announced.
    int troubles() const { return m_troubles; }

private:
    struct Pair {
        QTcpSocket *client;
        QTcpSocket server;
        QByteArray fromClient;
        QByteArray fromServer;
        bool idling = false;
    };

    void relay(QTcpSocket *client, quint16 serverPort)
    {
        auto pair = std::make_shared<Pair>();
        pair->client = client;
        client->setParent(&m_listener);
        pair->server.connectToHost(QHostAddress::LocalHost, serverPort);
        m_pairs.push_back(pair);
        Pair *p = pair.get();
        const auto close = [p] {
            p->client->abort();
            p->server.abort();
        };
        QObject::connect(client, &QTcpSocket::disconnected, &p->server, close);
        QObject::connect(&p->server, &QTcpSocket::disconnected, client, close);
        QObject::connect(client, &QTcpSocket::readyRead, client, [this, p] { fromClient(*p); });
        QObject::connect(&p->server, &QTcpSocket::readyRead, client, [this, p] { fromServer(*p); });
    }

    void fromClient(Pair &p)
    {
        p.fromClient += p.client->readAll();
        for (qsizetype end; (end = p.fromClient.indexOf("\r\n")) >= 0;) {
            const QByteArray line = p.fromClient.left(end + 2);
            p.fromClient.remove(0, end + 2);
            if (line.toUpper().endsWith(" IDLE\r\n")) {
                p.idling = true;
                if (m_trouble == Trouble::DropsIdle) {
                    QTimer::singleShot(m_dropAfterMs, p.client, [this, client = p.client] {
                        ++m_troubles;
                        client->abort();
                    });
                }
            } else if (line.toUpper() == "DONE\r\n" && m_trouble == Trouble::NeverAnswersDone) {
                ++m_troubles;
                continue;
            }
            p.server.write(line);
        }
    }

    void fromServer(Pair &p)
    {
        p.fromServer += p.server.readAll();
        for (qsizetype end; (end = p.fromServer.indexOf("\r\n")) >= 0;) {
            const QByteArray line = p.fromServer.left(end + 2);
            p.fromServer.remove(0, end + 2);
            p.client->write(line);
            if (line.startsWith('+') && p.idling && m_trouble == Trouble::AnnouncesExpungedMessage) {
                ++m_troubles;
                p.client->write("* 999 EXISTS\r\n* 999 RECENT\r\n");
                QTimer::singleShot(50, p.client, [client = p.client] { client->write("* 999 EXPUNGE\r\n"); });
            }
        }
    }

    QTcpServer m_listener;
    Trouble m_trouble;
    int m_dropAfterMs;
    int m_troubles = 0;
    std::vector<std::shared_ptr<Pair>> m_pairs;
};

class MailboxWatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ImapTestServer::installed())
            GTEST_SKIP() << "Dovecot (dovecot) is not installed; scripts/install-deps installs it";
        ASSERT_TRUE(server.start());
        useTheTestServer();
    }

    void useTheTestServer()
    {
        preferences.setValue("imapUrl", server.url());
        preferences.setValue("imapUser", ImapTestServer::user());
        preferences.setValue("imapPasswordCommand", QStringList{"printf", "%s\\n", ImapTestServer::password()});
        preferences.setValue("remoteEmailAddress", "owner@example.org");
        preferences.setValue("phoneEmailAddress", "5551234567@txt.example.org");
    }

    QString loginLine() const { return "Wendle Log Update:  logged in to the mailbox " + server.url(); }

    // A watcher that, for each mail handed over, runs also, records the mail
    // and answers accept.
    void makeWatcher(std::function<void()> also = [] {})
    {
        const auto handle = [this, also](const InboundMail &mail) {
            also();
            handled << mail;
            return accept;
        };
        watcher = std::make_unique<MailboxWatcher>(preferences, attachments.path(), handle, [this](const QString &line) { log << line; });
    }

    // Polls to the end (flagging what was handled included), rounds times.
    bool poll(int rounds = 1)
    {
        for (int i = 0; i < rounds; ++i) {
            if (!waitFor([&] { return !watcher->isBusy(); }, WaitMs))
                return false;
            const quint64 before = watcher->completedRounds();
            watcher->pollNow();
            if (!waitFor([&] { return watcher->completedRounds() > before && !watcher->isBusy(); }, WaitMs))
                return false;
        }
        return true;
    }

    MemoryPreferences preferences;
    QTemporaryDir attachments;
    ImapTestServer server;
    std::unique_ptr<MailboxWatcher> watcher;
    QList<InboundMail> handled;
    bool accept = true;
    QStringList log;
};

} // namespace

// Only commands are fetched, each handed over once and only then marked
// seen; the owner's other mail and everyone else's stays unseen.
TEST_F(MailboxWatcherTest, OnlyCommandsAreHandedOverOnceAndThenMarkedSeen)
{
    // Three personal messages, then two commands.
    const QByteArray messages[] = {
        command("friend@example.org", "dinner at eight? wndl is what you call that tool"),
        command("Owner <owner@example.org>", "a note to self, no command"),
        "Subject: no sender\r\n\r\nwndl help\r\n",
        command("Owner <owner@example.org>", "wndl find named budget"),
        command("5551234567@txt.example.org", "WNDL email"),
    };
    for (const QByteArray &message : messages)
        ASSERT_TRUE(server.deliver(message));
    QList<QStringList> unseenDuringHandOver;
    makeWatcher([&] { unseenDuringHandOver << server.unseenUids(); }); // fetching must not have flagged it
    ASSERT_TRUE(poll());
    ASSERT_EQ(handled.size(), 2) << str(log.join(u'\n')) << str(server.log());
    EXPECT_EQ(str(handled[0].from), "Owner <owner@example.org>");
    EXPECT_EQ(str(handled[0].text), "wndl find named budget\n");
    EXPECT_EQ(str(handled[1].text.trimmed()), "WNDL email");
    ASSERT_EQ(unseenDuringHandOver.size(), 2);
    EXPECT_TRUE(unseenDuringHandOver[0].contains("4") && unseenDuringHandOver[1].contains("5")) << str(unseenDuringHandOver[1].join(' '));
    ASSERT_TRUE(waitFor([&] { return server.unseenUids() == QStringList{"1", "2", "3"}; }, WaitMs)) << str(log.join(u'\n'));
    ASSERT_TRUE(poll(2));
    EXPECT_EQ(handled.size(), 2) << "a seen message is not handed over again";
    EXPECT_EQ(log, QStringList{loginLine()});
}

TEST_F(MailboxWatcherTest, CommandFolderIsWatchedInsteadOfTheUrlsAndIdleBringsNewCommandsAtOnce)
{
    ASSERT_TRUE(server.deliver(command("owner@example.org", "wndl help"), "Commands"));
    ASSERT_TRUE(server.deliver(command("owner@example.org", "wndl in the inbox")));
    preferences.setValue("imapFolder", "Commands");
    // Polls an hour apart: only IDLE can bring the second command in time.
    preferences.setValue("imapPollSeconds", 3600);
    makeWatcher();
    watcher->start();
    ASSERT_TRUE(waitFor([&] { return handled.size() == 1; }, WaitMs)) << str(log.join(u'\n'));
    ASSERT_TRUE(waitFor([&] { return server.unseenUids("Commands").isEmpty(); }, WaitMs));
    ASSERT_TRUE(server.deliver(command("owner@example.org", "wndl second"), "Commands"));
    ASSERT_TRUE(waitFor([&] { return handled.size() == 2; }, WaitMs)) << str(log.join(u'\n')) << str(server.log());
    EXPECT_EQ(str(handled[1].text.trimmed()), "wndl second");
    EXPECT_EQ(server.unseenUids(), QStringList{"1"});
    watcher->stop();
}

TEST_F(MailboxWatcherTest, AttachmentIsSavedForTheCommand)
{
    makeWatcher();
    // The second makes a 27 MB message; the third finds the folder full and comes without it.
    for (const auto &[size, folderFull] : {std::pair{100000, false}, {20 * 1024 * 1024, false}, {100000, true}}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(!folderFull || writeFile(attachments.filePath("earlier.bin"), {}, wendle::MaxAttachmentFolderBytes));
        const QByteArray pdf = "%PDF-1.4\n" + QByteArray(size, 'p');
        ASSERT_TRUE(server.deliver(mailWithAttachment("wndl fax to 5551212", pdf, "../fax.pdf", "application/pdf")));
        handled.clear();
        ASSERT_TRUE(poll());
        ASSERT_EQ(handled.size(), 1) << str(log.join(u'\n'));
        EXPECT_EQ(handled[0].text, QStringLiteral("wndl fax to 5551212"));
        EXPECT_EQ(log.filter(QStringLiteral("is full; message")).size(), folderFull ? 1 : 0) << str(log.join(u'\n'));
        if (folderFull) {
            EXPECT_TRUE(handled[0].attachmentPath.isEmpty());
            continue;
        }
        EXPECT_EQ(QFileInfo(handled[0].attachmentPath).dir().absolutePath(), QDir(attachments.path()).absolutePath());
        EXPECT_TRUE(readFile(handled[0].attachmentPath) == pdf);
    }
}

// Each problem is logged once however many polls meet it, and its end once.
// A refused command stays unseen and comes again at the next poll.
TEST_F(MailboxWatcherTest, ConnectionProblemsAreReportedOnceAndARefusedCommandComesAgain)
{
    const std::tuple<const char *, QVariantMap, const char *> cases[] = {
        {"wrong password", {{"imapPasswordCommand", QStringList{"printf", "wrong"}}}, "Login denied"},
        {"password command fails", {{"imapPasswordCommand", QStringList{"false"}}}, "password command"},
        {"nobody listening", {{"imapUrl", QStringLiteral("imap://127.0.0.1:%1/INBOX").arg(freeLoopbackPort())}}, "connect"},
        {"no such mailbox", {{"imapUrl", server.url().replace("INBOX", "Nowhere")}}, "refused to open the mailbox"},
    };
    ASSERT_TRUE(server.deliver(command("owner@example.org", "wndl help")));
    accept = false; // once the mailbox reads again, the command comes at each poll but stays unseen
    for (const auto &[name, settings, reason] : cases) {
        SCOPED_TRACE(name);
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            preferences.setValue(it.key(), it.value());
        log.clear();
        handled.clear();
        makeWatcher();
        ASSERT_TRUE(poll(2));
        EXPECT_TRUE(handled.isEmpty());
        ASSERT_EQ(log.size(), 1) << str(log.join(u'\n'));
        EXPECT_TRUE(log.first().contains(QLatin1String(reason), Qt::CaseInsensitive)) << str(log.first());
        useTheTestServer();
        ASSERT_TRUE(poll(2));
        EXPECT_EQ(handled.size(), 2);
        EXPECT_EQ(log.mid(1), QStringList{"Wendle Log Update:  the mailbox " + server.url() + " can be read again"});
    }
    EXPECT_EQ(server.unseenUids(), QStringList{"1"});
}

// Whatever the server does to the IDLE connection, every command comes, once,
// and the watcher does not spin: it uses little CPU while the trouble goes on.
TEST_F(MailboxWatcherTest, IdleTroubleLosesNoCommandAndBurnsNoCpu)
{
    using Trouble = MisbehavingImapServer::Trouble;
    using namespace std::chrono_literals;
    const std::pair<const char *, Trouble> cases[] = {
        {"drops IDLE after a while", Trouble::DropsIdle},
        {"never answers DONE", Trouble::NeverAnswersDone},
        {"announces a message that is then expunged", Trouble::AnnouncesExpungedMessage},
    };
    int serial = 0;
    for (const auto &[name, trouble] : cases) {
        SCOPED_TRACE(name);
        MisbehavingImapServer misbehaving(server.port(), trouble, 400);
        preferences.setValue("imapUrl", misbehaving.url());
        preferences.setValue("imapPollSeconds", 3600); // no help from the polls' timer
        handled.clear();
        makeWatcher();
        // Minutes and seconds of the real thing, shortened alike.
        watcher->setIdleTiming({.cycle = 300ms, .answerWait = 500ms, .firstRetry = 100ms, .longestRetry = 400ms, .healthyIdle = 200ms});
        watcher->start();
        ASSERT_TRUE(waitFor([&] { return misbehaving.troubles() >= 2; }, WaitMs)) << str(log.join(u'\n'));
        const std::clock_t cpuBefore = std::clock(); // the whole process's, every thread's
        QStringList sent;
        for (int i = 0; i < 3; ++i) {
            sent << QStringLiteral("wndl help %1").arg(++serial);
            ASSERT_TRUE(server.deliver(command("owner@example.org", sent.last().toUtf8().constData())));
            ASSERT_TRUE(waitFor([&] { return handled.size() == i + 1; }, WaitMs)) << str(log.join(u'\n'));
        }
        // Ten more rounds of trouble with nothing to fetch.
        const int troubles = misbehaving.troubles();
        ASSERT_TRUE(waitFor([&] { return misbehaving.troubles() >= troubles + 10; }, WaitMs));
        const double cpuUsed = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        QStringList texts;
        for (const InboundMail &mail : handled)
            texts << mail.text.trimmed();
        EXPECT_EQ(texts, sent);
        EXPECT_TRUE(waitFor([&] { return server.unseenUids().isEmpty(); }, WaitMs));
        // A watcher that spins would use a core the whole time: seconds, not this.
        EXPECT_LT(cpuUsed, 1.5) << "CPU seconds used while the server misbehaved";
        watcher.reset();
    }
}
