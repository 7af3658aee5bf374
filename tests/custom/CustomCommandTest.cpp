#include "custom/CustomCommandFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Quote = QStringLiteral("Wendle: script results: quote 42");

QString gone(const char *name)
{
    return QStringLiteral("Wendle: the file of custom command %1 no longer exists; nothing was run.").arg(QLatin1String(name));
}

class CustomCommandTest : public CustomCommandFixture {
protected:
    const QString stockQuote = writeCountingScript(QStringLiteral("Stock Quote.scpt"), "quote 42");
};

} // namespace

TEST_F(CustomCommandTest, NamesMatchInAnyMixOfCaseAndNothingElse)
{
    setConfirmation(false);
    setLibrary({Shortcut(stockQuote, QStringLiteral("sTk"))});
    const QStringList unknown{"stk ", " stk", "st", "stkk", "weather", "it's \"stk\"", "..", "../scripts/Stock Quote", stockQuote, ""};
    for (const QString &name : unknown) {
        const QString reply = QStringLiteral("Wendle: there is no custom command named %1.").arg(name);
        EXPECT_EQ(command(name), QStringList{reply}) << name.toStdString();
        EXPECT_EQ(logEntries().last(), reply);
    }
    EXPECT_EQ(runsOf(stockQuote), 0);
    EXPECT_TRUE(controller->lastPath().isNull());
    int runs = 0;
    for (const QString &name : QStringList{"stk", "STK", "Stk"}) {
        EXPECT_EQ(command(name), QStringList{Quote}) << name.toStdString();
        EXPECT_EQ(runsOf(stockQuote), ++runs);
        EXPECT_EQ(logEntries().last(), Quote);
    }
    EXPECT_TRUE(workspace.opened.isEmpty());
}

TEST_F(CustomCommandTest, TheFirstOfTwoEqualNamesRunsUnlessItsPathIsTooShort)
{
    setConfirmation(false);
    const QString second = writeCountingScript(QStringLiteral("second.scpt"), "second");
    for (const QString &firstPath : {stockQuote, QStringLiteral("x"), QStringLiteral(""), QString()}) {
        setLibrary({Shortcut(QStringLiteral("/s/other.scpt"), QStringLiteral("other")), Shortcut(firstPath, QStringLiteral("dup")),
                    Shortcut(second, QStringLiteral("DUP"))});
        const QString reply = firstPath == stockQuote ? Quote : QStringLiteral("Wendle: script results: second");
        EXPECT_EQ(command(QStringLiteral("dup")), QStringList{reply}) << firstPath.toStdString();
    }
    EXPECT_EQ(runsOf(stockQuote), 1);
    EXPECT_EQ(runsOf(second), 3);
}

// The number is the first draw whose last two digits lie in 10 ... 99; every
// answer with it runs the script once more.
TEST_F(CustomCommandTest, WithConfirmationNothingRunsUntilTheNumberComesBack)
{
    setLibrary({Shortcut(stockQuote, QStringLiteral("stk"))});
    struct Case { QList<long> draws; int number; };
    const Case cases[] = {{{347}, 47}, {{105, 310}, 10}, {{199}, 99}, {{100, 3, 9, 12}, 12}};
    int runs = 0;
    for (const Case &c : cases) {
        random.values = c.draws;
        EXPECT_EQ(command(QStringLiteral("STK")), QStringList{QStringLiteral("Wendle: to run Stock Quote, reply with wndl %1").arg(c.number)});
        EXPECT_EQ(logEntries().last(), QStringLiteral("Custom command STK is waiting for its confirmation number"));
        EXPECT_EQ(runsOf(stockQuote), runs);
        EXPECT_EQ(controller->lastConfirmationNumber(), c.number);
        EXPECT_EQ(controller->lastCommand(), QStringLiteral("customCommand"));
        EXPECT_EQ(controller->lastPath(), stockQuote);
        for (int twice = 0; twice < 2; ++twice) {
            controller->confirmCommand(QString::number(c.number));
            EXPECT_EQ(runsOf(stockQuote), ++runs);
            EXPECT_EQ(replies().last(), Quote);
        }
        EXPECT_EQ(replies().size(), 3);
    }
}

// Neither another code nor the right one for an entry removed meanwhile runs it.
TEST_F(CustomCommandTest, OtherCodesAndRemovedEntriesDoNotRunThePendingCommand)
{
    setLibrary({Shortcut(stockQuote, QStringLiteral("stk"))});
    controller->customCommand(QStringLiteral("stk"));
    const QStringList invalid{QStringLiteral("That confirmation number is not valid. Search again to get a new list.")};
    const std::pair<const char *, QStringList> cases[] = {{"48", invalid}, {"471", invalid}, {"4", invalid}, {"0", {}}, {"-47", {}}};
    for (const auto &[code, reply] : cases) {
        mail.sent.clear();
        controller->confirmCommand(QString::fromLatin1(code));
        EXPECT_EQ(runsOf(stockQuote), 0) << code;
        EXPECT_EQ(replies(), reply) << code;
    }
    setLibrary({});
    controller->confirmCommand(QStringLiteral("47"));
    EXPECT_EQ(runsOf(stockQuote), 0);
    EXPECT_EQ(replies(), QStringList{"Wendle: Stock Quote is no longer in the list of custom commands; nothing was run."});
}

TEST_F(CustomCommandTest, WithoutConfirmationTheScriptRunsAtOnce)
{
    setConfirmation(false);
    setLibrary({Shortcut(stockQuote, QStringLiteral("stk"))});
    EXPECT_EQ(command(QStringLiteral("stk")), QStringList{Quote});
    EXPECT_EQ(runsOf(stockQuote), 1);
    EXPECT_TRUE(mail.sent[0].mail.attachmentPath.isEmpty());
    EXPECT_TRUE(mail.sent[0].mail.cc.isEmpty());
    const QStringList entries = logEntries();
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries.mid(entries.size() - 2), (QStringList{"Running custom command stk", Quote}));
    EXPECT_EQ(controller->lastConfirmationNumber(), 0); // no number drawn
    EXPECT_EQ(controller->lastCommand(), QStringLiteral("customCommand"));
}

TEST_F(CustomCommandTest, OnlyALowerCaseScptExtensionRuns)
{
    setConfirmation(false);
    struct Case { const char *file; bool runs; const char *reply; };
    const Case cases[] = {{"Report.scpt", true, "Wendle: script results: report"}, {"Report.SCPT", false, "Wendle: opened Report."},
                          {"Report.Scpt", false, "Wendle: opened Report."}, {"notes.txt", false, "Wendle: opened notes."},
                          {"Makefile", false, "Wendle: opened Makefile."}};
    for (const Case &c : cases) {
        const QString path = writeCountingScript(QString::fromLatin1(c.file), "report");
        setLibrary({Shortcut(path, QStringLiteral("go"))});
        workspace.opened.clear();
        EXPECT_EQ(command(QStringLiteral("go")), QStringList{QString::fromLatin1(c.reply)}) << c.file;
        EXPECT_EQ(runsOf(path), c.runs ? 1 : 0) << c.file;
        EXPECT_EQ(workspace.opened, c.runs ? QStringList() : QStringList{path}) << c.file;
        EXPECT_EQ(logEntries().last(), QString::fromLatin1(c.reply)) << c.file;
    }
}

TEST_F(CustomCommandTest, AFileThatNoLongerExistsIsReportedNotRun)
{
    setConfirmation(false);
    // The Stock Quote entry of a first start names a file that is not here.
    EXPECT_EQ(command(QStringLiteral("stk")), QStringList{gone("Stock Quote")});
    for (const auto &[file, name] : {std::pair{"/gone.scpt", "gone"}, {"/Gone Away.pdf", "Gone Away"}, {"/../gone/x.scpt", "x"}}) {
        setLibrary({Shortcut(scriptsDir() + QLatin1String(file), QStringLiteral("gone"))});
        EXPECT_EQ(command(QStringLiteral("gone")), QStringList{gone(name)}) << file;
        EXPECT_EQ(logEntries().last(), gone(name));
    }
    EXPECT_TRUE(workspace.opened.isEmpty());
}

TEST_F(CustomCommandTest, NoPendingPathIsLoggedWithoutAReply)
{
    for (const QString &path : {QString(), QStringLiteral("/")}) {
        controller->setLastPath(path);
        controller->setLastCommand(QStringLiteral("customCommand"));
        controller->setLastConfirmationNumber(47);
        console.lines.clear();
        controller->confirmCommand(QStringLiteral("47"));
        EXPECT_TRUE(mail.sent.isEmpty());
        EXPECT_EQ(console.lines, QStringList{QStringLiteral("Wendle Log Update:  Error trying to execute the last custom command "
                                                            "experienced; ensure custom command path is not blank.")});
        EXPECT_EQ(logEntries().last(), QStringLiteral("Could not run the last custom command: no file is pending"));
    }
}
