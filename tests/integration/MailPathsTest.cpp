#include "support/TestServers.h"
#include "support/WendleInstance.h"

using namespace wendle::test;

namespace {

constexpr int WaitMs = 30000;

int filesIn(const QString &folder)
{
    return int(QDir(folder).entryList(QDir::Files).size());
}

class MailPathsTest : public SessionTest {
protected:
    static QString mailServersUnavailable()
    {
        return ImapTestServer::installed() ? SmtpTestServer::unavailable()
                                           : QStringLiteral("Dovecot is not installed; scripts/install-deps installs it");
    }
    // The owner's mail account: commands from the IMAP server, replies by SMTP.
    ::testing::AssertionResult useMailAccount(const ImapTestServer &imap, const SmtpTestServer &smtp)
    {
        return session.configure({{"imapUrl", imap.url()},
                                  {"imapUser", ImapTestServer::user()},
                                  {"imapPasswordCommand", "printf %s " + ImapTestServer::password()},
                                  {"imapPollSeconds", "1"},
                                  {"mailTransport", "smtp"},
                                  {"smtpUrl", smtp.url()},
                                  {"phoneEmailAddress", ""},
                                  {"remoteEmailAddress", "me@owner.example"}});
    }
};

} // namespace

// Commands fetched from a real IMAP mailbox, replies sent through a real
// SMTP server: the way the owner connects Wendle to a mail account.
TEST_F(MailPathsTest, MailboxCommandsAreAnsweredBySmtp)
{
    if (const QString why = mailServersUnavailable(); !why.isEmpty())
        GTEST_SKIP() << str(why);
    ImapTestServer imap;
    SmtpTestServer smtp;
    ASSERT_TRUE(imap.start());
    ASSERT_TRUE(smtp.start());
    ASSERT_TRUE(useMailAccount(imap, smtp));

    ASSERT_TRUE(imap.deliver("From: Eve <eve@example.org>\r\nSubject: x\r\n\r\nwndl find named evil\r\n"));
    ASSERT_TRUE(imap.deliver("From: Owner <me@owner.example>\r\nSubject: x\r\n\r\nwndl find named nothing-like-this\r\n"));
    ASSERT_TRUE(session.startDaemon());

    // The command is marked seen once handled; the stranger's mail is not Wendle's to touch.
    ASSERT_TRUE(waitFor([&] { return imap.unseenUids() == QStringList{"1"}; }, WaitMs)) << str(imap.log());
    ASSERT_TRUE(waitFor([&] { return smtp.delivered().size() == 1; }, WaitMs)) << str(session.logText());
    const ParsedMail reply = smtp.delivered().first();
    EXPECT_EQ(str(reply.subject), "Wendle Results");
    EXPECT_EQ(reply.to, QStringList{"me@owner.example"});
    EXPECT_TRUE(reply.bodyText.startsWith("Wendle: no files found for: nothing-like-this")) << str(reply.bodyText);
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(session.logText().count("Processing command from"), 1);
    EXPECT_FALSE(session.logText().contains("eve@example.org"));
}

// Replies made while the mail server is down wait in the queue, survive a
// restart of Wendle, and go out once each when the server is back.
TEST_F(MailPathsTest, QueuedRepliesSurviveARestart)
{
    if (const QString why = SmtpTestServer::unavailable(); !why.isEmpty())
        GTEST_SKIP() << str(why);
    SmtpTestServer smtp; // its port is chosen now, the server starts later
    ASSERT_TRUE(session.configure({{"mailTransport", "smtp"}, {"smtpUrl", smtp.url()}, {"limitCommandsFlag", "no"}}));
    const QString queue = session.supportFolder() + "/queue";

    ASSERT_TRUE(session.startDaemon());
    // One search at a time: a new one silences the one still running.
    for (const int replies : {1, 2}) {
        ASSERT_EQ(session.send("owner@example.org", QStringLiteral("wndl find named term%1").arg(replies)), 0);
        ASSERT_TRUE(waitFor([&] { return filesIn(queue) == replies; }, WaitMs)) << str(session.logText());
    }
    EXPECT_EQ(session.stopDaemon(), 0);

    ASSERT_TRUE(smtp.start());
    ASSERT_TRUE(session.startDaemon());
    ASSERT_TRUE(waitFor([&] { return smtp.delivered().size() == 2; }, WaitMs)) << str(session.logText());
    EXPECT_TRUE(waitFor([&] { return filesIn(queue) == 0; }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(smtp.delivered().size(), 2);
    EXPECT_EQ(filesIn(session.supportFolder() + "/sent"), 2);
}

// With an IMAP account, "wndl email" reports the unseen mail there and leaves
// it unseen.
TEST_F(MailPathsTest, MailCheckReportsTheImapMailboxWithoutMarkingIt)
{
    if (!ImapTestServer::installed())
        GTEST_SKIP() << "Dovecot is not installed; scripts/install-deps installs it";
    ImapTestServer imap;
    ASSERT_TRUE(imap.start());
    ASSERT_TRUE(session.configure({{"imapUrl", imap.url()},
                                   {"imapUser", ImapTestServer::user()},
                                   {"imapPasswordCommand", "printf %s " + ImapTestServer::password()}}));
    ASSERT_TRUE(imap.deliver("From: =?UTF-8?B?SsO8cmdlbiBNw7xsbGVy?= <jm@example.de>\r\n"
                             "Subject: =?utf-8?Q?Gr=C3=BC=C3=9Fe_aus?= =?utf-8?Q?_Berlin?=\r\n\r\nHallo\r\n"));
    ASSERT_TRUE(imap.deliver("From: bob@example.org\r\nSubject: =?ISO-8859-1?Q?caf=E9?=\r\n\r\nhi\r\n"));
    ASSERT_TRUE(session.startDaemon());
    ASSERT_EQ(session.send("owner@example.org", "wndl email"), 0);
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles().size() == 1; }, WaitMs)) << str(session.logText());
    const ParsedMail reply = parseMail(readFile(session.outboxFiles().first()));
    EXPECT_TRUE(reply.bodyText.startsWith("Wendle: 2 new\n- Jürgen Mü\nGrüße aus B\n- bob@examp\ncafé\n")) << str(reply.bodyText);
    EXPECT_EQ(imap.unseenUids(), (QStringList{"1", "2"}));
    EXPECT_EQ(session.stopDaemon(), 0);
}

// Servers with certificates of their own: trusted through mailTrustedCertificate
// for both roads, refused without it, with the setting named in the reason.
TEST_F(MailPathsTest, AServerCertificateOfItsOwnIsTrustedThroughTheSetting)
{
    if (const QString why = mailServersUnavailable(); !why.isEmpty())
        GTEST_SKIP() << str(why);
    ImapTestServer imap;
    SmtpTestServer smtp;
    imap.useTls();
    smtp.useTls();
    ASSERT_TRUE(imap.start());
    ASSERT_TRUE(smtp.start());
    ASSERT_TRUE(useMailAccount(imap, smtp));
    const QString hint = "the server's certificate does not verify: ";
    const QString setting = "; set mailTrustedCertificate to trust it";
    // One file may hold several certificates, here one per server.
    const QString both = session.home() + "/mail-servers.pem";
    ASSERT_TRUE(writeFile(both, readFile(imap.certificate()) + readFile(smtp.certificate())));
    struct Case {
        QString certificate;
        bool trusted;
    };
    const Case cases[] = {{"", false}, {both, true}};
    int command = 0;
    for (const Case &c : cases) {
        ASSERT_TRUE(session.configure("mailTrustedCertificate", c.certificate));
        const QString term = QStringLiteral("nothing-like-%1").arg(++command);
        ASSERT_TRUE(imap.deliver(("From: me@owner.example\r\nSubject: x\r\n\r\nwndl find named " + term + "\r\n").toUtf8()));
        const auto attempts = [&] { return session.logText().count("SMTP delivery of the reply"); };
        const qsizetype before = attempts();
        const qsizetype refusals = session.logText().count(setting);
        ASSERT_TRUE(session.startDaemon());
        if (c.trusted) {
            // IMAP: the command is fetched and marked seen.
            EXPECT_TRUE(waitFor([&] { return imap.unseenUids().isEmpty(); }, WaitMs)) << str(session.logText());
            // SMTP: the certificate is accepted. Debian 12's OpenSMTPD 6.8 then
            // breaks off its side of the handshake under OpenSSL 3 ("EVP lib" in
            // its log), so the replies are judged by the attempt, not by arrival.
            EXPECT_TRUE(waitFor([&] { return !smtp.delivered(term).isEmpty() || attempts() > before; }, WaitMs)) << str(session.logText());
            EXPECT_EQ(session.logText().count(setting), refusals) << str(session.logText());
        } else {
            // Neither road goes on; the status and the log say why.
            QByteArray status;
            EXPECT_TRUE(waitFor(
                [&] {
                    return session.runWendle({"status"}, &status) == 0
                           && status.contains(("mail: cannot read " + imap.url() + ": " + hint).toUtf8());
                },
                WaitMs))
                << status.constData();
            EXPECT_TRUE(status.contains(setting.toUtf8())) << status.constData();
            EXPECT_EQ(imap.unseenUids(), QStringList{"1"});
            // A reply waits in the queue while SMTP refuses the server.
            ASSERT_EQ(session.send("me@owner.example", "wndl find named queued"), 0);
            EXPECT_TRUE(waitFor([&] { return session.logText().contains(hint) && session.logText().count(setting) >= 2; }, WaitMs))
                << str(session.logText());
            EXPECT_TRUE(smtp.delivered().isEmpty());
        }
        EXPECT_EQ(session.stopDaemon(), 0);
    }
}
