#include "integration/support/ParsedMail.h"
#include "platform/mail/MailServer.h"
#include "platform/mail/MessageFolder.h"
#include "platform/mail/MimeComposer.h"
#include "platform/mail/OutboxMailTransport.h"
#include "platform/mail/ScriptMailTransport.h"
#include "platform/mail/SelectingMailTransport.h"
#include "platform/mail/SmtpDelivery.h"
#include "support/Doubles.h"
#include "support/EnvironmentOverride.h"
#include "support/TestFiles.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::test;

const OutgoingMail Reply{"owner@example.org", "computer@example.com", "Wendle Results", "body", {}, {}, {}};

TEST(OutboxMailTransport, EachReplyIsOneCompleteFileInWritingOrder)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("support/outbox"));
    OutboxMailTransport outbox(folder);
    for (int i = 0; i < 25; ++i) {
        OutgoingMail mail = Reply;
        mail.body = QStringLiteral("reply %1").arg(i);
        ASSERT_TRUE(outbox.send(mail, QString()));
    }
    ASSERT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 25) << "no temporary files are left behind";
    const QStringList files = messageFiles(folder);
    static const QRegularExpression name(QStringLiteral("^\\d{8}-\\d{6}-\\d{3}-\\d{6}\\.eml$"));
    for (int i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(name.match(QFileInfo(files[i]).fileName()).hasMatch()) << str(files[i]);
        const ParsedMail parsed = parseMail(readFile(files[i]));
        EXPECT_TRUE(parsed.bodyText.startsWith(QStringLiteral("reply %1").arg(i))) << "sorted names keep the order";
    }
}

TEST(OutboxMailTransport, RefusesOnlyWhenItCannotWrite)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("not-a-folder"), {}));
    OutboxMailTransport blocked(dir.filePath("not-a-folder/outbox"));
    EXPECT_FALSE(blocked.send(Reply, QString()));
    OutboxMailTransport fresh(dir.filePath(QStringLiteral("a/b/c")));
    EXPECT_TRUE(fresh.send(Reply, QString())) << "missing folders are made";
}

TEST(ScriptMailTransport, PipesTheExactScriptAndReportsFailures)
{
    QTemporaryDir dir;
    const QString received = dir.filePath(QStringLiteral("script.txt"));
    const QString script = QStringLiteral("tell application \"Mail\" \n set x to \"é \\\\ ✓\"\n end tell");
    struct Case {
        const char *name;
        QStringList command;
        bool sent;
    };
    const Case cases[] = {{"program reads the script", {"tee", received}, true},
                          {"program fails", {"false"}, false},
                          {"program missing", {"/nonexistent/osascript", "-"}, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MemoryPreferences preferences;
        preferences.setValue(QStringLiteral("scriptHostCommand"), c.command);
        ScriptMailTransport transport(preferences);
        EXPECT_EQ(transport.send(Reply, script), c.sent);
    }
    EXPECT_EQ(QString::fromUtf8(readFile(received)), script);
}

TEST(SelectingMailTransport, ReadsTheChoiceAtEachReply)
{
    struct Case {
        QVariant choice;
        const char *expected;
        bool logged;
    };
    const Case cases[] = {{QVariant(), "outbox", false},     {"outbox", "outbox", false}, {"smtp", "smtp", false},
                          {"script", "script", false},       {" smtp ", "smtp", false},   {"SMTP", "smtp", false},
                          {"carrier pigeon", "outbox", true}};
    MemoryPreferences preferences;
    RecordingMailTransport outbox, smtp, script;
    const std::pair<const char *, RecordingMailTransport *> transports[] = {{"outbox", &outbox}, {"smtp", &smtp}, {"script", &script}};
    QStringList log;
    SelectingMailTransport selecting(
        preferences, [&](const QString &line) { log << line; }, outbox, smtp, script);
    for (const Case &c : cases) {
        SCOPED_TRACE(str(c.choice.toString()));
        preferences.setValue(QStringLiteral("mailTransport"), c.choice);
        log.clear();
        EXPECT_TRUE(selecting.send(Reply, QString()));
        for (const auto &[name, transport] : transports) {
            EXPECT_EQ(transport->sent.size(), name == std::string_view(c.expected) ? 1 : 0) << name;
            transport->sent.clear();
        }
        EXPECT_EQ(!log.isEmpty(), c.logged);
        EXPECT_EQ(log, c.logged ? QStringList{"Wendle Error: unknown mailTransport \"carrier pigeon\" (outbox, smtp or "
                                              "script); the reply goes to the outbox"}
                                : QStringList{});
    }
}

TEST(MailServer, LoopbackHosts)
{
    const std::pair<const char *, bool> cases[] = {
        {"LocalHost", true},           {"127.255.3.4", true},         {"[::1]", true}, {"128.0.0.1", false}, {"127.0.0", false},
        {"127.0.0.1.evil.com", false}, {"localhost.evil.com", false}, {"::2", false},  {"", false},
    };
    for (const auto &[host, loopback] : cases)
        EXPECT_EQ(isLoopbackHost(QString::fromLatin1(host)), loopback) << host;
}

TEST(MailServer, EncryptionIsRequiredExceptOnLoopback)
{
    const std::optional<bool> refused; // the plan is not usable at all
    struct Case {
        const char *url;
        MailProtocol protocol;
        std::optional<bool> requireTls;
    };
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
    struct Case {
        QStringList command;
        std::optional<std::string> password;
    };
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

// The sender is the bare address, whatever display name the From: holds.
TEST(SmtpDelivery, EnvelopeComesFromTheQueuedMessage)
{
    struct Case {
        OutgoingMail mail;
        QStringList recipients;
    };
    const Case cases[] = {
        {{"owner@example.org", "Wendle <computer@example.com>", "s", "b", "boss@example.com", {}, {}},
         {"owner@example.org", "boss@example.com"}},
        {{"", "computer@example.com", "s", "b", "boss@example.com", {}, {}}, {"boss@example.com"}},
        {{"owner@example.org", "computer@example.com", "s", "b", "OWNER@example.org", {}, {}}, {"owner@example.org"}},
        {{"", "computer@example.com", "s", "b", {}, {}, {}}, {}},
        {{"", "computer@example.com", "s", "b", "bob@example com", {}, {}}, {"\"bob@example com\""}},
    };
    for (const Case &c : cases) {
        QString error;
        const std::optional<Envelope> envelope = readEnvelope(composeMessage(c.mail, QDateTime::currentDateTime()), &error);
        ASSERT_TRUE(envelope) << str(error);
        EXPECT_EQ(str(envelope->sender), "computer@example.com");
        EXPECT_EQ(envelope->recipients, c.recipients);
    }
}
