#include "support/MailServers.h"
#include "support/ParsedMail.h"
#include "support/WendleInstance.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

using namespace wendle::test;

namespace {

constexpr int WaitMs = 30000;
const QString Owner = QStringLiteral("owner@example.com");

// Runs `wendle deliver` with the message on its standard input.
int deliver(const TestSession &session, const QByteArray &message)
{
    QProcess process;
    process.setProcessEnvironment(session.environment());
    process.start(QStringLiteral(WENDLE_BINARY), {QStringLiteral("deliver")});
    process.write(message);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray plainMessage(const QByteArray &headers, const QByteArray &body)
{
    return "To: computer@example.com\r\nSubject: x\r\nMIME-Version: 1.0\r\n" + headers + "\r\n" + body;
}

QByteArray withAttachment(const QByteArray &text, const QByteArray &file)
{
    return plainMessage("From: Owner <owner@example.com>\r\nContent-Type: multipart/mixed; boundary=b1\r\n",
                        "--b1\r\nContent-Type: text/plain\r\n\r\n" + text + "\r\n--b1\r\n"
                        "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"../../evil.bin\"\r\n"
                        "Content-Transfer-Encoding: base64\r\n\r\n" + file.toBase64() + "\r\n--b1--\r\n");
}

class MailPathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!session.isReady())
            GTEST_SKIP() << "dbus-daemon is not available; scripts/install-deps installs it";
    }
    void configure(const QString &key, const QString &value)
    {
        ASSERT_EQ(session.runWendle({QStringLiteral("config"), QStringLiteral("set"), key, value}), 0) << str(key);
    }
    TestSession session;
};

} // namespace

TEST_F(MailPathsTest, DeliverHandsRealMessagesToTheRunningInstance)
{
    EXPECT_EQ(deliver(session, plainMessage("From: owner@example.com\r\n", "wndl find named early\r\n")), 75);

    configure(QStringLiteral("limitCommandsFlag"), QStringLiteral("no"));
    ASSERT_TRUE(session.startDaemon());
    struct Case { const char *name; QByteArray message; int exitCode; const char *term; };
    const Case cases[] = {
        {"attachment", withAttachment("wndl find named attached", QByteArray(5000, '\x01')), 0, "attached"},
        {"html only", plainMessage("From: owner@example.com\r\nContent-Type: text/html\r\n", "<p>Please <b>wndl</b> find named htmlterm</p>"), 0, "htmlterm"},
        {"quoted-printable", plainMessage("From: owner@example.com\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                                          "wndl=20find named qpterm=\r\n"), 0, "qpterm"},
        {"base64", plainMessage("From: owner@example.com\r\nContent-Transfer-Encoding: base64\r\n", QByteArray("wndl find named b64term").toBase64()), 0, "b64term"},
        {"latin-1", plainMessage("From: owner@example.com\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: 8bit\r\n",
                                 "Gr\xfc\xdf" "e: wndl find named isoterm"), 0, "isoterm"},
        {"20 MB", withAttachment("wndl find named bigterm", QByteArray(20 * 1024 * 1024, 'z')), 0, "bigterm"},
        {"no From", plainMessage("", "wndl find named nofrom"), 65, nullptr},
        {"garbage", QByteArray("\x00\xff\xfe garbage \x01\x02", 15), 65, nullptr},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(deliver(session, c.message), c.exitCode) << c.name;
        if (c.term) {
            const QString logged = QStringLiteral("files named:  ") + QLatin1String(c.term);
            EXPECT_TRUE(waitFor([&] { return session.logText().contains(logged); }, WaitMs)) << c.name;
        }
    }
    // The attachment was kept under a name of Wendle's own, inside its folder.
    const QStringList saved = QDir(session.supportFolder() + QLatin1String("/attachments")).entryList(QDir::Files);
    EXPECT_EQ(saved.size(), 2);
    for (const QString &name : saved)
        EXPECT_FALSE(name.contains(QLatin1String(".."))) << str(name);
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_FALSE(session.logText().contains(QLatin1String("nofrom")));
}

// Commands fetched from a real IMAP mailbox, replies sent through a real
// SMTP server: the way the owner connects Wendle to a mail account.
TEST_F(MailPathsTest, MailboxCommandsAreAnsweredBySmtp)
{
    if (!ImapTestServer::installed() || !SmtpTestServer::installed())
        GTEST_SKIP() << "Dovecot or OpenSMTPD is not installed; scripts/install-deps installs them";
    ImapTestServer imap;
    SmtpTestServer smtp;
    QString error;
    ASSERT_TRUE(imap.start(&error)) << str(error);
    ASSERT_TRUE(smtp.start(&error)) << str(error);
    configure(QStringLiteral("imapUrl"), imap.url());
    configure(QStringLiteral("imapUser"), ImapTestServer::user());
    configure(QStringLiteral("imapPasswordCommand"), QStringLiteral("printf %s ") + ImapTestServer::password());
    configure(QStringLiteral("imapPollSeconds"), QStringLiteral("1"));
    configure(QStringLiteral("mailTransport"), QStringLiteral("smtp"));
    configure(QStringLiteral("smtpUrl"), smtp.url());

    ASSERT_TRUE(imap.deliver("From: Eve <eve@example.org>\r\nSubject: x\r\n\r\nwndl find named evil\r\n"));
    ASSERT_TRUE(imap.deliver("From: Owner <owner@example.com>\r\nSubject: x\r\n\r\nwndl find named nothing-like-this\r\n"));
    ASSERT_TRUE(session.startDaemon());

    ASSERT_TRUE(waitFor([&] { return imap.unseenUids().isEmpty(); }, WaitMs)) << str(imap.log());
    ASSERT_TRUE(waitFor([&] { return smtp.deliveredFiles().size() == 1; }, WaitMs)) << str(session.logText());
    QFile delivered(smtp.deliveredFiles().first());
    ASSERT_TRUE(delivered.open(QIODevice::ReadOnly));
    const ParsedMail reply = parseMail(delivered.readAll());
    EXPECT_EQ(reply.subject, QStringLiteral("Wendle Results"));
    EXPECT_EQ(reply.to, QStringList{QStringLiteral("owner@example.com")});
    EXPECT_TRUE(reply.bodyText.startsWith(QStringLiteral("No files found for: nothing-like-this"))) << str(reply.bodyText);
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(session.logText().count(QStringLiteral("Processing command from")), 1);
    EXPECT_FALSE(session.logText().contains(QLatin1String("eve@example.org")));
}

// Replies made while the mail server is down wait in the queue, survive a
// restart of Wendle, and go out once each when the server is back.
TEST_F(MailPathsTest, QueuedRepliesSurviveARestart)
{
    if (!SmtpTestServer::installed())
        GTEST_SKIP() << "OpenSMTPD is not installed; scripts/install-deps installs it";
    SmtpTestServer smtp; // its port is chosen now, the server starts later
    configure(QStringLiteral("mailTransport"), QStringLiteral("smtp"));
    configure(QStringLiteral("smtpUrl"), smtp.url());
    configure(QStringLiteral("limitCommandsFlag"), QStringLiteral("no"));
    const QString queue = session.supportFolder() + QLatin1String("/queue");

    ASSERT_TRUE(session.startDaemon());
    // One search at a time: a new one silences the one still running.
    int replies = 0;
    for (const char *term : {"first", "second"}) {
        ASSERT_EQ(session.runWendle({QStringLiteral("send"), QStringLiteral("--mail"), QStringLiteral("--from"), Owner,
                                     QStringLiteral("wndl find named ") + QLatin1String(term)}), 0);
        ++replies;
        ASSERT_TRUE(waitFor([&] { return QDir(queue).entryList(QDir::Files).size() == replies; }, WaitMs)) << str(session.logText());
    }
    EXPECT_EQ(session.stopDaemon(), 0);

    QString error;
    ASSERT_TRUE(smtp.start(&error)) << str(error);
    ASSERT_TRUE(session.startDaemon());
    ASSERT_TRUE(waitFor([&] { return smtp.deliveredFiles().size() == 2; }, WaitMs)) << str(session.logText());
    EXPECT_TRUE(waitFor([&] { return QDir(queue).entryList(QDir::Files).isEmpty(); }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(smtp.deliveredFiles().size(), 2);
    EXPECT_EQ(QDir(session.supportFolder() + QLatin1String("/sent")).entryList(QDir::Files).size(), 2);
}
