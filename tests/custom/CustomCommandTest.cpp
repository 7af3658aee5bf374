#include "custom/CustomCommandFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Quote = QStringLiteral("Wendle: script results: quote 42");
const QString CompileError = QStringLiteral("Wendle Log Update:  Error trying to execute the last custom command experienced "
                                            "while compiling custom script (script follows)\n\n");

class CustomCommandTest : public CustomCommandFixture {
protected:
    const QString stockQuote = writeCountingScript(QStringLiteral("Stock Quote.scpt"), "quote 42");
};

} // namespace

// Without confirmation the script runs at once, and no number is drawn.
TEST_F(CustomCommandTest, NamesMatchInAnyMixOfCaseAndNothingElse)
{
    setConfirmation(false);
    setLibrary({Shortcut(stockQuote, QStringLiteral("sTk"))});
    for (const QString &name : QStringList{"stk ", "st", "it's \"stk\"", "../scripts/Stock Quote", stockQuote, ""}) {
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
        EXPECT_EQ(logEntries().mid(logEntries().size() - 2), (QStringList{"Running custom command " + name, Quote}));
    }
    EXPECT_EQ(controller->lastConfirmationNumber(), 0);
    EXPECT_EQ(controller->lastCommand(), QStringLiteral("customCommand"));
    EXPECT_TRUE(workspace.opened.isEmpty());
}

TEST_F(CustomCommandTest, TheFirstOfTwoEqualNamesRunsUnlessItsPathIsTooShort)
{
    setConfirmation(false);
    const QString second = writeCountingScript(QStringLiteral("second.scpt"), "second");
    for (const QString &firstPath : {stockQuote, QStringLiteral("x"), QStringLiteral(""), QString()}) {
        setLibrary({Shortcut("/s/other.scpt", "other"), Shortcut(firstPath, "dup"), Shortcut(second, "DUP")});
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
    const std::pair<QList<long>, int> cases[] = {{{347}, 47}, {{100, 3, 9, 199}, 99}};
    int runs = 0;
    for (const auto &[draws, number] : cases) {
        random.values = draws;
        EXPECT_EQ(command(QStringLiteral("STK")),
                  QStringList{QStringLiteral("Wendle: to run Stock Quote, reply with wndl %1").arg(number)});
        EXPECT_EQ(logEntries().last(), QStringLiteral("Custom command STK is waiting for its confirmation number"));
        EXPECT_EQ(runsOf(stockQuote), runs);
        for (int twice = 0; twice < 2; ++twice) {
            controller->confirmCommand(QString::number(number));
            finish();
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
    const std::pair<const char *, QStringList> cases[] = {{"48", invalid}, {"471", invalid}, {"0", {}}};
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

TEST_F(CustomCommandTest, OnlyALowerCaseScptExtensionRuns)
{
    setConfirmation(false);
    const std::pair<const char *, const char *> cases[] = {{"Report.scpt", "Wendle: script results: report"},
                                                           {"Report.SCPT", "Wendle: opened Report."},
                                                           {"notes.txt", "Wendle: opened notes."}};
    for (const auto &[file, reply] : cases) {
        const QString path = writeCountingScript(QString::fromLatin1(file), "report");
        const bool runs = QByteArray(file).endsWith(".scpt");
        setLibrary({Shortcut(path, QStringLiteral("go"))});
        workspace.opened.clear();
        EXPECT_EQ(command(QStringLiteral("go")), QStringList{QString::fromLatin1(reply)}) << file;
        EXPECT_EQ(runsOf(path), runs ? 1 : 0) << file;
        EXPECT_EQ(workspace.opened, runs ? QStringList() : QStringList{path}) << file;
        EXPECT_EQ(logEntries().last(), QString::fromLatin1(reply)) << file;
    }
}

// A script that is not there cannot be loaded: no reply, a log entry and a
// console line. Another kind of file that is gone is answered plainly.
TEST_F(CustomCommandTest, AFileThatNoLongerExistsIsNotRun)
{
    setConfirmation(false);
    // The Stock Quote entry of a first start names a script that is not here.
    EXPECT_TRUE(command(QStringLiteral("stk")).isEmpty());
    EXPECT_EQ(logEntries().last(), QStringLiteral("Custom script /Applications/Wendle/Scripts/Stock Quote.scpt could not be started: it "
                                                  "must be readable, executable and begin with a #! line naming an installed "
                                                  "interpreter. Script follows:\n"));
    EXPECT_EQ(console.lines, QStringList{CompileError});

    const QString gone = QStringLiteral("Wendle: the file of custom command Gone Away no longer exists; nothing was run.");
    setLibrary({Shortcut(scriptsDir() + QLatin1String("/Gone Away.pdf"), QStringLiteral("stk"))});
    EXPECT_EQ(command(QStringLiteral("stk")), QStringList{gone});
    EXPECT_EQ(logEntries().last(), gone);
    EXPECT_TRUE(console.lines.isEmpty());
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
