#include "support/TestServers.h"
#include "support/WendleInstance.h"

using namespace wendle::test;

namespace {

constexpr int WaitMs = 30000;

QByteArray plainMessage(const QByteArray &headers, const QByteArray &body)
{
    return "To: computer@example.com\r\nSubject: x\r\nMIME-Version: 1.0\r\n" + headers + "\r\n" + body;
}

int filesIn(const QString &folder)
{
    return int(QDir(folder).entryList(QDir::Files).size());
}

using MailPathsTest = SessionTest;

} // namespace

TEST_F(MailPathsTest, DeliverHandsRealMessagesToTheRunningInstance)
{
    const QByteArray owner = "From: owner@example.com\r\n";
    EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, plainMessage(owner, "wndl find named early\r\n")), 75);

    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    struct Case { const char *name; QByteArray message; int exitCode; const char *term; };
    const Case cases[] = {
        {"attachment", mailWithAttachment("wndl find named attached", QByteArray(5000, '\x01'), "../../evil.bin"), 0, "attached"},
        {"html only", plainMessage(owner + "Content-Type: text/html\r\n", "<p>Please <b>wndl</b> find named htmlterm</p>"), 0, "htmlterm"},
        {"quoted-printable", plainMessage(owner + "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                                          "wndl=20find named qpterm=\r\n"), 0, "qpterm"},
        {"base64", plainMessage(owner + "Content-Transfer-Encoding: base64\r\n", QByteArray("wndl find named b64term").toBase64()), 0, "b64term"},
        {"latin-1", plainMessage(owner + "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: 8bit\r\n",
                                 "Gr\xfc\xdf" "e: wndl find named isoterm"), 0, "isoterm"},
        {"20 MB", mailWithAttachment("wndl find named bigterm", QByteArray(20 * 1024 * 1024, 'z'), "../../evil.bin"), 0, "bigterm"},
        {"no From", plainMessage("", "wndl find named nofrom"), 65, nullptr},
        {"garbage", QByteArray("\x00\xff\xfe garbage \x01\x02", 15), 65, nullptr},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, c.message), c.exitCode) << c.name;
        if (c.term) {
            const QString logged = QStringLiteral("files named:  ") + QLatin1String(c.term);
            EXPECT_TRUE(waitFor([&] { return session.logText().contains(logged); }, WaitMs)) << c.name;
        }
    }
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_FALSE(session.logText().contains("nofrom"));
}

// Commands fetched from a real IMAP mailbox, replies sent through a real
// SMTP server: the way the owner connects Wendle to a mail account.
TEST_F(MailPathsTest, MailboxCommandsAreAnsweredBySmtp)
{
    if (!ImapTestServer::installed() || !SmtpTestServer::installed())
        GTEST_SKIP() << "Dovecot or OpenSMTPD is not installed; scripts/install-deps installs them";
    ImapTestServer imap;
    SmtpTestServer smtp;
    ASSERT_TRUE(imap.start());
    ASSERT_TRUE(smtp.start());
    for (const auto &[key, value] : {std::pair<QString, QString>{"imapUrl", imap.url()},
                                     {"imapUser", ImapTestServer::user()},
                                     {"imapPasswordCommand", "printf %s " + ImapTestServer::password()},
                                     {"imapPollSeconds", "1"},
                                     {"mailTransport", "smtp"},
                                     {"smtpUrl", smtp.url()},
                                     // A watcher does not start on the example addresses.
                                     {"phoneEmailAddress", ""},
                                     {"remoteEmailAddress", "me@owner.example"}})
        ASSERT_TRUE(session.configure(key, value)) << str(key);

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
    if (!SmtpTestServer::installed())
        GTEST_SKIP() << "OpenSMTPD is not installed; scripts/install-deps installs it";
    SmtpTestServer smtp; // its port is chosen now, the server starts later
    ASSERT_TRUE(session.configure("mailTransport", "smtp"));
    ASSERT_TRUE(session.configure("smtpUrl", smtp.url()));
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    const QString queue = session.supportFolder() + "/queue";

    ASSERT_TRUE(session.startDaemon());
    // One search at a time: a new one silences the one still running.
    for (const int replies : {1, 2}) {
        ASSERT_EQ(session.send("owner@example.com", QStringLiteral("wndl find named term%1").arg(replies)), 0);
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
    for (const auto &[key, value] : {std::pair<QString, QString>{"imapUrl", imap.url()},
                                     {"imapUser", ImapTestServer::user()},
                                     {"imapPasswordCommand", "printf %s " + ImapTestServer::password()}})
        ASSERT_TRUE(session.configure(key, value)) << str(key);
    ASSERT_TRUE(imap.deliver("From: =?UTF-8?B?SsO8cmdlbiBNw7xsbGVy?= <jm@example.de>\r\n"
                             "Subject: =?utf-8?Q?Gr=C3=BC=C3=9Fe_aus?= =?utf-8?Q?_Berlin?=\r\n\r\nHallo\r\n"));
    ASSERT_TRUE(imap.deliver("From: bob@example.org\r\nSubject: =?ISO-8859-1?Q?caf=E9?=\r\n\r\nhi\r\n"));
    ASSERT_TRUE(session.startDaemon());
    ASSERT_EQ(session.send("owner@example.com", "wndl email"), 0);
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles().size() == 1; }, WaitMs)) << str(session.logText());
    const ParsedMail reply = parseMail(readFile(session.outboxFiles().first()));
    EXPECT_TRUE(reply.bodyText.startsWith("Wendle: 2 new\n- Jürgen Mü\nGrüße aus B\n- bob@examp\ncafé\n")) << str(reply.bodyText);
    EXPECT_EQ(imap.unseenUids(), (QStringList{"1", "2"}));
    EXPECT_EQ(session.stopDaemon(), 0);
}
