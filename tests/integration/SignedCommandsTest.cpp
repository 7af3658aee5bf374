#include "support/ParsedMail.h"
#include "support/TestKeyring.h"
#include "support/TestServers.h"
#include "support/WendleInstance.h"

#include <QRegularExpression>

using namespace wendle::test;

namespace {

constexpr int WaitMs = 30000;
const QString Owner = "owner@example.org";

// Messages written out by hand, the way a phone's mail program sends them.
QByteArray headers(const QByteArray &id, const QByteArray &date = QDateTime::currentDateTime().toString(Qt::RFC2822Date).toUtf8())
{
    QByteArray text = "From: owner@example.org\r\nTo: computer@example.com\r\nSubject: x\r\nMessage-ID: <" + id + "@phone.example>\r\n";
    return date.isEmpty() ? text : text + "Date: " + date + "\r\n";
}
QByteArray textEntity(const QByteArray &text)
{
    return "Content-Type: text/plain; charset=utf-8\r\n\r\n" + text + "\r\n";
}
// RFC 3156: the signature covers the first part exactly as it stands between the boundaries.
QByteArray multipartSigned(const QByteArray &entity, const QByteArray &signature, const QByteArray &boundary = "sig")
{
    return "Content-Type: multipart/signed; micalg=pgp-sha512; protocol=\"application/pgp-signature\"; boundary=\"" + boundary
           + "\"\r\n\r\n--" + boundary + "\r\n" + entity + "\r\n--" + boundary
           + "\r\nContent-Type: application/pgp-signature; name=\"signature.asc\"\r\n\r\n" + signature + "\r\n--" + boundary + "--\r\n";
}
// Text and a large base64 attachment in one entity; flip changes one byte of the file.
QByteArray withAttachment(const QByteArray &text, qsizetype bytes, bool flip = false)
{
    QByteArray file = randomBytes(bytes, 9);
    if (flip)
        file[bytes / 2] = char(file[bytes / 2] ^ 1);
    const QByteArray message = mailWithAttachment(text, file, "data.bin", "application/octet-stream");
    return message.mid(message.indexOf("Content-Type: multipart/mixed"));
}
QByteArray crlf(QByteArray text)
{
    return text.replace("\r\n", "\n").replace("\n", "\r\n");
}

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
        const QDateTime past = QDateTime::currentDateTimeUtc().addDays(-3);
        expired = keys->makeQuickKey("expired@example.org", "default", "1d", past);
        expiredSignature = keys->detachSign(expired, textEntity("wndl find named expiredterm"), past.addSecs(3600));
        revoked = keys->makeQuickKey("revoked@example.org");
        revokedSignature = keys->detachSign(revoked, textEntity("wndl find named revokedterm"));
        keys->revoke(revoked);
    }
    static void TearDownTestSuite() { delete keys; }

    void SetUp() override
    {
        SessionTest::SetUp();
        if (!keys)
            GTEST_SKIP() << "gpg is not installed; scripts/install-deps installs it";
        ASSERT_FALSE(owner.isEmpty() || other.isEmpty() || expiredSignature.isEmpty() || revokedSignature.isEmpty());
        session.setVariable("GNUPGHOME", keys->home());
    }

    QByteArray signedMail(const QByteArray &id, const QByteArray &text, const QString &key, const QDateTime &at = {})
    {
        const QByteArray entity = textEntity(text);
        return headers(id) + "MIME-Version: 1.0\r\n" + multipartSigned(entity, keys->detachSign(key, entity, at));
    }
    // The running Wendle reads the message and checks it against its own keyring.
    int deliver(const QByteArray &message) { return session.runWendle({"deliver"}, nullptr, nullptr, message); }
    QString refusalOf(const QString &reason) { return "a message from owner@example.org was refused: " + reason; }

    static inline TestKeyring *keys = nullptr;
    static inline QString owner, other, signOnly, expired, revoked;
    static inline QByteArray expiredSignature, revokedSignature;
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

// Only a good signature by a listed key, fresh and never seen before, runs a
// command; every other message is refused on the console, runs nothing and
// gets no reply, whichever way it went wrong.
TEST_F(SignedCommandsTest, OnlyTheOwnersFreshSignatureRunsACommand)
{
    ASSERT_TRUE(session.configure({{"limitCommandsFlag", "no"},
                                   {"requireSignedCommands", "yes"},
                                   {"maxCommandAgeMinutes", "60"},
                                   {"ownerKeyFingerprints", owner + "," + expired + "," + revoked}}));
    ASSERT_TRUE(session.startDaemon());
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QByteArray signedHello = multipartSigned(textEntity("hello"), keys->detachSign(owner, textEntity("hello")));
    const qsizetype bigFile = 15 << 20; // 20 MB once in base64
    const QByteArray garbage = "-----BEGIN PGP SIGNATURE-----\r\n\r\n" + QByteArray(300, 'A') + "\r\n=AAAA\r\n-----END PGP SIGNATURE-----";
    struct Case {
        const char *term;
        QByteArray message;
        QString logged;
    };
    const Case cases[] = {
        {"ownermime", signedMail("ownermime", "wndl find named ownermime", owner), {}},
        {"ownerinline", headers("ownerinline") + "\r\n" + crlf(keys->clearSign(owner, "wndl find named ownerinline\n")), {}},
        {"otherkey", signedMail("otherkey", "wndl find named otherkey", other),
         refusalOf("the signature by key " + other + " is not from the owner's key")},
        {"unsigned", headers("unsigned") + "\r\nwndl find named unsigned\r\n", refusalOf("the signature is missing")},
        {"tampered",
         headers("tampered")
             + multipartSigned(textEntity("wndl find named tampered"), keys->detachSign(owner, textEntity("wndl find named other"))),
         "the signature is not valid (the signed text does not match its signature)"},
        {"addedmime",
         headers("addedmime") + "Content-Type: multipart/mixed; boundary=mix\r\n\r\n--mix\r\n" + textEntity("wndl find named addedmime")
             + "--mix\r\n" + signedHello + "--mix--\r\n",
         "the message holds a command outside its signed part"},
        {"addedinline", headers("addedinline") + "\r\n" + crlf(keys->clearSign(owner, "hello\n")) + "wndl find named addedinline\r\n",
         "the message holds a command outside its signed part"},
        {"oldterm", signedMail("old", "wndl find named oldterm", owner, now.addSecs(-7200)),
         "the command was signed " + now.addSecs(-7200).toLocalTime().toString("yyyy-MM-dd (HH:mm:ss)")
             + ", older than the 60-minute window"},
        {"futureterm", signedMail("future", "wndl find named futureterm", owner, now.addSecs(3600)), "more than five minutes ahead"},
        // Bad input: each a defined refusal.
        {"bigterm",
         headers("big")
             + multipartSigned(withAttachment("wndl find named bigterm", bigFile, true),
                               keys->detachSign(owner, withAttachment("wndl find named bigterm", bigFile))),
         "the signature is not valid (the signed text does not match its signature)"},
        {"nested", headers("nested") + multipartSigned(multipartSigned(textEntity("wndl find named nested"), "x"), "y", "outer"),
         "the signature is not valid (the message holds 2 signed parts; a command comes in one)"},
        {"garbage", headers("garbage") + multipartSigned(textEntity("wndl find named garbage"), garbage), "the signature is not valid ("},
        {"expiredterm", headers("expired") + multipartSigned(textEntity("wndl find named expiredterm"), expiredSignature),
         "the signature is not valid (the key " + expired + " has expired)"},
        {"revokedterm", headers("revoked") + multipartSigned(textEntity("wndl find named revokedterm"), revokedSignature),
         "the signature is not valid (the key " + revoked + " is revoked)"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(deliver(c.message), 0) << c.term;
    // What a caller on the bus says of a signature is not taken: it comes unsigned.
    EXPECT_TRUE(session.callInbound("InboundMessage", {{"FromAddress", Owner},
                                                       {"MessageText", "wndl find named forgedterm"},
                                                       {"SignatureState", "good"},
                                                       {"SignatureFingerprint", owner},
                                                       {"SignatureTime", QString::number(now.toSecsSinceEpoch())},
                                                       {"SignedText", "wndl find named forgedterm"}}));
    ASSERT_TRUE(waitFor([&] { return session.daemonConsole().count("was refused") >= 13; }, WaitMs)) << str(session.daemonConsole());
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles().size() == 2; }, WaitMs)) << str(session.logText());

    // Sent again, as it was or under a new Message-ID: the signed command is known.
    EXPECT_EQ(deliver(cases[0].message), 0);
    EXPECT_EQ(deliver(QByteArray(cases[0].message).replace("ownermime@phone", "again@phone")), 0);
    const QString repeat = refusalOf("a message with its Message-ID <ownermime@phone.example> ran before");
    ASSERT_TRUE(waitFor([&] { return session.daemonConsole().contains(refusalOf("its signed command ran before")); }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);

    const QString console = session.daemonConsole(), log = session.logText();
    EXPECT_TRUE(console.contains(repeat)) << str(console);
    for (const Case &c : cases) {
        EXPECT_EQ(log.contains(QStringLiteral("files named:  ") + c.term), c.logged.isEmpty()) << c.term;
        EXPECT_TRUE(console.contains(c.logged)) << c.term << ": " << str(console);
    }
    EXPECT_FALSE(log.contains("files named:  forgedterm"));
    EXPECT_EQ(console.count(refusalOf("the signature is missing")), 2) << str(console);
    EXPECT_EQ(session.outboxFiles().size(), 2) << "a refused message is never answered";

    // The running Wendle checks against its keyring: a missing or broken one refuses the owner's command too.
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

// Without signatures the window reads the Date header, and one that does not
// parse is refused rather than taken for fresh.
TEST_F(SignedCommandsTest, TheWindowReadsTheDateOfUnsignedMail)
{
    ASSERT_TRUE(session.configure({{"limitCommandsFlag", "no"}, {"maxCommandAgeMinutes", "60"}}));
    ASSERT_TRUE(session.startDaemon());
    const QDateTime now = QDateTime::currentDateTime();
    struct Case {
        const char *term;
        QByteArray date;
        QString logged;
    };
    const Case cases[] = {
        {"freshdate", now.toString(Qt::RFC2822Date).toUtf8(), {}},
        {"olddate", now.addSecs(-7200).toString(Qt::RFC2822Date).toUtf8(), "older than the 60-minute window"},
        {"futuredate", now.addSecs(3600).toString(Qt::RFC2822Date).toUtf8(), "more than five minutes ahead of this computer's clock"},
        {"baddate", "the day after tomorrow", refusalOf("the Date header \"the day after tomorrow\" does not parse")},
        {"nodate", "", refusalOf("the message has no Date header, and maxCommandAgeMinutes needs one")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(deliver(headers(c.term, c.date) + "\r\nwndl find named " + c.term + "\r\n"), 0) << c.term;
    ASSERT_TRUE(waitFor([&] { return session.daemonConsole().count("was refused") == 4 && session.outboxFiles().size() == 1; }, WaitMs))
        << str(session.daemonConsole());
    EXPECT_EQ(session.stopDaemon(), 0);
    for (const Case &c : cases) {
        EXPECT_EQ(session.logText().contains(QStringLiteral("files named:  ") + c.term), c.logged.isEmpty()) << c.term;
        EXPECT_TRUE(session.daemonConsole().contains(c.logged)) << c.term;
    }
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
