#include "support/EnvironmentOverride.h"
#include "integration/support/ParsedMail.h"
#include "integration/support/TestFiles.h"
#include "platform/mail/MailServer.h"
#include "platform/mail/MimeComposer.h"
#include "platform/mail/SmtpDelivery.h"
#include "support/Doubles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::test;

TEST(MailServer, LoopbackHosts)
{
    const std::pair<const char *, bool> cases[] = {
        {"LocalHost", true}, {"127.255.3.4", true}, {"[::1]", true}, {"128.0.0.1", false}, {"127.0.0", false},
        {"127.0.0.1.evil.com", false}, {"localhost.evil.com", false}, {"::2", false}, {"", false},
    };
    for (const auto &[host, loopback] : cases)
        EXPECT_EQ(isLoopbackHost(QString::fromLatin1(host)), loopback) << host;
}

TEST(MailServer, EncryptionIsRequiredExceptOnLoopback)
{
    const std::optional<bool> refused; // the plan is not usable at all
    struct Case { const char *url; MailProtocol protocol; std::optional<bool> requireTls; };
    const Case cases[] = {
        {"smtps://mail.example.com:465", MailProtocol::Smtp, true},
        {"smtp://mail.example.com:587", MailProtocol::Smtp, true}, // STARTTLS or nothing
        {"smtp://127.0.0.1:2525", MailProtocol::Smtp, false},
        {"imaps://imap.example.com/INBOX", MailProtocol::Imap, true},
        {"imap://127.0.0.1:1143/INBOX", MailProtocol::Imap, false},
        {"http://mail.example.com", MailProtocol::Smtp, refused},
        {"imaps://imap.example.com/INBOX", MailProtocol::Smtp, refused},
        {"smtp://", MailProtocol::Smtp, refused},
    };
    for (const Case &c : cases) {
        const ConnectionPlan plan = planConnection(QString::fromLatin1(c.url), c.protocol);
        EXPECT_EQ(plan.ok() ? std::optional(plan.requireTls) : refused, c.requireTls) << c.url << ": " << str(plan.error);
    }
}

TEST(MailServer, PasswordCommandPrintsThePassword)
{
    QTemporaryDir home;
    EnvironmentOverride homeVariable("HOME", home.path());
    ASSERT_TRUE(writeFile(home.filePath(".imap-password"), "from-a-file\n"));
    struct Case { QStringList command; std::optional<std::string> password; };
    const Case cases[] = {
        {{"cat", "~/.imap-password"}, "from-a-file"},
        {{"cat", "$HOME/.imap-password"}, "from-a-file"},
        {{"cat", "${HOME}/.imap-password"}, "from-a-file"},
        {{"printf", "%s", "~x$HOMEY"}, "~x$HOMEY"}, // neither a leading ~/ nor the whole name HOME
        {{"printf", "s3cret\\n"}, "s3cret"},
        {{"printf", "with space\\r\\n"}, "with space"},
        {{"printf", "two\\n\\n"}, "two\n"}, // only the last line break goes
        {{"sh", "-c", "echo refused >&2; exit 3"}, std::nullopt},
        {{"/nonexistent/pass", "show"}, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(str(c.command.join(u' ')));
        QString error;
        const std::optional<QString> password = runPasswordCommand(c.command, &error);
        EXPECT_EQ(password ? std::optional(str(*password)) : std::nullopt, c.password);
        EXPECT_EQ(error.isEmpty(), password.has_value()) << "a failure says why, and only a failure: " << str(error);
    }
}

TEST(MailServer, SettingsComeFromThePreferences)
{
    MemoryPreferences preferences;
    preferences.setValue("smtpUrl", " smtps://mail.example.com:465 ");
    preferences.setValue("smtpUser", "me@example.com");
    preferences.setValue("smtpPasswordCommand", QStringList{"pass", "show", "mail account"});
    preferences.setValue("imapPasswordCommand", "secret-tool lookup service 'my mail'");
    const MailServerSettings smtp = readMailServerSettings(preferences, MailProtocol::Smtp);
    EXPECT_EQ(str(smtp.url), "smtps://mail.example.com:465");
    EXPECT_EQ(str(smtp.user), "me@example.com");
    EXPECT_EQ(smtp.passwordCommand, (QStringList{"pass", "show", "mail account"}));
    const MailServerSettings imap = readMailServerSettings(preferences, MailProtocol::Imap);
    EXPECT_TRUE(imap.url.isEmpty());
    EXPECT_EQ(imap.passwordCommand, (QStringList{"secret-tool", "lookup", "service", "my mail"}));
}

TEST(SmtpDelivery, EnvelopeComesFromTheQueuedMessage)
{
    struct Case { OutgoingMail mail; const char *sender; QStringList recipients; };
    const Case cases[] = {
        {{"owner@example.com", "Wendle <computer@example.com>", "s", "b", "boss@example.com", {}}, "computer@example.com",
         {"owner@example.com", "boss@example.com"}},
        {{"", "computer@example.com", "s", "b", "boss@example.com", {}}, "computer@example.com", {"boss@example.com"}},
        {{"owner@example.com", "computer@example.com", "s", "b", "OWNER@example.com", {}}, "computer@example.com",
         {"owner@example.com"}},
        {{"", "computer@example.com", "s", "b", {}, {}}, "computer@example.com", {}},
        {{"", "computer@example.com", "s", "b", "bob@example com", {}}, "computer@example.com", {"\"bob@example com\""}},
    };
    for (const Case &c : cases) {
        QString error;
        const std::optional<Envelope> envelope = readEnvelope(composeMessage(c.mail, QDateTime::currentDateTime()), &error);
        ASSERT_TRUE(envelope) << str(error);
        EXPECT_EQ(str(envelope->sender), c.sender);
        EXPECT_EQ(envelope->recipients, c.recipients);
    }
}
