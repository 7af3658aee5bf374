#include "platform/mail/MessageFolder.h"
#include "platform/mail/SmtpMailTransport.h"
#include "support/Doubles.h"
#include "support/TestServers.h"
#include "support/WendleInstance.h"

#include <QLocalServer>
#include <QUuid>

using namespace wendle;
using namespace wendle::test;
using namespace std::chrono_literals;

namespace {

constexpr int DeliveryWaitMs = 30000;

// The replies are told apart by a token in their body, so that a test sees
// only the messages it sent.
class SmtpTransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const QString why = SmtpTestServer::unavailable(); !why.isEmpty())
            GTEST_SKIP() << str(why);
        preferences.setValue("smtpUrl", server.url());
    }

    std::unique_ptr<SmtpMailTransport> makeTransport()
    {
        auto transport = std::make_unique<SmtpMailTransport>(preferences, support.path(), [this](const QString &line) { log << line; });
        transport->setRetryBaseDelay(200ms);
        return transport;
    }

    static OutgoingMail reply(const QString &body)
    {
        return {"owner@example.org", "computer@example.com", "Wendle Results", body, {}, {}, {}};
    }

    MemoryPreferences preferences;
    QTemporaryDir support;
    SmtpTestServer server;
    QStringList log;
    const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
};

} // namespace

TEST_F(SmtpTransportTest, ReplyWithAttachmentArrivesIntact)
{
    // The machine's own smtpd holds the control socket (or seems to: a
    // listener where smtpd would put it, gone with the test); the test server
    // runs beside it in a mount namespace of its own.
    QLocalServer machineSmtpd;
    if (!QFileInfo::exists(QStringLiteral("/run/smtpd.sock"))) {
        ASSERT_TRUE(machineSmtpd.listen(QStringLiteral("/run/smtpd.sock"))) << str(machineSmtpd.errorString());
    }
    ASSERT_TRUE(server.start());
    const QByteArray picture = randomBytes(300000, 11);
    const QString path = support.filePath("snapshot.jpg");
    ASSERT_TRUE(writeFile(path, picture));

    auto transport = makeTransport();
    OutgoingMail mail = reply("Here is the picture ✓ " + token);
    mail.cc = "boss@example.com";
    mail.attachmentPath = path;
    ASSERT_TRUE(transport->send(mail, QStringLiteral("the script")));

    // One copy per recipient lands in the Maildir, as composed (the
    // composer's headers are read back in its own test).
    ASSERT_TRUE(waitFor([&] { return server.delivered(token).size() == 2; }, DeliveryWaitMs)) << str(log.join(u'\n')) << str(server.log());
    for (const ParsedMail &delivered : server.delivered(token)) {
        EXPECT_EQ(delivered.cc, QStringList{"boss@example.com"});
        EXPECT_TRUE(delivered.bodyText.startsWith(mail.body));
        EXPECT_EQ(str(delivered.attachmentName), "snapshot.jpg");
        EXPECT_TRUE(delivered.attachment == picture) << "attachment changed on the way";
    }
    EXPECT_TRUE(waitFor([&] { return messageFiles(transport->queueFolder()).isEmpty(); }, DeliveryWaitMs));
    EXPECT_EQ(messageFiles(transport->sentFolder()).size(), 1);
    EXPECT_TRUE(log.isEmpty()) << str(log.join(u'\n'));
}

TEST_F(SmtpTransportTest, NoPlainTextLoginOffLoopback)
{
    const QString address = nonLoopbackAddress();
    if (address.isEmpty())
        GTEST_SKIP() << "this machine has no address besides loopback to play a remote server on";
    // The same server without TLS, reached once as a remote host: there the
    // link must be encrypted before anything is sent, so the reply waits.
    server.alsoListenOn(address);
    ASSERT_TRUE(server.start());
    preferences.setValue("smtpUrl", QStringLiteral("smtp://%1:%2").arg(address).arg(server.port()));
    preferences.setValue("smtpUser", "computer@example.com");
    preferences.setValue("smtpPasswordCommand", QStringList{"printf", "s3cret"});
    auto transport = makeTransport();
    ASSERT_TRUE(transport->send(reply(token), QString()));
    ASSERT_TRUE(waitFor([&] { return !log.isEmpty(); }, DeliveryWaitMs));
    EXPECT_TRUE(log.first().contains(QLatin1String("STARTTLS"), Qt::CaseInsensitive) // what curl says varies by version
                || log.first().contains(QLatin1String("SSL"), Qt::CaseInsensitive))
        << str(log.first());
    EXPECT_EQ(messageFiles(transport->queueFolder()).size(), 1);
    EXPECT_FALSE(server.log().contains(QLatin1String("authentication")));

    // The same server on loopback takes the reply (it offers no login, so none is tried).
    preferences.setValue("smtpUrl", server.url());
    preferences.remove("smtpUser");
    transport->deliverNow();
    EXPECT_TRUE(waitFor([&] { return server.delivered(token).size() == 1; }, DeliveryWaitMs)) << str(log.join(u'\n'));
}

// A reply that cannot go is logged once with the reason and stays queued, or
// is set aside when no retry can help; nothing is delivered.
TEST_F(SmtpTransportTest, FailuresAreLoggedWithTheReason)
{
    ASSERT_TRUE(server.start());
    struct Case {
        const char *name;
        const char *to;
        QVariantMap settings;
        QStringList reasons;
        bool setAside;
    };
    const Case cases[] = {
        {"recipient refused", "someone@rejected.invalid", {}, {"someone@rejected.invalid", "the server said: 550"}, false},
        {"no recipient", "", {}, {"no recipient"}, true},
        {"no server set", "owner@example.org", {{"smtpUrl", QString()}}, {"smtpUrl is not set"}, false},
        {"wrong scheme", "owner@example.org", {{"smtpUrl", "imap://127.0.0.1:1"}}, {"smtp://"}, false},
        {"password command fails",
         "owner@example.org",
         {{"smtpUser", "me"}, {"smtpPasswordCommand", QStringList{"false"}}},
         {"password command"},
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (auto it = c.settings.cbegin(); it != c.settings.cend(); ++it)
            preferences.setValue(it.key(), it.value());
        log.clear();
        QTemporaryDir folder;
        SmtpMailTransport transport(preferences, folder.path(), [this](const QString &line) { log << line; });
        OutgoingMail mail = reply(token);
        mail.to = c.to;
        ASSERT_TRUE(transport.send(mail, QString()));
        ASSERT_TRUE(waitFor([&] { return !log.isEmpty(); }, DeliveryWaitMs));
        ASSERT_EQ(log.size(), 1) << str(log.join(u'\n'));
        for (const QString &reason : c.reasons)
            EXPECT_TRUE(log.first().contains(reason)) << str(log.first());
        EXPECT_EQ(messageFiles(transport.queueFolder()).size(), c.setAside ? 0 : 1);
        EXPECT_EQ(messageFiles(transport.failedFolder()).size(), c.setAside ? 1 : 0);
        preferences.setValue("smtpUrl", server.url());
        preferences.remove("smtpUser");
    }
    EXPECT_TRUE(server.delivered(token).isEmpty());
}
