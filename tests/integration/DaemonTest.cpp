#include "support/ParsedMail.h"
#include "support/TestFiles.h"
#include "support/WendleInstance.h"

#include <QFile>

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

    // A stranger's message leaves no trace in the log; the console says why
    // it was not taken, the first few times an hour, and then counts.
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(session.send(QStringLiteral("eve%1@example.org").arg(i), "wndl email"), 0);
    EXPECT_TRUE(waitFor([&] { return session.daemonConsole().contains("eve4@example.org"); })) << str(session.daemonConsole());
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(entriesOf("Processing command from"), 3);
    EXPECT_TRUE(session.logText().endsWith(": Wendle shut down"));
    EXPECT_FALSE(session.logText().contains("eve")) << str(session.logText());
    const QString console = session.daemonConsole();
    EXPECT_TRUE(console.contains("a message from eve0@example.org was not taken: the sender is not one of the configured addresses"))
        << str(console);
    EXPECT_EQ(console.count("was not taken"), 5);
    EXPECT_TRUE(console.contains("2 more messages from other senders were left out of the console")) << str(console);
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
