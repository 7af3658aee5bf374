#include "support/MailMessages.h"
#include "support/ParsedMail.h"
#include "support/TestKeyring.h"
#include "support/TestServers.h"
#include "support/WendleInstance.h"

#include <QRegularExpression>

using namespace wendle::test;

namespace {

constexpr int WaitMs = 30000;
const QString Owner = "owner@example.org";

class SignedCommandsTest : public SessionTest {
protected:
    static void SetUpTestSuite()
    {
        if (!TestKeyring::installed())
            return;
        keys = new TestKeyring;
        owner = keys->makePhoneKey(Owner);
        other = keys->makeQuickKey("stranger@example.net");
        signOnly = keys->makeQuickKey("signer@example.org", "sign");
    }
    static void TearDownTestSuite() { delete keys; }

    void SetUp() override
    {
        SessionTest::SetUp();
        if (!keys)
            GTEST_SKIP() << "gpg is not installed; scripts/install-deps installs it";
        ASSERT_FALSE(owner.isEmpty() || other.isEmpty() || signOnly.isEmpty());
        session.setVariable("GNUPGHOME", keys->home());
    }

    QByteArray signedMail(const QByteArray &id, const QByteArray &text, const QString &key)
    {
        const QByteArray entity = textEntity(text);
        return headers(id) + "MIME-Version: 1.0\r\n" + multipartSigned(entity, keys->detachSign(key, entity));
    }
    // The running Wendle reads the message and checks it against its own keyring.
    int deliver(const QByteArray &message) { return session.runWendle({"deliver"}, nullptr, nullptr, message); }
    QString refusalOf(const QString &reason) { return "a message from owner@example.org was refused: " + reason; }

    static inline TestKeyring *keys = nullptr;
    static inline QString owner, other, signOnly;
};

} // namespace

// Fingerprints are taken as gpg prints them, and only for keys the keyring holds.
TEST_F(SignedCommandsTest, OwnerKeysMustBeInTheKeyring)
{
    QString spaced;
    for (qsizetype i = 0; i < owner.size(); i += 4)
        spaced += owner.mid(i, 4).toLower() + ' ';
    ASSERT_EQ(session.runWendle({"config", "set", "ownerKeyFingerprints", spaced + ", 0x" + other}), 0);
    QByteArray stored, errors;
    ASSERT_EQ(session.runWendle({"config", "get", "ownerKeyFingerprints"}, &stored), 0);
    EXPECT_EQ(str(QString::fromLatin1(stored)), str(owner + ", " + other + "\n"));
    const QString unknown = QString(40, 'A');
    EXPECT_EQ(session.runWendle({"config", "set", "ownerKeyFingerprints", unknown}, nullptr, &errors), 2);
    EXPECT_EQ(str(QString::fromUtf8(errors)),
              str("wendle config: cannot set ownerKeyFingerprints to \"" + unknown + "\": the key " + unknown + " is not in the keyring "
                  + keys->home() + "; import it first with gpg --import\n"));
    EXPECT_EQ(session.runWendle({"config", "set", "ownerKeyFingerprints", "1234"}, nullptr, &errors), 2);
    EXPECT_TRUE(errors.contains("\"1234\" is not a key fingerprint")) << errors.constData();
}

// The signature on the road: what `wendle deliver` found travels with the
// message, a command signed once runs once, and the running Wendle checks
// against its own keyring. Every way a signature goes wrong is a row of
// MailIntakeTest.OnlyTheOwnersFreshSignatureRunsACommand.
TEST_F(SignedCommandsTest, OnlyTheOwnersFreshSignatureRunsACommand)
{
    ASSERT_TRUE(session.configure(
        {{"limitCommandsFlag", "no"}, {"requireSignedCommands", "yes"}, {"maxCommandAgeMinutes", "60"}, {"ownerKeyFingerprints", owner}}));
    ASSERT_TRUE(session.startDaemon());
    const QByteArray ownerMail = signedMail("ownermime", "wndl find named ownermime", owner);
    EXPECT_EQ(deliver(ownerMail), 0);
    EXPECT_EQ(deliver(signedMail("otherkey", "wndl find named otherkey", other)), 0);
    // What a caller on the bus says of a signature is not taken: it comes unsigned.
    EXPECT_TRUE(session.callInbound("InboundMessage", {{"FromAddress", Owner},
                                                       {"MessageText", "wndl find named forgedterm"},
                                                       {"SignatureState", "good"},
                                                       {"SignatureFingerprint", owner},
                                                       {"SignatureTime", QString::number(QDateTime::currentSecsSinceEpoch())},
                                                       {"SignedText", "wndl find named forgedterm"}}));
    ASSERT_TRUE(waitFor([&] { return session.daemonConsole().count("was refused") >= 2; }, WaitMs)) << str(session.daemonConsole());
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles().size() == 1; }, WaitMs)) << str(session.logText());

    // Sent again, as it was or under a new Message-ID: the signed command is known.
    EXPECT_EQ(deliver(ownerMail), 0);
    EXPECT_EQ(deliver(QByteArray(ownerMail).replace("ownermime@phone", "again@phone")), 0);
    ASSERT_TRUE(waitFor([&] { return session.daemonConsole().contains(refusalOf("its signed command ran before")); }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);

    const QString console = session.daemonConsole(), log = session.logText();
    EXPECT_TRUE(console.contains(refusalOf("a message with its Message-ID <ownermime@phone.example> ran before"))) << str(console);
    EXPECT_TRUE(console.contains(refusalOf("the signature by key " + other + " is not from the owner's key"))) << str(console);
    EXPECT_TRUE(console.contains(refusalOf("the signature is missing"))) << str(console);
    EXPECT_EQ(log.count("files named:  ownermime"), 1);
    EXPECT_FALSE(log.contains("files named:  otherkey") || log.contains("files named:  forgedterm"));
    EXPECT_EQ(session.outboxFiles().size(), 1) << "a refused message is never answered";

    // A missing or broken keyring refuses the owner's command too.
    ASSERT_TRUE(writeFile(session.home() + "/broken/pubring.kbx", randomBytes(4096, 5)));
    const struct {
        const char *term;
        QString keyring, logged;
    } keyrings[] = {
        {"nokeyring", session.home() + "/missing",
         "is not from the owner's key (no such key in the keyring " + session.home() + "/missing)"},
        {"brokenkeyring", session.home() + "/broken", "was refused: the signature"},
    };
    for (const auto &k : keyrings) {
        session.setVariable("GNUPGHOME", k.keyring);
        ASSERT_TRUE(session.startDaemon());
        EXPECT_EQ(deliver(signedMail(k.term, QByteArray("wndl find named ") + k.term, owner)), 0);
        EXPECT_TRUE(waitFor([&] { return session.daemonConsole().contains(k.logged); }, WaitMs)) << k.term << str(session.daemonConsole());
        EXPECT_EQ(session.stopDaemon(), 0);
        EXPECT_FALSE(session.logText().contains(QStringLiteral("files named:  ") + k.term));
    }
    session.setVariable("GNUPGHOME", keys->home());
}

// Every reply goes encrypted to the owner's key, attachment included; with
// a key that cannot encrypt, nothing leaves at all.
TEST_F(SignedCommandsTest, RepliesGoEncryptedOrNotAtAll)
{
    ASSERT_TRUE(writeFile(session.home() + "/budget 2027.txt", "rent 1200\nfood 400\n"));
    ASSERT_TRUE(session.configure({{"limitCommandsFlag", "no"}, {"encryptReplies", "yes"}, {"ownerKeyFingerprints", owner}}));
    ASSERT_TRUE(session.startDaemon());
    const auto openReply = [&](int n) {
        EXPECT_TRUE(waitFor([&] { return session.outboxFiles().size() >= n; }, WaitMs)) << str(session.logText());
        const QByteArray sent = readFile(session.outboxFiles().value(n - 1));
        EXPECT_FALSE(sent.contains("budget")) << "clear text left the computer";
        EXPECT_TRUE(sent.contains("Content-Type: multipart/encrypted")) << sent.constData();
        const qsizetype begin = sent.indexOf("-----BEGIN PGP MESSAGE-----"), end = sent.indexOf("-----END PGP MESSAGE-----");
        return parseMail(keys->decrypt(sent.mid(begin, end + 25 - begin)));
    };
    ASSERT_EQ(session.send(Owner, "wndl find named budget"), 0);
    const ParsedMail list = openReply(1);
    const QRegularExpressionMatch line = QRegularExpression("(\\d\\d1):  budget 2027\\.txt").match(list.bodyText);
    ASSERT_TRUE(line.hasMatch()) << str(list.bodyText);
    ASSERT_EQ(session.send(Owner, "wndl " + line.captured(1)), 0);
    const ParsedMail file = openReply(2);
    EXPECT_EQ(str(file.attachmentName), "budget 2027.txt");
    EXPECT_EQ(file.attachment, QByteArray("rent 1200\nfood 400\n"));

    ASSERT_TRUE(session.configure("ownerKeyFingerprints", signOnly));
    ASSERT_EQ(session.send(Owner, "wndl find named budget"), 0);
    const QString refused = "Wendle Error: the reply to owner@example.org was not sent: encryptReplies is on and the key " + signOnly
                            + " can only sign, not encrypt; nothing went out in clear text";
    EXPECT_TRUE(waitFor([&] { return session.logText().contains(refused); }, WaitMs)) << str(session.logText());
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(session.outboxFiles().size(), 2);
}

// The mailbox watcher checks signatures the same way `wendle deliver` does.
TEST_F(SignedCommandsTest, TheMailboxWatcherChecksSignaturesToo)
{
    if (!ImapTestServer::installed())
        GTEST_SKIP() << "Dovecot is not installed; scripts/install-deps installs it";
    ImapTestServer imap;
    ASSERT_TRUE(imap.start());
    ASSERT_TRUE(session.configure({{"imapUrl", imap.url()},
                                   {"imapUser", ImapTestServer::user()},
                                   {"imapPollSeconds", "1"},
                                   {"imapPasswordCommand", "printf %s " + ImapTestServer::password()},
                                   {"limitCommandsFlag", "no"},
                                   {"requireSignedCommands", "yes"},
                                   {"ownerKeyFingerprints", owner}}));
    ASSERT_TRUE(imap.deliver(signedMail("imapother", "wndl find named imapother", other)));
    ASSERT_TRUE(imap.deliver(signedMail("imapowner", "wndl find named imapowner", owner)));
    ASSERT_TRUE(session.startDaemon());
    ASSERT_TRUE(waitFor([&] { return session.logText().contains("files named:  imapowner"); }, WaitMs)) << str(session.logText());
    EXPECT_TRUE(waitFor(
        [&] { return session.daemonConsole().contains(refusalOf("the signature by key " + other + " is not from the owner's key")); },
        WaitMs))
        << str(session.daemonConsole());
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_FALSE(session.logText().contains("imapother"));
}
