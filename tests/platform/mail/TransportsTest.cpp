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

TEST(OutboxMailTransport, EachReplyIsOneCompleteFileInWritingOrderAndOnlyAFolderItCannotMakeRefuses)
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
    // The missing folders above were made; one that cannot be is refused.
    ASSERT_TRUE(writeFile(dir.filePath("not-a-folder"), {}));
    EXPECT_FALSE(OutboxMailTransport(dir.filePath("not-a-folder/outbox")).send(Reply, QString()));
}

TEST(ScriptMailTransport, PipesTheExactScriptAndReportsFailures)
{
    QTemporaryDir dir;
    const QString received = dir.filePath(QStringLiteral("script.txt"));
    const QString script = QStringLiteral("tell application \"Mail\" \n set x to \"é \\\\ ✓\"\n end tell");
    const std::tuple<const char *, QStringList, bool> cases[] = {{"program reads the script", {"tee", received}, true},
                                                                 {"program fails", {"false"}, false},
                                                                 {"program missing", {"/nonexistent/osascript", "-"}, false}};
    for (const auto &[name, command, sent] : cases) {
        SCOPED_TRACE(name);
        MemoryPreferences preferences;
        preferences.setValue(QStringLiteral("scriptHostCommand"), command);
        ScriptMailTransport transport(preferences);
        EXPECT_EQ(transport.send(Reply, script), sent);
    }
    EXPECT_EQ(QString::fromUtf8(readFile(received)), script);
}

TEST(SelectingMailTransport, ReadsTheChoiceAtEachReply)
{
    const std::tuple<QVariant, const char *, bool> cases[] = {
        {QVariant(), "outbox", false}, {"outbox", "outbox", false}, {"smtp", "smtp", false},           {"script", "script", false},
        {" smtp ", "smtp", false},     {"SMTP", "smtp", false},     {"carrier pigeon", "outbox", true}};
    MemoryPreferences preferences;
    RecordingMailTransport outbox, smtp, script;
    const std::pair<const char *, RecordingMailTransport *> transports[] = {{"outbox", &outbox}, {"smtp", &smtp}, {"script", &script}};
    QStringList log;
    SelectingMailTransport selecting(
        preferences, [&](const QString &line) { log << line; }, outbox, smtp, script);
    for (const auto &[choice, expected, logged] : cases) {
        SCOPED_TRACE(str(choice.toString()));
        preferences.setValue(QStringLiteral("mailTransport"), choice);
        log.clear();
        EXPECT_TRUE(selecting.send(Reply, QString()));
        for (const auto &[name, transport] : transports) {
            EXPECT_EQ(transport->sent.size(), name == std::string_view(expected) ? 1 : 0) << name;
            transport->sent.clear();
        }
        EXPECT_EQ(!log.isEmpty(), logged);
        EXPECT_EQ(log, logged ? QStringList{"Wendle Error: unknown mailTransport \"carrier pigeon\" (outbox, smtp or "
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
    const std::tuple<const char *, MailProtocol, std::optional<bool>> cases[] = {
        {"smtps://mail.example.com:465", MailProtocol::Smtp, true},
        {"smtp://mail.example.com:587", MailProtocol::Smtp, true}, // STARTTLS or nothing
        {"smtp://127.0.0.1:2525", MailProtocol::Smtp, false},
        {"imaps://imap.example.com/INBOX", MailProtocol::Imap, true},
        {"imap://127.0.0.1:1143/INBOX", MailProtocol::Imap, false},
        {"http://mail.example.com", MailProtocol::Smtp, refused},
        {"imaps://imap.example.com/INBOX", MailProtocol::Smtp, refused},
        {"smtp://", MailProtocol::Smtp, refused},
    };
    for (const auto &[url, protocol, requireTls] : cases) {
        const ConnectionPlan plan = planConnection(QString::fromLatin1(url), protocol);
        EXPECT_EQ(plan.ok() ? std::optional(plan.requireTls) : refused, requireTls) << url << ": " << str(plan.error);
    }
}

TEST(MailServer, PasswordCommandPrintsThePassword)
{
    QTemporaryDir home;
    EnvironmentOverride homeVariable("HOME", home.path());
    ASSERT_TRUE(writeFile(home.filePath(".imap-password"), "from-a-file\n"));
    const std::pair<QStringList, std::optional<std::string>> cases[] = {
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
    for (const auto &[command, expected] : cases) {
        SCOPED_TRACE(str(command.join(u' ')));
        QString error;
        const std::optional<QString> password = runPasswordCommand(command, &error);
        EXPECT_EQ(password ? std::optional(str(*password)) : std::nullopt, expected);
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
    const std::pair<OutgoingMail, QStringList> cases[] = {
        {{"owner@example.org", "Wendle <computer@example.com>", "s", "b", "boss@example.com", {}, {}},
         {"owner@example.org", "boss@example.com"}},
        {{"", "computer@example.com", "s", "b", "boss@example.com", {}, {}}, {"boss@example.com"}},
        {{"owner@example.org", "computer@example.com", "s", "b", "OWNER@example.org", {}, {}}, {"owner@example.org"}},
        {{"", "computer@example.com", "s", "b", {}, {}, {}}, {}},
        {{"", "computer@example.com", "s", "b", "bob@example com", {}, {}}, {"\"bob@example com\""}},
    };
    for (const auto &[mail, recipients] : cases) {
        QString error;
        const std::optional<Envelope> envelope = readEnvelope(composeMessage(mail, QDateTime::currentDateTime()), &error);
        ASSERT_TRUE(envelope) << str(error);
        EXPECT_EQ(str(envelope->sender), "computer@example.com");
        EXPECT_EQ(envelope->recipients, recipients);
    }
}
