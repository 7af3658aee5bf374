#include "integration/support/ParsedMail.h"
#include "platform/mail/MessageFolder.h"
#include "platform/mail/OutboxMailTransport.h"
#include "platform/mail/ScriptMailTransport.h"
#include "platform/mail/SelectingMailTransport.h"
#include "support/Doubles.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::test;

const OutgoingMail Reply{"owner@example.com", "computer@example.com", "Wendle Results", "body", {}, {}};

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
    struct Case { const char *name; QStringList command; bool sent; };
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
    struct Case { QVariant choice; const char *expected; bool logged; };
    const Case cases[] = {{QVariant(), "outbox", false}, {"outbox", "outbox", false}, {"smtp", "smtp", false},
                          {"script", "script", false}, {" smtp ", "smtp", false},   {"SMTP", "smtp", false},
                          {"carrier pigeon", "outbox", true}};
    MemoryPreferences preferences;
    RecordingMailTransport outbox, smtp, script;
    const std::pair<const char *, RecordingMailTransport *> transports[] = {{"outbox", &outbox}, {"smtp", &smtp}, {"script", &script}};
    QStringList log;
    SelectingMailTransport selecting(preferences, [&](const QString &line) { log << line; }, outbox, smtp, script);
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
        EXPECT_TRUE(!c.logged || log.value(0).contains(c.choice.toString())) << str(log.value(0));
    }
}
