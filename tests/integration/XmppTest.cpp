#include "support/NotificationServer.h"
#include "support/ProsodyServer.h"
#include "support/TestFiles.h"
#include "support/WendleInstance.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <sys/socket.h>

using namespace wendle::test;

namespace {

const QString LoggedIn = QStringLiteral("logged in to chat as computer@example.test/wendle");
const QString SyntaxError = QStringLiteral("Wendle Syntax Error!");

// Wendle logged in to a private Prosody as the computer's account, talking
// with the owner's account.
class XmppTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped())
            return;
        if (!ProsodyServer::installed())
            GTEST_SKIP() << "prosody or go-sendxmpp is missing; scripts/install-deps installs them";
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(session.configure({{"chatTransport", "xmpp"},
                                       {"hostChatAddress", "computer@example.test"},
                                       {"hostChatPasswordCommand", "echo secret2"},
                                       {"hostChatServer", server.address()},
                                       {"chatTrustedCertificate", server.certificate()},
                                       {"remoteChatAddress", "Owner@Example.test"},
                                       {"limitCommandsFlag", "no"}}));
    }

    int count(const QString &text) const { return session.logText().count(text); }
    QString chatStatus()
    {
        QByteArray output;
        session.runWendle({"status"}, &output);
        return QString::fromUtf8(output).section("\nchat: ", 1, 1).section('\n', 0, 0);
    }
    bool logSays(const QString &text) const
    {
        return waitFor([&] { return session.logText().contains(text) || !session.daemonRunning(); }) && session.daemonRunning();
    }

    ProsodyServer server;
};

// A server that resets each connection as soon as the client has spoken, so
// that Wendle's next write meets a closed socket.
class HangingUpServer {
public:
    HangingUpServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    const linger reset{1, 0};
                    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                    socket->abort();
                    socket->deleteLater();
                });
            }
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }

private:
    QTcpServer m_server;
};

} // namespace

TEST_F(XmppTest, CommandsFromTheOwnersAccountAreAnsweredInTheChat)
{
    ASSERT_TRUE(writeFile(session.home() + "/Documents/budget 2027.txt", "rent 1200\nfood 400\n"));
    ASSERT_TRUE(session.startDaemon());
    ASSERT_TRUE(logSays(LoggedIn));
    OwnerPhone phone(server);
    ASSERT_TRUE(phone.ready());

    // A stranger's command gets nothing; the owner's are answered.
    ASSERT_EQ(server.send("eve", "wndl find named budget"), 0);
    ASSERT_EQ(server.send("owner", "wndl bogus"), 0);
    ASSERT_TRUE(phone.waitFor(SyntaxError)) << phone.received().toStdString();
    ASSERT_EQ(server.send("owner", "wndl find named budget"), 0);
    ASSERT_TRUE(phone.waitFor("budget 2027.txt")) << phone.received().toStdString();
    const QRegularExpressionMatch line = QRegularExpression("(\\d\\d1):  budget 2027\\.txt").match(phone.received());
    ASSERT_TRUE(line.hasMatch()) << phone.received().toStdString();

    // The file arrives as the address of its upload, holding the same bytes.
    ASSERT_EQ(server.send("owner", ("wndl " + line.captured(1)).toUtf8()), 0);
    ASSERT_TRUE(phone.waitFor("/file_share/")) << phone.received().toStdString();
    const QString url = QRegularExpression("http://127\\.0\\.0\\.1:\\d+/file_share/\\S+").match(phone.received()).captured();
    QByteArray content;
    ASSERT_EQ(session.runProgram("curl", {"-sf", url}, &content), 0) << url.toStdString();
    EXPECT_EQ(content, "rent 1200\nfood 400\n");

    // Odd stanzas neither stop nor confuse it.
    const QByteArray to = "to='computer@example.test'";
    const QByteArray stanzas[] = {
        "<message " + to + " type='chat'><active xmlns='http://jabber.org/protocol/chatstates'/></message>",
        // A flood of what the log names only a few times an hour.
        QByteArray("<message " + to + " type='weird'><body>wndl bogus</body></message>").repeated(12),
        "<message " + to + " type='groupchat'><body>wndl bogus</body></message>",
        "<iq " + to + " type='get' id='q1'><query xmlns='jabber:iq:version'/></iq>",
        "<presence " + to + " type='subscribe'/>",
    };
    for (const QByteArray &stanza : stanzas)
        EXPECT_EQ(server.send("owner", stanza, true), 0) << stanza.constData();
    // The peer client sends invalid UTF-8 as U+FFFD: an ordinary mistyped command.
    ASSERT_EQ(server.send("owner", "wndl bogus \xff\xfe\xc3\x28"), 0);
    // A quarter of a megabyte, in lines the peer client can read. A whole
    // megabyte did not reliably reach Wendle through that client.
    ASSERT_EQ(server.send("owner", "wndl bogus\n" + (QByteArray(60000, 'a') + '\n').repeated(4)), 0);
    ASSERT_EQ(server.send("owner", "wndl bogus"), 0);
    ASSERT_TRUE(waitFor([&] { return phone.received().count(SyntaxError) == 4; })) << phone.received().left(2000).toStdString();

    // After the server restarts the next command is answered.
    EXPECT_TRUE(chatStatus().startsWith("xmpp, connected as computer@example.test/wendle since ")) << chatStatus().toStdString();
    server.stop();
    ASSERT_TRUE(logSays("the chat connection of computer@example.test/wendle was lost"));
    EXPECT_TRUE(chatStatus().startsWith("xmpp, disconnected since ")) << chatStatus().toStdString();
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(logSays("the chat connection of computer@example.test/wendle is back"));
    OwnerPhone phoneAgain(server);
    ASSERT_TRUE(phoneAgain.ready());
    ASSERT_EQ(server.send("owner", "wndl bogus"), 0);
    EXPECT_TRUE(phoneAgain.waitFor(SyntaxError)) << phoneAgain.received().toStdString();

    EXPECT_EQ(session.stopDaemon(), 0);
    // One line for the outage and one for its end, however many tries it took.
    EXPECT_EQ(count("was lost"), 1);
    EXPECT_EQ(count("is back"), 1);
    EXPECT_EQ(count("Processing command received by chat"), 7);
    EXPECT_EQ(count("ignored a chat message from eve@example.test"), 1);
    EXPECT_EQ(count("ignored a chat message of unknown type \"weird\" from owner@example.test"), 5);
    EXPECT_EQ(count("7 more chat messages of unknown types were left out of the log"), 1);
}

// A command by XMPP is shown at the desk with the account (and device) it
// came from, as the chat server authenticated it.
TEST_F(XmppTest, ACommandByChatIsShownAtTheDesk)
{
    if (!NotificationServer::installed())
        GTEST_SKIP() << "Xvfb or dunst is missing; scripts/install-deps installs them";
    NotificationServer desk;
    ASSERT_TRUE(desk.start(session));
    ASSERT_TRUE(session.startDaemon());
    ASSERT_TRUE(logSays(LoggedIn));
    ASSERT_EQ(server.send("owner", "wndl cal 12 may"), 0);
    ASSERT_TRUE(waitFor([&] { return !desk.notices().isEmpty(); }));
    const NotificationServer::Notice notice = desk.notices().first();
    EXPECT_EQ(notice.summary, "Wendle: a command came by chat");
    EXPECT_TRUE(notice.body.startsWith("\u201cwndl cal 12 may\u201d from owner@example.test/")) << notice;
    EXPECT_EQ(desk.notices().size(), 1);
    EXPECT_EQ(session.stopDaemon(), 0);
}

TEST_F(XmppTest, LoginProblemsAreReportedOnceAndWendleRunsOn)
{
    const HangingUpServer hangingUp;
    const QString retrying = "xmpp, logging in as computer@example.test/wendle (2 tries have failed)";
    // The last: what `wendle status` says once a second try has failed too.
    struct Case {
        const char *name;
        QString key, value, expected, status;
    };
    const Case cases[] = {
        {"server hangs up", "hostChatServer", hangingUp.address(), "cannot log in to chat as computer@example.test/wendle", retrying},
        {"wrong password", "hostChatPasswordCommand", "echo wrong", "cannot log in to chat as computer@example.test/wendle", retrying},
        {"failing password command", "hostChatPasswordCommand", "false", "hostChatPasswordCommand: the password command false failed",
         retrying},
        {"certificate not trusted", "chatTrustedCertificate", "", "the server's certificate does not verify", retrying},
        {"server down", "hostChatServer", QStringLiteral("127.0.0.1:%1").arg(freeLoopbackPort()), "Connection refused", retrying},
        {"no address", "hostChatAddress", "computer", "chat by XMPP cannot start: hostChatAddress \"computer\" is not a chat address",
         "xmpp, cannot start: hostChatAddress \"computer\" is not a chat address such as wendle@example.org"},
    };
    for (const auto &[name, key, value, expected, status] : cases) {
        SCOPED_TRACE(name);
        QByteArray good;
        ASSERT_EQ(session.runWendle({"config", "get", key}, &good), 0);
        ASSERT_TRUE(session.configure(key, value));
        const int before = count(expected);
        ASSERT_TRUE(session.startDaemon());
        EXPECT_TRUE(logSays(expected)) << session.logText().right(600).toStdString();
        EXPECT_TRUE(waitFor([&] { return chatStatus() == status; })) << chatStatus().toStdString();
        EXPECT_TRUE(session.daemonRunning());
        EXPECT_EQ(session.stopDaemon(), 0);
        EXPECT_EQ(count(expected), before + 1);
        EXPECT_EQ(count(LoggedIn), 0);
        ASSERT_TRUE(session.configure(key, QString::fromUtf8(good).trimmed()));
    }
}
