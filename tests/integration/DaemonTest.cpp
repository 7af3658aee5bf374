#include "app/InboundLimits.h"
#include "platform/mail/InboundMessage.h"
#include "support/ParsedMail.h"
#include "support/TestFiles.h"
#include "support/WendleInstance.h"

#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <csignal>

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Owner = QStringLiteral("owner@example.org");

class DaemonTest : public SessionTest {
protected:
    int entriesOf(const QString &text) const { return session.logText().count(text); }
};

// The methods, signals and properties of Wendle's own interfaces in an
// introspection document, one line each with the types of their arguments.
std::string wendleMembers(const QByteArray &introspection)
{
    QStringList members;
    QXmlStreamReader xml(introspection);
    QString interface;
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (!xml.isStartElement())
            continue;
        const QString name = xml.attributes().value("name").toString();
        if (xml.name() == u"interface")
            interface = name;
        else if (!interface.startsWith("org.wendle.") || xml.name() == u"annotation" || xml.name() == u"node")
            continue;
        else if (xml.name() == u"arg") // ins before outs, as the file lists them
            members.last() += (xml.attributes().value("direction") == u"out" ? QStringLiteral(" ~out:") : QStringLiteral(" in:"))
                              + xml.attributes().value("type").toString();
        else
            members << interface + u' ' + xml.name().toString() + u' ' + name + u' ' + xml.attributes().value("type").toString();
    }
    for (QString &member : members) {
        QStringList words = member.split(u' ');
        std::sort(words.begin() + 3, words.end());
        member = words.join(u' ');
    }
    members.sort();
    return str(members.join(u'\n'));
}

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
    // "every few minutes" in a line of the watch limit must not count.
    EXPECT_FALSE(session.logText().contains(QRegularExpression(QStringLiteral("eve[0-9]@")))) << str(session.logText());
    const QString console = session.daemonConsole();
    EXPECT_TRUE(console.contains("a message from eve0@example.org was not taken: the sender is not one of the configured addresses"))
        << str(console);
    EXPECT_EQ(console.count("was not taken"), 5);
    EXPECT_TRUE(console.contains("2 more messages from other senders were left out of the console")) << str(console);
}

// What the running instance keeps in memory and stores at quit takes up a
// `wendle config set` made while it runs, rather than writing over it.
TEST_F(DaemonTest, HangupAndInterruptQuitAsTerminateDoesAndSettingsSetWhileRunningAreKept)
{
    const QString library = R"([{"path": "/home/me/bin/backup.scpt", "shortcut": "backup"}])";
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        ASSERT_TRUE(session.configure({{"customCommandsArray", "[]"}, {"iSightStampColor", "#00ff00"}}));
        ASSERT_TRUE(session.startDaemon());
        EXPECT_EQ(session.runWendle({"config", "set", "customCommandsArray", library}), 0);
        EXPECT_EQ(session.runWendle({"config", "set", "iSightStampColor", "#ff0000"}), 0);
        EXPECT_EQ(session.runWendle({"config", "set", "phoneWidth", "30"}), 0);

        EXPECT_EQ(session.stopDaemon(signalNumber), 0);
        EXPECT_TRUE(session.logText().endsWith(": Wendle shut down"));
        QByteArray stored;
        EXPECT_EQ(session.runWendle({"config", "get", "customCommandsArray"}, &stored), 0);
        EXPECT_EQ(stored.trimmed(), R"([{"path":"/home/me/bin/backup.scpt","shortcut":"backup"}])");
        EXPECT_EQ(session.runWendle({"config", "get", "iSightStampColor"}, &stored), 0);
        EXPECT_EQ(stored.trimmed(), "#ff0000");
        // Written at quit as text a person reads, not as Qt's encoded variants.
        const QByteArray file = readFile(session.home() + "/.config/wendle/wendle.conf");
        EXPECT_FALSE(file.contains("@Variant") || file.contains("@ByteArray")) << file.constData();
        QFile::remove(session.supportFolder() + "/wendle.log");
    }
}

// Bad input neither crashes Wendle nor corrupts its log. Past its bound a call
// gets an error reply and nothing of it is taken; a text at its bound still runs.
TEST_F(DaemonTest, BadOrOverlongInputIsRefusedAndNothingOfItIsTaken)
{
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    QByteArray huge(MaxInboundTextBytes, 'a');
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

    // What follows the command is quoted text, which the intake leaves out.
    const auto padded = [](const char *command, qsizetype bytes) {
        QByteArray text = QByteArray(command) + "\n> ";
        return QString::fromLatin1(text + QByteArray(bytes - text.size(), 'q'));
    };
    const auto mail = [](const QString &text, const QString &from = Owner) {
        return QVariantMap{{"FromAddress", from}, {"MessageText", text}};
    };
    QVariantMap longId = mail("wndl find named longid"), longResults = mail("wndl find named longresults");
    longId.insert("MessageID", QString(MaxInboundNameBytes + 1, u'i'));
    longResults.insert("AuthenticationResults", QString(MaxInboundResultsBytes + 1, u'r'));
    QVariantMap junk = mail("wndl find named junk");
    junk.insert("Junk", QByteArray(MaxInboundMessageBytes, 'j'));
    struct Case {
        const char *term;
        QVariantMap arguments;
        bool taken;
    };
    const Case cases[] = {
        {"atbound", mail(padded("wndl find named atbound", MaxInboundTextBytes)), true},
        {"pastbound", mail(padded("wndl find named pastbound", MaxInboundTextBytes + 1)), false},
        {"fiftymegabytes", mail(padded("wndl find named fiftymegabytes", 50 * 1024 * 1024)), false},
        {"longfrom", mail("wndl find named longfrom", Owner + QString(MaxInboundNameBytes, u'x')), false},
        {"longid", longId, false},
        {"longresults", longResults, false},
        {"junk", junk, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(session.callInbound("InboundMessage", c.arguments), c.taken) << c.term;

    // Words that together pass the bound: `wendle send` says why it failed.
    QStringList words{"send", "--mail", "--from", Owner, "wndl", "find", "named", "sendtoolong"};
    for (int i = 0; i < 9; ++i)
        words << QString(120 * 1000, u'w');
    QByteArray errors;
    EXPECT_EQ(session.runWendle(words, nullptr, &errors), 1);
    // Its first line; Qt DBus now and then adds a warning of its own below.
    EXPECT_EQ(errors.left(errors.indexOf('\n') + 1).toStdString(),
              "wendle send: Wendle refused the message: the message text is longer than 1 MiB\n");

    EXPECT_EQ(session.send(Owner, "wndl find named lastone"), 0);
    EXPECT_TRUE(waitFor([&] { return session.logText().contains("lastone"); }));
    EXPECT_EQ(session.stopDaemon(), 0);
    const QString log = session.logText();
    for (const Case &c : cases)
        EXPECT_EQ(log.contains(QLatin1String(c.term)), c.taken) << c.term;
    EXPECT_FALSE(log.contains("sendtoolong"));
    EXPECT_EQ(log.toUtf8(), readFile(session.supportFolder() + "/wendle.log")) << "the log is not valid UTF-8";
    EXPECT_TRUE(log.endsWith(": Wendle shut down"));
}

// A running script holds up neither the bus nor the order of commands: a
// call made while it runs is answered at once, and the command it brought
// runs after the script's answer.
TEST_F(DaemonTest, ACommandWaitsForTheRunningScriptButTheBusDoesNot)
{
    const QString gate = session.home() + "/gate";
    const QString script = session.home() + "/gated.scpt";
    ASSERT_TRUE(writeFile(script, "#!/bin/sh\ntouch \"$0.started\"\nwhile [ ! -e '" + gate.toUtf8()
                                      + "' ]; do sleep 0.1; done\necho gate opened\n"));
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(session.configure({{"customCommandsArray", QStringLiteral(R"([{"path": "%1", "shortcut": "gated"}])").arg(script)},
                                   {"confirmCustomCommands", "no"},
                                   {"limitCommandsFlag", "no"},
                                   {"customCommandTimeout", "30"}}));
    ASSERT_TRUE(session.startDaemon());
    EXPECT_EQ(session.send(Owner, "wndl launch gated"), 0);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(script + ".started"); }));

    EXPECT_EQ(session.send(Owner, "wndl find named afterscript"), 0);
    // The script still waits for its gate: nothing of its end is logged.
    EXPECT_FALSE(session.logText().contains("script results")) << session.logText().toStdString();
    EXPECT_FALSE(session.logText().contains("failed while running")) << session.logText().toStdString();
    EXPECT_FALSE(session.logText().contains("afterscript"));

    ASSERT_TRUE(writeFile(gate, ""));
    EXPECT_TRUE(waitFor([&] { return session.logText().contains("afterscript"); }));
    EXPECT_EQ(session.stopDaemon(), 0);
    const QString log = session.logText();
    const qsizetype answer = log.indexOf("Wendle: script results: gate opened");
    EXPECT_GE(answer, 0) << log.toStdString();
    EXPECT_LT(answer, log.lastIndexOf("Processing command from")) << log.toStdString();
}

// The desktop entry clicked while the unit runs: the running Wendle answers,
// the second start ends well, and neither says a word about a runtime folder.
TEST_F(DaemonTest, ASecondRunAsksTheRunningOneToShowItselfAndItQuitsWithItsBus)
{
    ASSERT_TRUE(session.startDaemon());
    // The interface file installed for other programs describes what the bus offers.
    QByteArray introspection;
    ASSERT_EQ(session.runProgram("gdbus",
                                 {"introspect", "--session", "--xml", "--dest", "org.wendle.Wendle", "--object-path", "/org/wendle/Wendle"},
                                 &introspection),
              0);
    const std::string offered = wendleMembers(introspection);
    EXPECT_EQ(QString::fromStdString(offered).count(" method "), 7) << offered;
    EXPECT_EQ(wendleMembers(readFile(QStringLiteral(WENDLE_SOURCE_RESOURCES) + "/org.wendle.Wendle.Inbound.xml")), offered);

    QProcessEnvironment environment = session.environment();
    environment.remove("XDG_RUNTIME_DIR");
    for (const QStringList &arguments : {QStringList{"run"}, QStringList{"run", "--headless"}}) {
        QByteArray output, errors;
        EXPECT_EQ(runProcess(WENDLE_BINARY, arguments, environment, &output, &errors), 0) << errors.constData();
        EXPECT_TRUE(output.startsWith(QStringLiteral("Wendle already runs in this session without a window (process %1, data folder %2)")
                                          .arg(session.daemonProcessId())
                                          .arg(session.supportFolder())
                                          .toUtf8()))
            << output.constData();
        EXPECT_FALSE(errors.contains("XDG_RUNTIME_DIR")) << errors.constData();
    }
    EXPECT_TRUE(session.daemonRunning());

    // An instance the bus started ends with its bus, as when the session ends.
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
