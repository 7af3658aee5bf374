#include "custom/CustomCommandFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

class CustomCommandTest : public CustomCommandFixture {
protected:
    CustomCommandTest()
    {
        stockQuote = writeCountingScript(QStringLiteral("Stock Quote.scpt"), "quote 42");
    }
    QString stockQuote;
};

} // namespace

TEST_F(CustomCommandTest, NamesMatchInAnyMixOfCaseAndNothingElse)
{
    setConfirmation(false);
    setLibrary({Shortcut(stockQuote, QStringLiteral("sTk"))});
    struct Case { const char *name; bool runs; };
    const Case cases[] = {{"stk", true}, {"STK", true}, {"Stk", true}, {"stk ", false}, {" stk", false}, {"st", false}, {"stkk", false}};
    int runs = 0;
    for (const Case &c : cases) {
        mail.sent.clear();
        controller->customCommand(QString::fromLatin1(c.name));
        runs += c.runs ? 1 : 0;
        EXPECT_EQ(runsOf(stockQuote), runs) << c.name;
        const QString expected = c.runs ? QStringLiteral("Script results: quote 42")
                                        : QStringLiteral("There is no custom command named %1.").arg(QLatin1String(c.name));
        EXPECT_EQ(replies(), QStringList{expected}) << c.name;
        EXPECT_EQ(logEntries().last(), expected) << c.name;
    }
}

TEST_F(CustomCommandTest, TheFirstOfTwoEqualNamesRunsUnlessItsPathIsTooShort)
{
    setConfirmation(false);
    const QString second = writeCountingScript(QStringLiteral("second.scpt"), "second");
    struct Case { QString firstPath; bool firstRuns; };
    const Case cases[] = {{stockQuote, true}, {QStringLiteral("x"), false}, {QStringLiteral(""), false}, {QString(), false}};
    for (const Case &c : cases) {
        setLibrary({Shortcut(QStringLiteral("/s/other.scpt"), QStringLiteral("other")), Shortcut(c.firstPath, QStringLiteral("dup")),
                    Shortcut(second, QStringLiteral("DUP"))});
        mail.sent.clear();
        controller->customCommand(QStringLiteral("dup"));
        EXPECT_EQ(replies(), QStringList{c.firstRuns ? QStringLiteral("Script results: quote 42") : QStringLiteral("Script results: second")})
            << c.firstPath.toStdString();
    }
    EXPECT_EQ(runsOf(stockQuote), 1);
    EXPECT_EQ(runsOf(second), 3);
}

TEST_F(CustomCommandTest, WithConfirmationNothingRunsUntilTheNumberComesBack)
{
    setLibrary({Shortcut(stockQuote, QStringLiteral("stk"))});
    controller->customCommand(QStringLiteral("STK"));
    EXPECT_EQ(replies(), QStringList{QStringLiteral("To run Stock Quote, reply with wndl 47")});
    EXPECT_EQ(logEntries().last(), QStringLiteral("Custom command STK is waiting for its confirmation number"));
    EXPECT_EQ(runsOf(stockQuote), 0);
    EXPECT_EQ(controller->lastCommand(), QStringLiteral("customCommand"));
    EXPECT_EQ(controller->lastPath(), stockQuote);

    controller->confirmCommand(QStringLiteral("47"));
    EXPECT_EQ(runsOf(stockQuote), 1);
    EXPECT_EQ(replies().last(), QStringLiteral("Script results: quote 42"));
    controller->confirmCommand(QStringLiteral("47"));
    EXPECT_EQ(runsOf(stockQuote), 2);
    EXPECT_EQ(replies().size(), 3);
}

TEST_F(CustomCommandTest, ConfirmationNumbersRunFromTenToNinetyNine)
{
    setLibrary({Shortcut(stockQuote, QStringLiteral("stk"))});
    struct Case { QList<long> draws; int number; };
    const Case cases[] = {{{105, 310}, 10}, {{199}, 99}, {{100, 3, 9, 12}, 12}};
    for (const Case &c : cases) {
        random.values = c.draws;
        mail.sent.clear();
        controller->customCommand(QStringLiteral("stk"));
        EXPECT_EQ(replies(), QStringList{QStringLiteral("To run Stock Quote, reply with wndl %1").arg(c.number)});
        EXPECT_EQ(controller->lastConfirmationNumber(), c.number);
    }
    EXPECT_EQ(runsOf(stockQuote), 0);
}

TEST_F(CustomCommandTest, OtherCodesDoNotRunThePendingCommand)
{
    setLibrary({Shortcut(stockQuote, QStringLiteral("stk"))});
    controller->customCommand(QStringLiteral("stk"));
    struct Case { const char *code; bool invalid; };
    const Case cases[] = {{"48", true}, {"471", true}, {"4", true}, {"0", false}, {"-47", false}};
    for (const Case &c : cases) {
        mail.sent.clear();
        controller->confirmCommand(QString::fromLatin1(c.code));
        EXPECT_EQ(runsOf(stockQuote), 0) << c.code;
        const QStringList expected = c.invalid ? QStringList{QStringLiteral("That confirmation number is not valid. Search again to get a new list.")}
                                               : QStringList();
        EXPECT_EQ(replies(), expected) << c.code;
    }
}

TEST_F(CustomCommandTest, WithoutConfirmationTheScriptRunsAtOnce)
{
    setConfirmation(false);
    setLibrary({Shortcut(stockQuote, QStringLiteral("stk"))});
    controller->customCommand(QStringLiteral("stk"));
    EXPECT_EQ(runsOf(stockQuote), 1);
    EXPECT_EQ(replies(), QStringList{QStringLiteral("Script results: quote 42")});
    EXPECT_TRUE(mail.sent[0].mail.attachmentPath.isEmpty());
    EXPECT_TRUE(mail.sent[0].mail.cc.isEmpty());
    const QStringList entries = logEntries();
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries[entries.size() - 2], QStringLiteral("Running custom command stk"));
    EXPECT_EQ(entries.last(), QStringLiteral("Script results: quote 42"));
    EXPECT_EQ(controller->lastConfirmationNumber(), 0); // no number drawn
    EXPECT_EQ(controller->lastCommand(), QStringLiteral("customCommand"));
}

TEST_F(CustomCommandTest, OnlyALowerCaseScptExtensionRuns)
{
    setConfirmation(false);
    struct Case { const char *file; bool runs; const char *reply; };
    const Case cases[] = {
        {"Report.scpt", true, "Script results: report"},
        {"Report.SCPT", false, "Opened Report."},
        {"Report.Scpt", false, "Opened Report."},
        {"notes.txt", false, "Opened notes."},
        {"Makefile", false, "Opened Makefile."},
    };
    for (const Case &c : cases) {
        const QString path = writeCountingScript(QString::fromLatin1(c.file), "report");
        setLibrary({Shortcut(path, QStringLiteral("go"))});
        mail.sent.clear();
        workspace.opened.clear();
        controller->customCommand(QStringLiteral("go"));
        EXPECT_EQ(runsOf(path), c.runs ? 1 : 0) << c.file;
        EXPECT_EQ(workspace.opened, c.runs ? QStringList() : QStringList{path}) << c.file;
        EXPECT_EQ(replies(), QStringList{QString::fromLatin1(c.reply)}) << c.file;
        EXPECT_EQ(logEntries().last(), QString::fromLatin1(c.reply)) << c.file;
    }
}

TEST_F(CustomCommandTest, NamesOutsideTheLibraryRunNothing)
{
    setConfirmation(false);
    setLibrary({Shortcut(stockQuote, QStringLiteral("stk"))});
    const QStringList names{QStringLiteral("weather"), QStringLiteral("it's \"stk\""), QStringLiteral(".."),
                            QStringLiteral("../scripts/Stock Quote"), stockQuote, QStringLiteral("")};
    for (const QString &name : names) {
        mail.sent.clear();
        controller->customCommand(name);
        EXPECT_EQ(replies(), QStringList{QStringLiteral("There is no custom command named %1.").arg(name)}) << name.toStdString();
    }
    EXPECT_EQ(runsOf(stockQuote), 0);
    EXPECT_TRUE(workspace.opened.isEmpty());
    EXPECT_TRUE(controller->lastPath().isNull());
}

TEST_F(CustomCommandTest, AFileThatNoLongerExistsIsReportedNotRun)
{
    setConfirmation(false);
    struct Case { QString path; const char *reply; };
    const Case cases[] = {
        {scriptsDir() + QLatin1String("/gone.scpt"), "The file of custom command gone no longer exists; nothing was run."},
        {scriptsDir() + QLatin1String("/Gone Away.pdf"), "The file of custom command Gone Away no longer exists; nothing was run."},
        {scriptsDir() + QLatin1String("/../gone/x.scpt"), "The file of custom command x no longer exists; nothing was run."},
    };
    for (const Case &c : cases) {
        setLibrary({Shortcut(c.path, QStringLiteral("gone"))});
        mail.sent.clear();
        controller->customCommand(QStringLiteral("gone"));
        EXPECT_EQ(replies(), QStringList{QString::fromLatin1(c.reply)});
        EXPECT_EQ(logEntries().last(), QString::fromLatin1(c.reply));
    }
    EXPECT_TRUE(workspace.opened.isEmpty());
}

TEST_F(CustomCommandTest, AnEntryRemovedBeforeTheAnswerDoesNotRun)
{
    setLibrary({Shortcut(stockQuote, QStringLiteral("stk"))});
    controller->customCommand(QStringLiteral("stk"));
    setLibrary({});
    controller->confirmCommand(QStringLiteral("47"));
    EXPECT_EQ(runsOf(stockQuote), 0);
    EXPECT_EQ(replies().last(), QStringLiteral("Stock Quote is no longer in the list of custom commands; nothing was run."));
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

TEST_F(CustomCommandTest, AFirstStartHasTheStockQuoteEntry)
{
    EXPECT_EQ(controller->libraryArray(),
              QList<Shortcut>{Shortcut(QStringLiteral("/Applications/Wendle/Scripts/Stock Quote.scpt"), QStringLiteral("stk"))});
    setConfirmation(false);
    controller->customCommand(QStringLiteral("stk"));
    EXPECT_EQ(replies(), QStringList{QStringLiteral("The file of custom command Stock Quote no longer exists; nothing was run.")});
}
