#include "intake/CommandLanguage.h"

#include "intake/EchoCapture.h"
#include "support/RecordingCommandActions.h"

#include <gtest/gtest.h>

namespace wendle {
namespace {

const QString ConsoleError =
    QStringLiteral(R"(writeConsoleLine("Wendle Command Received with Error: syntax error"))");
const QString Report = QStringLiteral("reportSyntaxError()");

// One call per line, so a failure prints readable text.
std::string lines(const QStringList &calls)
{
    return calls.join(u'\n').toStdString();
}

struct GrammarCase {
    QByteArray input;
    QStringList calls;
    int result = CommandAccepted;
};

void expectDispatches(const QList<GrammarCase> &cases)
{
    for (const GrammarCase &command : cases) {
        SCOPED_TRACE(command.input.toStdString());
        test::EchoCapture echo;
        test::RecordingCommandActions actions;
        EXPECT_EQ(runCommandLanguage(command.input, actions, echo.stream()), command.result);
        EXPECT_EQ(lines(actions.calls), lines(command.calls));
    }
}

TEST(CommandGrammar, EveryFormCallsItsOperation)
{
    expectDispatches({
        {"wndl find named quarterly report", {R"(findFilename(" quarterly report", null))"}},
        {"wndl find file containing quarterly report", {R"(findContents(" quarterly report", null))"}},
        {"wndl find and send to a@b.c the file named report", {R"(findFilename(" report", "a@b.c"))"}},
        {"wndl find and send to a@b.c the file containing budget",
         {R"(findContents(" budget", "a@b.c"))"}},
        {"wndl email", {"checkEmailWithCcTo(null)"}},
        {"wndl email to a@b.c", {R"(checkEmailWithCcTo("a@b.c"))"}},
        {"wndl 473", {R"(confirmCommand("473"))"}},
        {"wndl launch backup", {R"(customCommand("backup"))"}},
        {"wndl itunes", {"launchiTunes()"}},
        {"wndl launch itunes", {"launchiTunes()"}},
        {"wndl iphoto", {"launchiPhoto()"}},
        {"wndl start iphoto", {"launchiPhoto()"}},
        {"wndl ichat", {"launchiChat()"}},
        {"wndl chat", {"launchiChat()"}},
        {"wndl cal 12 may 2008", {R"(getScheduleForDay("12", "may", "2008"))"}},
        {"wndl cal 12 may", {R"(getScheduleForDay("12", "may", null))"}},
        {"wndl cal may", {R"(getScheduleForDay(null, "may", null))"}},
        {"wndl fax 5551234 named resume", {R"(findFileForFaxing(" resume", "5551234"))"}},
        {"wndl fax 5551234 containing resume", {R"(findContentsForFaxing(" resume", "5551234"))"}},
        {"wndl snapshot", {"takeSnapshotAndEmailTo(null)"}},
        {"wndl isight", {"takeSnapshotAndEmailTo(null)"}},
        {"wndl camera", {"takeSnapshotAndEmailTo(null)"}},
        {"wndl snapshot to a@b.c", {R"(takeSnapshotAndEmailTo("a@b.c"))"}},
    });
}

TEST(CommandGrammar, AbbreviationsAndArgumentDetails)
{
    expectDispatches({
        {"wndl fi -f budget", {R"(findFilename("budget", null))"}},
        {"wndl cm backup", {R"(customCommand("backup"))"}},
        {"wndl em", {"checkEmailWithCcTo(null)"}},
        {"wndl it", {"launchiTunes()"}},
        {"wndl ip", {"launchiPhoto()"}},
        {"wndl ic", {"launchiChat()"}},
        {"wndl ca may", {R"(getScheduleForDay(null, "may", null))"}},
        {"wndl fx 555 -c tax", {R"(findContentsForFaxing("tax", "555"))"}},
        {"wndl is to a@b.c", {R"(takeSnapshotAndEmailTo("a@b.c"))"}},
        // An address after "named" is part of the file name.
        {"wndl find named report to a@b.c", {R"(findFilename(" report to a@b.c", null))"}},
        // Values are Latin-1: the address separator may be any byte.
        {"wndl email a@b\xe9" "c", {QStringLiteral(u"checkEmailWithCcTo(\"a@b\u00e9c\")")}},
        {"wndl snapshot\nwndl itunes", {"takeSnapshotAndEmailTo(null)"}},
    });
}

TEST(CommandGrammar, ErrorsAreReportedOnceAfterWhateverAlreadyRan)
{
    const int error = CommandSyntaxError;
    expectDispatches({
        {"wndl", {ConsoleError, Report}, error},
        {"wndl find", {ConsoleError, Report}, error},
        {"wndl find named", {ConsoleError, Report}, error},
        {"wndl fax 5551234", {ConsoleError, Report}, error},
        {"wndl fax 555-1234 named resume", {ConsoleError, Report}, error},
        {"wndl run backup", {ConsoleError, Report}, error},
        {"wndl launch ichat", {ConsoleError, Report}, error},
        {"wndl launch 1234", {ConsoleError, Report}, error},
        {"wndl cal 12 12", {ConsoleError, Report}, error},
        {"wndl find email named x", {ConsoleError, Report}, error},
        {"wndl itunes now", {"launchiTunes()", ConsoleError, Report}, error},
        {"wndl email extra", {"checkEmailWithCcTo(null)", ConsoleError, Report}, error},
        {"wndl snapshot 12", {"takeSnapshotAndEmailTo(null)", ConsoleError, Report}, error},
        {"wndl cal 12 may 2008 x", {R"(getScheduleForDay("12", "may", "2008"))", ConsoleError, Report}, error},
        {"wndl 12 34", {R"(confirmCommand("12"))", ConsoleError, Report}, error},
    });
}

// The echo of a trailing "." shows whether the scanner had read past the form
// when its action ran: forms that may go on wait for the next token, the
// others run at once.
TEST(CommandGrammar, ActionsRunAsSoonAsTheirFormIsComplete)
{
    const QList<GrammarCase> cases = {
        {"wndl cal 12 may.", {R"(getScheduleForDay("12", "may", null) @"   .")"}},
        {"wndl email.", {R"(checkEmailWithCcTo(null) @" .")"}},
        {"wndl snapshot.", {R"(takeSnapshotAndEmailTo(null) @" .")"}},
        {"wndl cal 12 may 2008.", {R"(getScheduleForDay("12", "may", "2008") @"    ")"}},
        {"wndl itunes.", {R"(launchiTunes() @" ")"}},
        {"wndl 473.", {R"(confirmCommand("473") @" ")"}},
        {"wndl find -f x;", {R"(findFilename("x", null) @"  ")"}},
    };
    for (const GrammarCase &command : cases) {
        SCOPED_TRACE(command.input.toStdString());
        test::EchoCapture echo;
        test::RecordingCommandActions actions;
        actions.annotate = [&echo] { return u'"' + QString::fromLatin1(echo.text()) + u'"'; };
        EXPECT_EQ(runCommandLanguage(command.input, actions, echo.stream()), CommandAccepted);
        EXPECT_EQ(lines(actions.calls), lines(command.calls));
    }
}

TEST(CommandGrammar, EveryCommandStartsInTheInitialMode)
{
    test::EchoCapture echo;
    test::RecordingCommandActions actions;
    runCommandLanguage("wndl find named", actions, echo.stream());
    runCommandLanguage("wndl find -f 12", actions, echo.stream());
    actions.calls.clear();
    EXPECT_EQ(runCommandLanguage("wndl 473", actions, echo.stream()), CommandAccepted);
    EXPECT_EQ(lines(actions.calls), R"(confirmCommand("473"))");
}

// Null and empty must stay apart all the way to the operation.
class ArgumentProbe : public test::RecordingCommandActions {
public:
    QString term, address;
    void findFilename(const QString &t, const QString &a) override { term = t; address = a; }
};

TEST(CommandGrammar, MissingArgumentsAreNullAndPresentOnesAreNot)
{
    test::EchoCapture echo;
    ArgumentProbe probe;
    runCommandLanguage("wndl find named report", probe, echo.stream());
    EXPECT_FALSE(probe.term.isNull());
    EXPECT_TRUE(probe.address.isNull());
    runCommandLanguage("wndl find to a@b.c -f report", probe, echo.stream());
    EXPECT_EQ(probe.term, QStringLiteral("report"));
    EXPECT_EQ(probe.address, QStringLiteral("a@b.c"));
}

} // namespace
} // namespace wendle
