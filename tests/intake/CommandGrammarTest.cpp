#include "intake/CommandLanguage.h"

#include "intake/EchoCapture.h"
#include "support/RecordingCommandActions.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

// The fuzz target's entry point: a command breaking its invariants aborts.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace wendle {
namespace {

const QString ConsoleError = QStringLiteral(R"(writeConsoleLine("Wendle Command Received with Error: syntax error"))");
const QString Report = QStringLiteral("reportSyntaxError()");

struct GrammarCase {
    QByteArray input;
    QStringList calls;
    int result = CommandAccepted;
};

// With `annotated`, each call carries what the scanner had echoed when it ran.
void expectDispatches(const QList<GrammarCase> &cases, bool annotated = false)
{
    for (const GrammarCase &command : cases) {
        SCOPED_TRACE(command.input.toStdString());
        test::EchoCapture echo;
        test::RecordingCommandActions actions;
        if (annotated)
            actions.annotate = [&echo] { return u'"' + QString::fromLatin1(echo.text()) + u'"'; };
        EXPECT_EQ(runCommandLanguage(command.input, actions, echo.stream()), command.result);
        EXPECT_EQ(actions.calls.join(u'\n').toStdString(), command.calls.join(u'\n').toStdString());
    }
}

// A missing argument reaches the operation as null, a present one never
// does; an error is reported once, after whatever already ran. Every row of
// the command table has a form here.
TEST(CommandGrammar, EveryFormCallsItsOperationAndErrorsAreReportedOnce)
{
    const int error = CommandSyntaxError;
    const QList<GrammarCase> cases = {
        {"wndl find named quarterly report", {R"(findFilename(" quarterly report", null))"}},
        {"wndl find file containing quarterly report", {R"(findContents(" quarterly report", null))"}},
        {"wndl find and send to a@b.c the file named report", {R"(findFilename(" report", "a@b.c"))"}},
        {"wndl fi to a@b.c -c budget", {R"(findContents("budget", "a@b.c"))"}},
        {"wndl email", {"checkEmailWithCcTo(null)"}},
        {"wndl em to a@b.c", {R"(checkEmailWithCcTo("a@b.c"))"}},
        {"wndl 473", {R"(confirmCommand("473"))"}},
        {"wndl launch backup", {R"(customCommand("backup"))"}},
        {"wndl itunes", {"launchiTunes()"}},
        {"wndl launch itunes", {"launchiTunes()"}},
        {"wndl start iphoto", {"launchiPhoto()"}},
        {"wndl ichat", {"launchiChat()"}},
        {"wndl cal 12 may 2008", {R"(getScheduleForDay("12", "may", "2008"))"}},
        {"wndl ca may", {R"(getScheduleForDay(null, "may", null))"}},
        {"wndl fax 5551234 named resume", {R"(findFileForFaxing(" resume", "5551234"))"}},
        {"wndl fx 555 -c tax", {R"(findContentsForFaxing("tax", "555"))"}},
        {"wndl snapshot", {"takeSnapshotAndEmailTo(null)"}},
        {"wndl is to a@b.c", {R"(takeSnapshotAndEmailTo("a@b.c"))"}},
        // An address after "named" is part of the file name.
        {"wndl find named report to a@b.c", {R"(findFilename(" report to a@b.c", null))"}},
        // Values are Latin-1: the address separator may be any byte.
        {"wndl email a@b\xe9"
         "c",
         {QStringLiteral(u"checkEmailWithCcTo(\"a@b\u00e9c\")")}},
        {"wndl snapshot\nwndl itunes", {"takeSnapshotAndEmailTo(null)"}},
        {"wndl", {ConsoleError, Report}, error},
        {"wndl find named", {ConsoleError, Report}, error},
        {"wndl fax 5551234", {ConsoleError, Report}, error},
        {"wndl fax 555-1234 named resume", {ConsoleError, Report}, error},
        {"wndl run backup", {ConsoleError, Report}, error},
        {"wndl launch ichat", {ConsoleError, Report}, error},
        {"wndl cal 12 12", {ConsoleError, Report}, error},
        {"wndl find email named x", {ConsoleError, Report}, error},
        {"wndl email extra", {"checkEmailWithCcTo(null)", ConsoleError, Report}, error},
        {"wndl cal 12 may 2008 x", {R"(getScheduleForDay("12", "may", "2008"))", ConsoleError, Report}, error},
        {"wndl 12 34", {R"(confirmCommand("12"))", ConsoleError, Report}, error},
    };
    expectDispatches(cases);
    for (const RemoteCommandRow &row : remoteCommands) {
        const QString called = QLatin1StringView(row.name.data(), qsizetype(row.name.size())) + u'(';
        EXPECT_TRUE(std::ranges::any_of(cases, [&](const GrammarCase &c) { return c.calls.value(0).startsWith(called); })) << row.name;
    }
}

// The echo of a trailing "." shows whether the scanner had read past the form
// when its action ran: forms that may go on wait for the next token, the
// others run at once.
TEST(CommandGrammar, ActionsRunAsSoonAsTheirFormIsComplete)
{
    expectDispatches(
        {
            {"wndl cal 12 may.", {R"(getScheduleForDay("12", "may", null) @"   .")"}},
            {"wndl snapshot.", {R"(takeSnapshotAndEmailTo(null) @" .")"}},
            {"wndl cal 12 may 2008.", {R"(getScheduleForDay("12", "may", "2008") @"    ")"}},
            {"wndl itunes.", {R"(launchiTunes() @" ")"}},
            {"wndl 473.", {R"(confirmCommand("473") @" ")"}},
            {"wndl find -f x;", {R"(findFilename("x", null) @"  ")"}},
        },
        true);
}

TEST(CommandGrammar, EveryFuzzSeedKeepsTheInvariants)
{
    const QDir corpus(QStringLiteral(WENDLE_FUZZ_CORPUS));
    const QStringList seeds = corpus.entryList(QDir::Files);
    ASSERT_GT(seeds.size(), 30);
    for (const QString &seed : seeds) {
        const QByteArray bytes = test::readFile(corpus.filePath(seed));
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    }
}

} // namespace
} // namespace wendle
