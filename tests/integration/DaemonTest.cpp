#include "support/TestFiles.h"
#include "support/WendleInstance.h"

#include <QFile>
#include <QRegularExpression>

#include <csignal>

using namespace wendle::test;

namespace {

const QString Owner = QStringLiteral("owner@example.org");

class DaemonTest : public SessionTest {
protected:
    int entriesOf(const QString &text) const { return session.logText().count(text); }
};

} // namespace

TEST_F(DaemonTest, LogsCommandsAndShutsDownOnSigterm)
{
    ASSERT_TRUE(session.startDaemon());
    EXPECT_EQ(session.runWendle({"send", "--mail", "--from", Owner, "wndl", "email"}), 0);
    EXPECT_EQ(session.runProgram("gdbus", {"call", "--session", "--dest", "org.wendle.Wendle", "--object-path", "/org/wendle/Wendle",
                                           "--method", "org.wendle.Wendle.Inbound.InboundMessage",
                                           "{'FromAddress': <'Owner <OWNER@example.org>'>, 'MessageText': <'Please wndl email'>}"}),
              0);
    EXPECT_TRUE(waitFor([&] { return entriesOf("Processing command from") == 2; }));
    EXPECT_TRUE(session.logText().contains("Processing command from Owner <OWNER@example.org>"));

    // What starts no token reaches the standard output with its command, as it came.
    EXPECT_EQ(session.send(Owner, "wndl cal 12 may;\x01\x1b\t"), 0);
    EXPECT_TRUE(waitFor([&] { return session.daemonOutput().contains("   ;\x01\x1b\t"); })) << session.daemonOutput().toHex().constData();

    // A stranger's message leaves no trace.
    EXPECT_EQ(session.send("eve@example.org", "wndl email"), 0);
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(entriesOf("Processing command from"), 3);
    EXPECT_TRUE(session.logText().endsWith(": Wendle shut down"));
}

TEST_F(DaemonTest, BadInputNeitherCrashesNorCorruptsTheLog)
{
    ASSERT_TRUE(session.startDaemon());
    QByteArray huge(10 * 1024 * 1024, 'a');
    huge.replace(0, 10, "x wndl fi ");
    const QVariantMap inputs[] = {
        {{"FromAddress", Owner}, {"MessageText", QString::fromLatin1(huge)}},
        {{"FromAddress", Owner}, {"MessageText", QByteArray("wndl \0 nul\xff\xfe bad", sizeof "wndl \0 nul\xff\xfe bad" - 1)}},
        {{"FromAddress", "\"\\\"owner@example.org\\\\\" \"\""}, {"MessageText", "wndl \"quoted\\\""}},
        {{"FromAddress", QByteArray("owner@example.org \xc3\x28")}, {"MessageText", QByteArray("wndl \xe2\x82")}},
        {{"FromAddress", 42}, {"MessageText", QVariantList{}}},
        {},
    };
    for (const QVariantMap &input : inputs) {
        EXPECT_TRUE(session.callInbound("InboundMessage", input));
        EXPECT_TRUE(session.callInbound("InboundChat", input));
    }
    EXPECT_TRUE(session.daemonRunning());
    // A sender that names no mailbox is refused, in a line of its own.
    EXPECT_TRUE(waitFor([&] { return entriesOf("Processing command") >= 7 && entriesOf("was refused") == 1; }));
    EXPECT_EQ(session.stopDaemon(), 0);

    const QByteArray log = readFile(session.supportFolder() + "/wendle.log");
    EXPECT_EQ(QString::fromUtf8(log).toUtf8(), log) << "the log is not valid UTF-8";
    EXPECT_TRUE(log.endsWith(": Wendle shut down"));
}

TEST_F(DaemonTest, HangupAndInterruptQuitAsTerminateDoesAndTheLibraryIsKept)
{
    const QString library = R"([{"path": "/home/me/bin/backup.scpt", "shortcut": "backup"}])";
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        ASSERT_TRUE(session.configure("customCommandsArray", library));
        ASSERT_TRUE(session.startDaemon());
        // The running instance owns the library: a change behind its back is refused.
        QByteArray errors;
        EXPECT_EQ(session.runWendle({"config", "set", "customCommandsArray", "[]"}, nullptr, &errors), 1);
        EXPECT_TRUE(errors.contains("Wendle is running and keeps the custom commands itself")) << errors.constData();
        EXPECT_EQ(session.runWendle({"config", "set", "phoneWidth", "30"}), 0);

        EXPECT_EQ(session.stopDaemon(signalNumber), 0);
        EXPECT_TRUE(session.logText().endsWith(": Wendle shut down"));
        QByteArray stored;
        EXPECT_EQ(session.runWendle({"config", "get", "customCommandsArray"}, &stored), 0);
        EXPECT_EQ(stored.trimmed(), R"([{"path":"/home/me/bin/backup.scpt","shortcut":"backup"}])");
        EXPECT_EQ(session.runWendle({"config", "get", "iSightStampColor"}, &stored), 0);
        EXPECT_EQ(stored.trimmed(), "#ff00ff00");
        QFile::remove(session.supportFolder() + "/wendle.log");
    }
}

// The desktop entry clicked while the unit runs: the running Wendle answers,
// the second start ends well, and neither says a word about a runtime folder.
TEST_F(DaemonTest, ASecondRunAsksTheRunningOneToShowItself)
{
    ASSERT_TRUE(session.startDaemon());
    QProcessEnvironment environment = session.environment();
    environment.remove("XDG_RUNTIME_DIR");
    for (const QStringList &arguments : {QStringList{"run"}, QStringList{"run", "--headless"}}) {
        QByteArray output, errors;
        EXPECT_EQ(runProcess(WENDLE_BINARY, arguments, environment, &output, &errors), 0) << errors.constData();
        EXPECT_TRUE(output.startsWith(QStringLiteral("Wendle already runs in this session without a window (process %1, data folder %2)")
                                          .arg(session.daemonProcessId()).arg(session.supportFolder()).toUtf8()))
            << output.constData();
        EXPECT_FALSE(errors.contains("XDG_RUNTIME_DIR")) << errors.constData();
    }
    EXPECT_TRUE(session.daemonRunning());
    EXPECT_EQ(session.stopDaemon(), 0);
}

// An instance the bus started ends with its bus, as when the session ends.
TEST_F(DaemonTest, QuitsCleanlyWhenItsSessionBusGoesAway)
{
    ASSERT_TRUE(session.startDaemon());
    session.stopBus();
    EXPECT_EQ(session.waitForDaemonExit(), 0);
    EXPECT_TRUE(session.logText().contains("the D-Bus session bus went away; Wendle quits")) << session.logText().toStdString();
    EXPECT_TRUE(session.logText().endsWith(": Wendle shut down"));
}

// Started on a bus of its own, Wendle says how other terminals reach it.
TEST_F(DaemonTest, OnABusOfItsOwnItPrintsTheLineForOtherTerminals)
{
    QProcessEnvironment environment = session.environment();
    environment.remove("DBUS_SESSION_BUS_ADDRESS");
    QProcess privateSession;
    privateSession.setProcessEnvironment(environment);
    endWithTheTest(privateSession);
    privateSession.start("dbus-run-session", {"--", WENDLE_BINARY, "run", "--headless"});
    ASSERT_TRUE(privateSession.waitForStarted());
    QByteArray errors;
    const QRegularExpression exportLine("\nexport DBUS_SESSION_BUS_ADDRESS='([^'\n]+)'\n");
    QRegularExpressionMatch match;
    ASSERT_TRUE(waitFor([&] {
        errors += privateSession.readAllStandardError();
        match = exportLine.match(QString::fromUtf8(errors));
        return match.hasMatch() || privateSession.state() != QProcess::Running;
    })) << errors.constData();
    ASSERT_TRUE(match.hasMatch()) << errors.constData();

    environment.insert("DBUS_SESSION_BUS_ADDRESS", match.captured(1));
    QByteArray status;
    EXPECT_EQ(runProcess(WENDLE_BINARY, {"status"}, environment, &status), 0);
    EXPECT_TRUE(status.startsWith("running: yes\nprocess: ")) << status.constData();
    const pid_t wendle = pid_t(QString::fromUtf8(status).section('\n', 1, 1).section(' ', 1).toLongLong());
    ASSERT_GT(wendle, 0);
    ::kill(wendle, SIGTERM);
    EXPECT_TRUE(privateSession.waitForFinished(15000));
    EXPECT_EQ(privateSession.exitCode(), 0);
}
