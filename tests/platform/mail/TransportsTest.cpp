#include "integration/support/ParsedMail.h"
#include "platform/mail/MessageFolder.h"
#include "platform/mail/OutboxMailTransport.h"
#include "platform/mail/ScriptMailTransport.h"
#include "platform/mail/SelectingMailTransport.h"
#include "support/Doubles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::test;

namespace {

const OutgoingMail Reply{"owner@example.com", "computer@example.com", "Wendle Results", "body", {}, {}};

class RecordingTransport : public MailTransport {
public:
    bool send(const OutgoingMail &mail, const QString &) override
    {
        subjects << mail.subject;
        return true;
    }
    QStringList subjects;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

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
    const QStringList entries = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(entries.size(), 25) << "no temporary files are left behind";
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
    QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    OutboxMailTransport blocked(blocker.fileName() + QLatin1String("/outbox"));
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
    const Case cases[] = {
        {"program reads the script", {QStringLiteral("tee"), received}, true},
        {"program fails", {QStringLiteral("false")}, false},
        {"program missing", {QStringLiteral("/nonexistent/osascript"), QStringLiteral("-")}, false},
    };
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
    const Case cases[] = {
        {QVariant(), "outbox", false},
        {QStringLiteral("outbox"), "outbox", false},
        {QStringLiteral("smtp"), "smtp", false},
        {QStringLiteral("script"), "script", false},
        {QStringLiteral(" smtp "), "smtp", false},
        {QStringLiteral("carrier pigeon"), "outbox", true},
        {QStringLiteral("SMTP"), "smtp", false},
    };
    MemoryPreferences preferences;
    RecordingTransport outbox, smtp, script;
    QStringList log;
    SelectingMailTransport selecting(preferences, [&](const QString &line) { log << line; }, outbox, smtp, script);
    for (const Case &c : cases) {
        SCOPED_TRACE(str(c.choice.toString()));
        preferences.setValue(QStringLiteral("mailTransport"), c.choice);
        outbox.subjects.clear(), smtp.subjects.clear(), script.subjects.clear();
        log.clear();
        EXPECT_TRUE(selecting.send(Reply, QString()));
        const QString chosen = !outbox.subjects.isEmpty() ? "outbox" : !smtp.subjects.isEmpty() ? "smtp" : "script";
        EXPECT_EQ(outbox.subjects.size() + smtp.subjects.size() + script.subjects.size(), 1);
        EXPECT_EQ(str(chosen), c.expected);
        EXPECT_EQ(!log.isEmpty(), c.logged);
        if (c.logged) {
            EXPECT_TRUE(log.first().contains(c.choice.toString())) << str(log.first());
        }
    }
}
