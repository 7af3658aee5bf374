#include "support/ParsedMail.h"
#include "support/WendleInstance.h"

using namespace wendle::test;

namespace {

constexpr int WaitMs = 30000;

QByteArray message(const QByteArray &headers, const QByteArray &term)
{
    return headers + "Subject: x\r\n\r\nwndl find named " + term + "\r\n";
}

using OwnerOnlyTest = SessionTest;

} // namespace

TEST_F(OwnerOnlyTest, OptionalSenderChecksAddToTheAddressTest)
{
    ASSERT_TRUE(session.configure({{"limitCommandsFlag", "no"}, {"authservId", "mx.owner.example"}}));
    ASSERT_TRUE(session.startDaemon());
    const QByteArray owner = "From: Owner <owner@example.com>\r\n";
    const QByteArray dkimPass = "Authentication-Results: mx.owner.example; dkim=pass header.d=example.com header.s=s1\r\n";
    struct Case { const char *setting; const char *value; QByteArray headers; const char *term; bool runs; };
    const Case cases[] = {
        // The address test alone, as it always was: containment.
        {nullptr, nullptr, "From: owner@example.com.evil.example\r\n", "plainsuffix", true},
        {nullptr, nullptr, "From: \"owner@example.com\" <attacker@evil.example>\r\n", "plainname", true},
        {"strictSenderMatch", "yes", "From: owner@example.com.evil.example\r\n", "strictsuffix", false},
        {"strictSenderMatch", "yes", "From: \"owner@example.com\" <attacker@evil.example>\r\n", "strictname", false},
        {"strictSenderMatch", "yes", "From: Owner <OWNER@example.com>\r\n", "strictowner", true},
        {"strictSenderMatch", "no", "", "", true},
        {"requireAuthenticatedSender", "yes", owner, "noresults", false},
        {"requireAuthenticatedSender", "yes", owner + dkimPass, "dkimpass", true},
        {"requireAuthenticatedSender", "yes", owner + "Authentication-Results: mx.owner.example; dkim=fail header.d=example.com; spf=pass smtp.mailfrom=bounce@example.com\r\n", "spfpass", true},
        {"requireAuthenticatedSender", "yes", owner + "Authentication-Results: mx.evil.example; dkim=pass header.d=example.com\r\n", "otherserver", false},
        {"requireAuthenticatedSender", "yes", owner + "Authentication-Results: mx.owner.example; dkim=pass header.d=evil.example\r\n", "otherdomain", false},
        {"requireAuthenticatedSender", "yes", owner + "Authentication-Results: mx.owner.example; dkim=pass (header.d=example.com) header.d=evil.example\r\n", "comment", false},
        {"requireAuthenticatedSender", "no", "", "", true},
        {"commandSecret", "Open-Sesame", owner, "nosecret", false},
        {"commandSecret", "Open-Sesame", "From: owner@example.com\r\nSubject: x\r\n\r\nwndl open-sesame find named secretterm\r\n", nullptr, true},
        {"commandSecret", "Open-Sesame", "From: eve@evil.example\r\nSubject: x\r\n\r\nwndl open-sesame find named evesecret\r\n", nullptr, false},
    };
    for (const Case &c : cases) {
        if (c.setting) {
            ASSERT_TRUE(session.configure(c.setting, c.value)) << c.setting;
        }
        if (c.headers.isEmpty())
            continue;
        const QByteArray mail = c.term ? message(c.headers, c.term) : c.headers;
        EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, mail), 0) << c.headers.constData();
    }
    ASSERT_TRUE(session.configure("commandSecret", ""));
    ASSERT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, message(owner, "lastone")), 0);
    ASSERT_TRUE(waitFor([&] { return session.logText().contains("files named:  lastone"); }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);

    const QString log = session.logText();
    for (const Case &c : cases) {
        if (!c.headers.isEmpty() && c.term && *c.term) {
            EXPECT_EQ(log.contains(QStringLiteral("files named:  ") + c.term), c.runs) << c.term;
        }
    }
    EXPECT_TRUE(log.contains("files named:  secretterm"));
    EXPECT_FALSE(log.contains("evesecret"));
    EXPECT_FALSE(log.contains("sesame", Qt::CaseInsensitive)) << "the secret is never logged";
}

// An empty address admits nobody, an empty sender included; so does an
// address stored by hand that is not one whole address.
TEST_F(OwnerOnlyTest, AnEmptyOrBrokenAddressAdmitsNobody)
{
    ASSERT_TRUE(session.configure({{"limitCommandsFlag", "no"}, {"phoneEmailAddress", ""}, {"remoteEmailAddress", ""}}));
    ASSERT_TRUE(session.startDaemon());
    EXPECT_TRUE(session.callInbound("InboundMessage", {{"FromAddress", ""}, {"MessageText", "wndl find named emptysender"}}));
    EXPECT_EQ(session.stopDaemon(), 0);

    // The last line of the file is in its [General] section.
    ASSERT_EQ(session.runWendle({"config", "unset", "remoteEmailAddress"}), 0);
    QFile settings(session.home() + "/config/wendle/wendle.conf");
    ASSERT_TRUE(settings.open(QIODevice::Append));
    settings.write("remoteEmailAddress=.\n");
    settings.close();
    ASSERT_TRUE(session.startDaemon());
    EXPECT_TRUE(session.callInbound("InboundMessage", {{"FromAddress", "eve@evil.example"}, {"MessageText", "wndl find named dotsender"}}));
    ASSERT_TRUE(session.configure("remoteEmailAddress", "owner@example.com"));
    EXPECT_EQ(session.send("owner@example.com", "wndl find named lastone"), 0);
    ASSERT_TRUE(waitFor([&] { return session.logText().contains("lastone"); }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);
    for (const char *term : {"emptysender", "dotsender"})
        EXPECT_FALSE(session.logText().contains(term)) << term;
}

TEST_F(OwnerOnlyTest, AMailboxWatcherWaitsForTheOwnersOwnAddresses)
{
    ASSERT_TRUE(session.configure("imapUrl", "imap://127.0.0.1:9/INBOX"));
    ASSERT_TRUE(session.startDaemon());
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_TRUE(session.logText().contains("the mailbox watcher does not start: the allowed senders are still the example "
                                           "addresses (remoteEmailAddress, phoneEmailAddress)"))
        << str(session.logText());

    ASSERT_TRUE(session.configure({{"phoneEmailAddress", ""}, {"remoteEmailAddress", "me@owner.example"}}));
    ASSERT_TRUE(session.startDaemon());
    EXPECT_TRUE(waitFor([&] { return session.logText().contains("cannot read the mailbox"); }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(session.logText().count("the mailbox watcher does not start"), 1);
}

TEST_F(OwnerOnlyTest, OneInstancePerDataFolderWhateverTheBus)
{
    ASSERT_TRUE(session.startDaemon());
    TestSession otherBus;
    ASSERT_TRUE(otherBus.isReady());
    QProcess second;
    QProcessEnvironment environment = session.environment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", otherBus.busAddress());
    second.setProcessEnvironment(environment);
    endWithTheTest(second);
    second.start(QStringLiteral(WENDLE_BINARY), {"run", "--headless"});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 1);
    const QString errors = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(errors.contains(QStringLiteral("Wendle is already running for the data folder %1: process ").arg(session.supportFolder())))
        << str(errors);
    EXPECT_EQ(session.stopDaemon(), 0);
}

TEST_F(OwnerOnlyTest, AFileWhereTheDataFolderBelongsIsLeftAlone)
{
    ASSERT_TRUE(writeFile(session.supportFolder(), "the owner's notes"));
    QProcess daemon;
    daemon.setProcessEnvironment(session.environment());
    endWithTheTest(daemon);
    daemon.start(QStringLiteral(WENDLE_BINARY), {"run", "--headless"});
    ASSERT_TRUE(waitFor([&] { return daemon.readAllStandardError().contains("is not a folder"); }, WaitMs));
    // Running on without a log: commands still arrive.
    EXPECT_EQ(session.send("owner@example.com", "wndl cal 12 may"), 0);
    EXPECT_EQ(daemon.state(), QProcess::Running);
    daemon.terminate();
    EXPECT_TRUE(daemon.waitForFinished(15000));
    EXPECT_EQ(readFile(session.supportFolder()), QByteArray("the owner's notes"));
}
