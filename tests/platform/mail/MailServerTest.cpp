#include "integration/support/ParsedMail.h"
#include "platform/mail/MailServer.h"
#include "platform/mail/MimeComposer.h"
#include "platform/mail/SmtpDelivery.h"
#include "support/Doubles.h"

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::test;

TEST(MailServer, LoopbackHosts)
{
    const std::pair<const char *, bool> cases[] = {
        {"localhost", true},   {"LocalHost", true},  {"127.0.0.1", true},   {"127.255.3.4", true},
        {"::1", true},         {"[::1]", true},      {"128.0.0.1", false},  {"127.0.0", false},
        {"127.0.0.1.evil.com", false}, {"localhost.evil.com", false}, {"mail.example.com", false},
        {"10.0.0.1", false},   {"::2", false},       {"", false},
    };
    for (const auto &[host, loopback] : cases)
        EXPECT_EQ(isLoopbackHost(QString::fromLatin1(host)), loopback) << host;
}

TEST(MailServer, EncryptionIsRequiredExceptOnLoopback)
{
    struct Case { const char *url; MailProtocol protocol; bool usable; bool requireTls; };
    const Case cases[] = {
        {"smtps://mail.example.com:465", MailProtocol::Smtp, true, true},
        {"smtp://mail.example.com:587", MailProtocol::Smtp, true, true}, // STARTTLS or nothing
        {"smtp://127.0.0.1:2525", MailProtocol::Smtp, true, false},
        {"smtp://localhost:25", MailProtocol::Smtp, true, false},
        {"smtp://[::1]:25", MailProtocol::Smtp, true, false},
        {"imaps://imap.example.com/INBOX", MailProtocol::Imap, true, true},
        {"imap://imap.example.com/INBOX", MailProtocol::Imap, true, true},
        {"imap://127.0.0.1:1143/INBOX", MailProtocol::Imap, true, false},
        {"http://mail.example.com", MailProtocol::Smtp, false, true},
        {"imaps://imap.example.com/INBOX", MailProtocol::Smtp, false, true},
        {"smtp://", MailProtocol::Smtp, false, true},
        {"", MailProtocol::Imap, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.url);
        const ConnectionPlan plan = planConnection(QString::fromLatin1(c.url), c.protocol);
        EXPECT_EQ(plan.ok(), c.usable) << str(plan.error);
        if (plan.ok()) {
            EXPECT_EQ(plan.requireTls, c.requireTls);
        }
    }
}

TEST(MailServer, PasswordCommandPrintsThePassword)
{
    struct Case { QStringList command; std::optional<QString> password; };
    const Case cases[] = {
        {{"printf", "s3cret\\n"}, QStringLiteral("s3cret")},
        {{"printf", "with space\\r\\n"}, QStringLiteral("with space")},
        {{"printf", "two\\n\\n"}, QStringLiteral("two\n")}, // only the last line break goes
        {{"printf", "no-newline"}, QStringLiteral("no-newline")},
        {{"sh", "-c", "echo refused >&2; exit 3"}, std::nullopt},
        {{"/nonexistent/pass", "show"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(str(c.command.join(u' ')));
        QString error;
        const std::optional<QString> password = runPasswordCommand(c.command, &error);
        EXPECT_EQ(password.has_value(), c.password.has_value()) << str(error);
        if (password && c.password) {
            EXPECT_EQ(str(*password), str(*c.password));
        }
        if (!password) {
            EXPECT_FALSE(error.isEmpty());
        }
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
    };
    for (const Case &c : cases) {
        QString error;
        const std::optional<Envelope> envelope = readEnvelope(composeMessage(c.mail, QDateTime::currentDateTime()), &error);
        ASSERT_TRUE(envelope) << str(error);
        EXPECT_EQ(str(envelope->sender), c.sender);
        EXPECT_EQ(envelope->recipients, c.recipients);
    }
}
