#include "custom/CustomCommandFixture.h"
#include "support/WaitFor.h"

#include <QTimer>
#include <QUrl>

using namespace wendle;
using namespace wendle::test;

namespace {

// The owner's scripts, really run, with confirmation off so that each
// command runs at once.
class CustomScriptTest : public CustomCommandFixture {
protected:
    CustomScriptTest() { setConfirmation(false); }

    // Runs the file as custom command "go"; answers the replies.
    QStringList runAs(const QString &path)
    {
        setLibrary({Shortcut(path, QStringLiteral("go"))});
        return command(QStringLiteral("go"));
    }
};

// Whether the process is gone; a zombie counts as gone. Waits a little,
// since a killed process is reaped by its new parent in its own time.
bool processEnds(const QByteArray &pid)
{
    return waitFor(
        [&] {
            const QByteArray fields = readFile(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid.trimmed())));
            return fields.isEmpty() || fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
        },
        10000);
}

} // namespace

TEST_F(CustomScriptTest, ScriptsAnswerWithWhatTheyPrint)
{
    // the script's file, its text, the reply
    const std::tuple<const char *, QByteArray, QString> cases[] = {
        {"shell.scpt", "#!/bin/sh\necho \"disk: $((40 + 2))% used\"\n", QStringLiteral("Wendle: script results: disk: 42% used")},
        {"python.scpt", "#!/usr/bin/env python3\nprint('Z\\u00fcrich', 7, '\\u00b0C')\n",
         QStringLiteral("Wendle: script results: Zürich 7 °C")},
        {"lines.scpt", "#!/bin/sh\nprintf 'one\\ntwo\\n\\n'\n", QStringLiteral("Wendle: script results: one\ntwo")},
        {"latin1.scpt", "#!/bin/sh\nprintf '\\351t\\351 \\0\\033\\n'\n", QStringLiteral("Wendle: script results: été \uFFFD\uFFFD")},
        {"Quiet Script.scpt", "#!/bin/sh -e\necho\n", QStringLiteral("Wendle: the script Quiet Script ran and returned nothing.")},
    };
    for (const auto &[file, source, reply] : cases) {
        EXPECT_EQ(runAs(writeScript(QString::fromUtf8(file), source)), QStringList{reply}) << file;
        EXPECT_EQ(logEntries().last(), reply) << file;
        EXPECT_TRUE(console.lines.isEmpty()) << file;
    }
}

// Not startable, or not even parsed by its interpreter: the script does not
// compile. Nothing of it runs, and the owner gets no reply.
TEST_F(CustomScriptTest, AScriptThatCannotRunIsReportedWithItsText)
{
    // The file, its text, whether it is executable, whether the report quotes
    // it: a text script is quoted whole, a binary one not at all.
    const std::tuple<const char *, QByteArray, bool, bool> cases[] = {
        {"plain.scpt", "#!/bin/sh\necho hi\n", false, true},
        {"noshebang.scpt", "echo hi\n", true, true},
        {"binary.scpt", QByteArray("\177ELF\0\0\1", 7), true, false},
        {"badinterpreter.scpt", "#!/no/such/interpreter\n", true, true},
        {"syntax.scpt", "#!/bin/sh\necho ran >> \"$0.runs\"\nif then fi\n", true, true},
        {"syntax.py.scpt", "#!/usr/bin/env python3\nopen(__file__ + '.runs', 'a').write('ran\\n')\nprint(\n", true, true},
    };
    for (const auto &[file, source, executable, isQuoted] : cases) {
        SCOPED_TRACE(file);
        const QString path = writeScript(QString::fromLatin1(file), source, executable);
        const QString quoted = isQuoted ? QString::fromUtf8(source) : QString();
        EXPECT_TRUE(runAs(path).isEmpty());
        EXPECT_EQ(logEntries().last(), QStringLiteral("Custom script %1 could not be started: it must be readable, executable and "
                                                      "begin with a #! line naming an installed interpreter. Script follows:\n%2")
                                           .arg(path, quoted));
        EXPECT_EQ(console.lines, QStringList{QStringLiteral("Wendle Log Update:  Error trying to execute the last custom command "
                                                            "experienced while compiling custom script (script follows)\n\n")
                                             + quoted});
        EXPECT_EQ(runsOf(path), 0);
    }
}

// A script that fails, and one past its time limit, are logged without a
// reply; the slow one's shell waits on a child of its own, which must end too.
TEST_F(CustomScriptTest, AFailingScriptOrOnePastItsTimeLimitIsStoppedAndWendleCarriesOn)
{
    preferences.setValue(QString::fromLatin1(RBCustomCommandTimeout), 1);
    const QString failing = writeScript(QStringLiteral("fail.scpt"), "#!/bin/sh\necho partial\necho broken >&2\nexit 3\n");
    const QString slow = writeScript(QStringLiteral("slow.scpt"), "#!/bin/sh\nsleep 300 &\necho $! > \"$0.child\"\nwait\necho done\n");
    for (const QString &path : {failing, slow}) {
        EXPECT_TRUE(runAs(path).isEmpty()) << path.toStdString();
        EXPECT_EQ(logEntries().last(), QStringLiteral("Custom script %1 failed while running (it ended with an error or ran past its "
                                                      "time limit)")
                                           .arg(QUrl::fromLocalFile(path).toString()));
        EXPECT_TRUE(console.lines.isEmpty());
    }
    EXPECT_TRUE(processEnds(readFile(slow + QLatin1String(".child"))));
    EXPECT_EQ(runAs(writeCountingScript(QStringLiteral("quick.scpt"), "still here")), QStringList{"Wendle: script results: still here"});
}

// The call that starts a script returns at once; the event loop runs while
// the script waits for its gate, and what waits for the command runs once
// the script has answered.
TEST_F(CustomScriptTest, AScriptAnswersAfterTheCallThatStartedItReturned)
{
    const QString gate = scriptsDir() + QLatin1String("/gate");
    const QString path = writeScript(QStringLiteral("gated.scpt"), "#!/bin/sh\ntouch \"$0.started\"\nwhile [ ! -e '" + gate.toUtf8()
                                                                       + "' ]; do sleep 0.05; done\necho opened\n");
    setLibrary({Shortcut(path, QStringLiteral("go"))});
    controller->customCommand(QStringLiteral("go"));
    EXPECT_TRUE(controller->commandRunning());
    bool timerRan = false;
    QTimer::singleShot(0, [&timerRan] { timerRan = true; });
    ASSERT_TRUE(waitFor([&] { return timerRan && QFile::exists(path + QLatin1String(".started")); }));
    EXPECT_TRUE(replies().isEmpty());

    const auto repliesBeforeNext = std::make_shared<QStringList>();
    controller->whenCommandFinished([this, repliesBeforeNext] { *repliesBeforeNext = replies(); });
    EXPECT_TRUE(repliesBeforeNext->isEmpty()) << "the next command did not wait";
    writeFile(gate, "");
    EXPECT_TRUE(waitFor([&] { return !controller->commandRunning(); }));
    EXPECT_EQ(*repliesBeforeNext, QStringList{"Wendle: script results: opened"});
}

// Wendle quitting while a script runs ends the script and what it started.
TEST_F(CustomScriptTest, AScriptStillRunningEndsWithTheController)
{
    const QString path = writeScript(QStringLiteral("long.scpt"), "#!/bin/sh\nsleep 300 &\necho $! > \"$0.child\"\nwait\n");
    setLibrary({Shortcut(path, QStringLiteral("go"))});
    controller->customCommand(QStringLiteral("go"));
    ASSERT_TRUE(waitFor([&] { return readFile(path + QLatin1String(".child")).endsWith('\n'); }));
    controller.reset();
    EXPECT_TRUE(processEnds(readFile(path + QLatin1String(".child"))));
}

TEST(ScriptText, DecodingWhatScriptsPrint)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"plain\ttext\r\n", QStringLiteral("plain\ttext\r\n")},
        {"caf\xc3\xa9", QStringLiteral("café")},
        {"caf\xe9", QStringLiteral("café")},
        {QByteArray("a\0b\033c\177", 6), QStringLiteral("a\uFFFDb\uFFFDc\uFFFD")},
        {"\205x", QStringLiteral("\uFFFDx")},
    };
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(decodeScriptText(bytes), text) << bytes.toHex().toStdString();
}
