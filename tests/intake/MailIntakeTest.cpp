#include "intake/SenderChecks.h"
#include "platform/mail/InboundMessage.h"
#include "settings/Settings.h"
#include "support/ControllerFixture.h"
#include "support/EnvironmentOverride.h"
#include "support/MailMessages.h"
#include "support/ParsedMail.h"
#include "support/TestKeyring.h"

using namespace wendle;
using namespace wendle::test;

namespace {

QByteArray message(const QByteArray &headers, const QByteArray &text = "wndl find named x")
{
    return headers + "Subject: x\r\n\r\n" + text + "\r\n";
}

QByteArray nested(int depth)
{
    QByteArray entity = "Content-Type: text/plain\r\n\r\nwndl find named x";
    for (QByteArray boundary = "b"; depth-- > 0; boundary += 'b')
        entity = "Content-Type: multipart/mixed; boundary=" + boundary + "\r\n\r\n--" + boundary + "\r\n" + entity + "\r\n--" + boundary
                 + "--\r\n";
    return "From: owner@example.org\r\nMIME-Version: 1.0\r\n" + entity;
}

// Mail read as `wendle deliver` and the mailbox watcher read it, and handed to
// the intake as the running instance hands it.
class MailIntakeTest : public ControllerFixture {
protected:
    MailIntakeTest()
    {
        preferences.setValue(RBLimitCommandsFlag, false);
        controller->setCommandTextHandler([this](const QByteArray &text) { taken << text; });
        clock.set(QDateTime::currentDateTime());
    }
    // "to ADDRESS: COMMAND" for a command that runs; otherwise why the message
    // was refused or could not be read, or nothing when it was no command.
    QString take(const QByteArray &raw)
    {
        QString error;
        const std::optional<InboundMail> mail = parseInboundMessage(raw, QString(), &error);
        if (!mail)
            return "unreadable: " + error;
        taken.clear();
        console.lines.clear();
        controller->setSenderEvidence({mail->authenticationResults, mail->senderHeader, mail->dateHeader, mail->signature});
        controller->processEmailFrom(mail->from, mail->text, QVariant(), mail->messageId);
        controller->setSenderEvidence({});
        if (!taken.isEmpty())
            return "to " + controller->cmdAddress() + ": " + QString::fromUtf8(taken.join('|')).trimmed();
        const QStringList refused = console.lines.filter(" was refused: ");
        return refused.isEmpty() ? QString() : refused.first().section(" was refused: ", 1);
    }
    QList<QByteArray> taken;
};

} // namespace

// Each optional check adds to the address test and none replaces it; the
// answer goes to the one address of the mailbox, never to what its name says.
TEST_F(MailIntakeTest, SenderChecksAddToTheAddressTest)
{
    preferences.setValue(RBAuthservId, "mx.owner.example");
    const QString ran = "to owner@example.org: wndl find named x";
    const QString onlyInName = "the configured address is only in the sender's name, not in its address attacker@evil.example";
    const QString unauthenticated = "no Authentication-Results header from mx.owner.example shows dkim=pass or spf=pass for example.org";
    const QByteArray pass = "mx.owner.example; dkim=pass header.d=example.org header.s=s1",
                     fail = "mx.owner.example; dkim=fail header.d=example.org";
    const auto results = [](const QList<QByteArray> &values) {
        QByteArray headers = "From: Owner <owner@example.org>\r\n";
        for (const QByteArray &value : values)
            headers += "Authentication-Results: " + value + "\r\n";
        return message(headers);
    };
    const QDateTime now = QDateTime::currentDateTime();
    const auto dated = [](const QDateTime &date) { return message(headers("d", date.toString(Qt::RFC2822Date).toUtf8())); };
    const auto stamp = [](const QDateTime &date) { return date.toString("yyyy-MM-dd (HH:mm:ss)"); };
    struct Case {
        QByteArray message;
        QString outcome;
        const char *setting = nullptr;
        QVariant value = {};
    };
    const Case cases[] = {
        // The address test alone, as it always was: containment.
        {message("From: owner@example.org.evil.example\r\n"), "to owner@example.org.evil.example: wndl find named x"},
        // The address must be in the mailbox, not only in its display name.
        {message("From: \"owner@example.org\" <attacker@evil.example>\r\n"), onlyInName},
        {message("From: owner@example.org, attacker@evil.example\r\n"), "the sender names 2 addresses; a command must come from one"},
        {message("From: owner@example.org\r\nSender: attacker@evil.example\r\n"), ran},
        {message("From: Owner \"Boss\" <owner@example.org>\r\n"), ran},
        {message("From: \"owner@example.org\"@evil.example\r\n"),
         "the sender address \"owner@example.org\"@evil.example is not a plain local@domain address"},
        {message("From: =?utf-8?b?" + QByteArray("Bob\n2026-12-06 (10:00:00): Wendle shut down").toBase64() + "?= <owner@example.org>\r\n"),
         ran},
        {message("From: owner@example.org.evil.example\r\n"),
         "the sender address owner@example.org.evil.example is not one of the configured addresses", RBStrictSenderMatch, true},
        {message("From: \"owner@example.org\" <attacker@evil.example>\r\n"), onlyInName, RBStrictSenderMatch, true},
        {message("From: Owner <OWNER@example.org>\r\n"), "to OWNER@example.org: wndl find named x", RBStrictSenderMatch, true},
        {message("From: \"Bob: thief@evil.example;\" <owner@example.org>\r\n"), ran, RBStrictSenderMatch, true},
        {message("From: owner@example.org\r\nSender: attacker@evil.example\r\n"),
         "the message was sent by attacker@evil.example on behalf of owner@example.org", RBStrictSenderMatch, true},
        {message("From: owner@example.org\r\nSender: Owner <owner@example.org>\r\n"), ran, RBStrictSenderMatch, true},
        {results({}), unauthenticated, RBRequireAuthenticatedSender, true},
        {results({pass}), ran, RBRequireAuthenticatedSender, true},
        {results({fail + "; spf=pass smtp.mailfrom=bounce@example.org"}), ran, RBRequireAuthenticatedSender, true},
        {results({"mx.evil.example; dkim=pass header.d=example.org"}), unauthenticated, RBRequireAuthenticatedSender, true},
        {results({"mx.owner.example; dkim=pass header.d=evil.example"}), unauthenticated, RBRequireAuthenticatedSender, true},
        {results({"mx.owner.example; dkim=pass (header.d=example.org) header.d=evil.example"}), unauthenticated,
         RBRequireAuthenticatedSender, true},
        // Only the topmost header of the receiving server counts: the ones below came with the message.
        {results({fail, pass}), unauthenticated, RBRequireAuthenticatedSender, true},
        {results({pass, fail}), ran, RBRequireAuthenticatedSender, true},
        {message("From: owner@example.org\r\n"), {}, RBCommandSecret, "Open-Sesame"},
        {message("From: owner@example.org\r\n", "wndl open-sesame find named x"), ran, RBCommandSecret, "Open-Sesame"},
        {message("From: eve@evil.example\r\n", "wndl open-sesame find named x"), {}, RBCommandSecret, "Open-Sesame"},
        // Without signatures the window reads the Date header, and one that
        // does not parse is refused rather than taken for fresh.
        {dated(now), ran, RBMaxCommandAgeMinutes, 60},
        {dated(now.addSecs(-7200)), "the command was dated " + stamp(now.addSecs(-7200)) + ", older than the 60-minute window",
         RBMaxCommandAgeMinutes, 60},
        {dated(now.addSecs(3600)),
         "the command was dated " + stamp(now.addSecs(3600)) + ", more than five minutes ahead of this computer's clock",
         RBMaxCommandAgeMinutes, 60},
        {message(headers("d", "the day after tomorrow")), "the Date header \"the day after tomorrow\" does not parse",
         RBMaxCommandAgeMinutes, 60},
        {message(headers("d", "")), "the message has no Date header, and maxCommandAgeMinutes needs one", RBMaxCommandAgeMinutes, 60},
        // What is read of a message: to a bound of nesting, and the quote left out.
        {nested(40), "unreadable: the message's MIME parts are nested more than 32 deep"},
        {nested(20), ran},
        {"From: owner@example.org\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<div dir=\"ltr\">wndl find named x</div><br>"
         "<div class=\"gmail_quote\"><blockquote class=\"gmail_quote\">Reply <b>wndl 473</b> to confirm.<br>wndl launch app</blockquote></div>",
         ran},
    };
    for (const Case &c : cases) {
        for (const char *key : {RBStrictSenderMatch, RBRequireAuthenticatedSender, RBCommandSecret, RBMaxCommandAgeMinutes})
            preferences.remove(key);
        if (c.setting)
            preferences.setValue(c.setting, c.value);
        EXPECT_EQ(str(take(c.message)), str(c.outcome)) << c.message.constData();
    }
    EXPECT_FALSE(logText().contains("\n2026-12-06 (10:00:00): Wendle shut down")) << "a sender writes no lines of its own";
    EXPECT_FALSE(logText().contains("sesame", Qt::CaseInsensitive)) << "the secret is never logged";
}

// Only a good signature by a listed key, fresh, runs a command; every other
// message is refused, whichever way it went wrong. Signatures are made and
// checked by the real gpg, against a keyring of the test's own.
TEST_F(MailIntakeTest, OnlyTheOwnersFreshSignatureRunsACommand)
{
    if (!TestKeyring::installed())
        GTEST_SKIP() << "gpg is not installed; scripts/install-deps installs it";
    TestKeyring keys;
    const EnvironmentOverride home("GNUPGHOME", keys.home());
    const QString owner = keys.makePhoneKey("owner@example.org"), other = keys.makeQuickKey("stranger@example.net");
    const QDateTime past = QDateTime::currentDateTimeUtc().addDays(-3);
    const QString expired = keys.makeQuickKey("expired@example.org", "default", "1d", past),
                  revoked = keys.makeQuickKey("revoked@example.org");
    const QByteArray command = textEntity("wndl find named x");
    const QByteArray expiredSignature = keys.detachSign(expired, command, past.addSecs(3600)),
                     revokedSignature = keys.detachSign(revoked, command);
    ASSERT_TRUE(keys.revoke(revoked));
    ASSERT_FALSE(owner.isEmpty() || other.isEmpty() || expiredSignature.isEmpty() || revokedSignature.isEmpty());
    preferences.setValue(RBRequireSignedCommands, true);
    preferences.setValue(RBMaxCommandAgeMinutes, 60);
    preferences.setValue(RBOwnerKeyFingerprints, owner + "," + expired + "," + revoked);

    const auto signedBy = [&](const QString &key, const QDateTime &at = {}) {
        return headers("s") + "MIME-Version: 1.0\r\n" + multipartSigned(command, keys.detachSign(key, command, at));
    };
    // Text and a large base64 attachment in one entity; flip changes one byte of the file.
    const auto withAttachment = [](bool flip) {
        QByteArray file = randomBytes(15 << 20, 9); // 20 MB once in base64
        file[1000] = char(file[1000] ^ int(flip));
        const QByteArray message = mailWithAttachment("wndl find named x", file, "data.bin", "application/octet-stream");
        return message.mid(message.indexOf("Content-Type: multipart/mixed"));
    };
    const QDateTime now = QDateTime::currentDateTime();
    const auto stamp = [](const QDateTime &date) { return date.toString("yyyy-MM-dd (HH:mm:ss)"); };
    const QByteArray signedHello = multipartSigned(textEntity("hello"), keys.detachSign(owner, textEntity("hello")));
    const QByteArray garbage = "-----BEGIN PGP SIGNATURE-----\r\n\r\n" + QByteArray(300, 'A') + "\r\n=AAAA\r\n-----END PGP SIGNATURE-----";
    const QString ran = "to owner@example.org: wndl find named x", outside = "the message holds a command outside its signed part";
    const QString mismatch = "the signature is not valid (the signed text does not match its signature)";
    const struct {
        QByteArray message;
        QString outcome;
    } cases[] = {
        {signedBy(owner), ran},
        {headers("i") + "\r\n" + keys.clearSign(owner, "wndl find named x\n").replace("\n", "\r\n"), ran},
        {signedBy(other), "the signature by key " + other + " is not from the owner's key"},
        {headers("u") + "\r\nwndl find named x\r\n", "the signature is missing"},
        {headers("t") + multipartSigned(command, keys.detachSign(owner, textEntity("wndl find named y"))), mismatch},
        {headers("m") + "Content-Type: multipart/mixed; boundary=mix\r\n\r\n--mix\r\n" + command + "--mix\r\n" + signedHello
             + "--mix--\r\n",
         outside},
        {headers("a") + "\r\n" + keys.clearSign(owner, "hello\n").replace("\n", "\r\n") + "wndl find named x\r\n", outside},
        {signedBy(owner, now.addSecs(-7200)), "the command was signed " + stamp(now.addSecs(-7200)) + ", older than the 60-minute window"},
        {signedBy(owner, now.addSecs(3600)),
         "the command was signed " + stamp(now.addSecs(3600)) + ", more than five minutes ahead of this computer's clock"},
        // Bad input: each a defined refusal.
        {headers("b") + multipartSigned(withAttachment(true), keys.detachSign(owner, withAttachment(false))), mismatch},
        {headers("n") + multipartSigned(multipartSigned(command, "x"), "y", "outer"),
         "the signature is not valid (the message holds 2 signed parts; a command comes in one)"},
        {headers("g") + multipartSigned(command, garbage), "the signature is not valid ("},
        {headers("e") + multipartSigned(command, expiredSignature), "the signature is not valid (the key " + expired + " has expired)"},
        {headers("r") + multipartSigned(command, revokedSignature), "the signature is not valid (the key " + revoked + " is revoked)"},
    };
    for (const auto &c : cases) {
        const QString outcome = take(c.message);
        EXPECT_TRUE(outcome.startsWith(c.outcome)) << str(outcome) << "\nnot " << str(c.outcome);
    }
}
