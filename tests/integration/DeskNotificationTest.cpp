#include "support/NotificationServer.h"
#include "support/WendleInstance.h"

using namespace wendle::test;

namespace {

using Notice = NotificationServer::Notice;

const QString ByMail = QStringLiteral("Wendle: a command came by mail");
const QString ByChat = QStringLiteral("Wendle: a command came by chat");
const QString NoService = QStringLiteral("wendle: no desktop notification service answers on the session bus (");

class DeskNotificationTest : public SessionTest {
protected:
    QString config() const { return QString::fromUtf8(readFile(session.home() + "/.config/wendle/wendle.conf")); }
    qsizetype logged(const QString &line) const { return session.logText().count(line); }
};

} // namespace

// dunst on an Xvfb display receives each command's notice, and its button
// pauses Wendle: stored in the settings file, and the next command dropped.
TEST_F(DeskNotificationTest, EachRoadShowsItsCommandAndTheButtonPauses)
{
    if (!NotificationServer::installed())
        GTEST_SKIP() << "Xvfb or dunst is missing; scripts/install-deps installs them";
    NotificationServer desk;
    ASSERT_TRUE(desk.start(session));
    ASSERT_TRUE(session.configure("maxCommandsPerHour", "20")); // more commands than the default allows
    ASSERT_TRUE(session.startDaemon());

    const std::tuple<QStringList, QByteArray, Notice> roads[] = {
        {{"send", "--mail", "--from", "owner@example.org", "wndl cal 12 may"},
         {},
         {"Wendle", ByMail, "\u201cwndl cal 12 may\u201d from owner@example.org"}},
        // What the chat handler script runs for each message of the chat client.
        {{"send", "--chat", "--from", "owner@example.test", "wndl cal 1 june"},
         {},
         {"Wendle", ByChat, "\u201cwndl cal 1 june\u201d from owner@example.test"}},
        // dunst reads markup: the command's own brackets arrive escaped, and a
        // direction override cannot turn the text around.
        {{"deliver"},
         "From: Owner <owner@example.org>\r\nTo: computer@example.com\r\nSubject: x\r\nMessage-ID: <desk-1@example.org>\r\n"
         "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
         "wndl cal r&d <b>\u202e12\r\n",
         {"Wendle", ByMail, "\u201cwndl cal r&amp;d &lt;b&gt;\ufffd12\u201d from Owner &lt;owner@example.org&gt;"}},
    };
    for (const auto &[arguments, input, expected] : roads) {
        const qsizetype before = desk.notices().size();
        ASSERT_EQ(session.runWendle(arguments, nullptr, nullptr, input), 0) << arguments.join(' ').toStdString();
        ASSERT_TRUE(waitFor([&] { return desk.notices().size() > before; })) << arguments.join(' ').toStdString();
        EXPECT_EQ(desk.notices().mid(before), QList<Notice>{expected});
    }

    // notifyOnRemoteCommands off: the command runs and nothing is shown; the
    // notice of the next command, with it on again, is the only new one.
    ASSERT_TRUE(session.configure("notifyOnRemoteCommands", "no"));
    const qsizetype shown = desk.notices().size();
    const qsizetype processed = logged("Processing command from");
    ASSERT_EQ(session.send("owner@example.org", "wndl cal 2 may"), 0);
    ASSERT_TRUE(waitFor([&] { return logged("Processing command from") > processed; }));
    ASSERT_TRUE(session.configure("notifyOnRemoteCommands", "yes"));
    ASSERT_EQ(session.send("owner@example.org", "wndl cal 3 may"), 0);
    ASSERT_TRUE(waitFor([&] { return desk.notices().size() > shown; }));
    EXPECT_EQ(desk.notices().mid(shown), (QList<Notice>{{"Wendle", ByMail, "\u201cwndl cal 3 may\u201d from owner@example.org"}}));

    // Only the newest notice stays on the screen for the button.
    EXPECT_EQ(desk.closeAll(), 0);
    ASSERT_EQ(session.send("owner@example.org", "wndl cal 4 may"), 0);
    ASSERT_TRUE(waitFor([&] { return desk.notices().size() == shown + 2; }));
    EXPECT_EQ(desk.pressButton(), 0);
    const QString paused = QStringLiteral("Wendle Log Update:  remote commands paused from the desktop notification; every "
                                          "command is dropped until they are resumed");
    ASSERT_TRUE(waitFor([&] { return logged(paused) == 1; })) << session.logText().toStdString();
    EXPECT_TRUE(config().contains("enableRemoteCommands=false")) << config().toStdString();
    ASSERT_EQ(session.send("owner@example.org", "wndl cal 5 may"), 0);
    ASSERT_TRUE(waitFor([&] { return logged("Remote commands are off") == 1; }));
    EXPECT_EQ(desk.notices().size(), shown + 2);
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_FALSE(session.daemonConsole().contains(NoService)) << session.daemonConsole().toStdString();
}

// The terminal's switch: through the running Wendle, which logs it, or
// straight into the settings file when none runs; each says what it did.
TEST_F(DeskNotificationTest, PauseAndResumeWorkWithAndWithoutARunningWendleAndWithoutAService)
{
    const QString file = session.home() + "/.config/wendle/wendle.conf";
    struct Step {
        bool running;
        const char *command;
        QString printed;
        const char *stored, *logLine;
    };
    const Step steps[] = {
        {true, "pause", "Remote commands are paused: Wendle drops every command by mail and chat until wendle resume.\n", "false",
         "Wendle Log Update:  remote commands paused from the command line (wendle pause); every command is dropped until they are resumed"},
        {true, "pause", "Remote commands were already paused.\n", "false", nullptr},
        {true, "resume", "Remote commands are on again: Wendle takes commands by mail and chat.\n", "true",
         "Wendle Log Update:  remote commands resumed from the command line (wendle resume)"},
        {false, "pause",
         "Remote commands are paused: Wendle drops every command by mail and chat until wendle resume.\n"
         "Wendle is not running; enableRemoteCommands is off in "
             + file + "\n",
         "false", nullptr},
        {false, "resume",
         "Remote commands are on again: Wendle takes commands by mail and chat.\n"
         "Wendle is not running; enableRemoteCommands is on in "
             + file + "\n",
         "true", nullptr},
    };
    for (const auto &[running, command, printed, stored, logLine] : steps) {
        if (running && !session.daemonRunning()) {
            ASSERT_TRUE(session.startDaemon());
        } else if (!running && session.daemonRunning()) {
            ASSERT_EQ(session.stopDaemon(), 0);
        }
        const QString log = session.logText();
        QByteArray output, errors;
        EXPECT_EQ(session.runWendle({command}, &output, &errors), 0) << command << errors.constData();
        EXPECT_EQ(QString::fromUtf8(output), printed) << command;
        EXPECT_TRUE(config().contains(QStringLiteral("enableRemoteCommands=%1\n").arg(stored))) << config().toStdString();
        const QString added = session.logText().mid(log.size());
        if (logLine) {
            EXPECT_TRUE(added.contains(logLine)) << added.toStdString();
        }
        EXPECT_EQ(added.count("remote commands"), logLine ? 1 : 0) << added.toStdString();
    }
    // Paused while Wendle did not run: it starts paused.
    ASSERT_EQ(session.runWendle({"pause"}), 0);
    ASSERT_TRUE(session.startDaemon());
    ASSERT_EQ(session.send("owner@example.org", "wndl cal 12 may"), 0);
    EXPECT_TRUE(waitFor([&] { return logged("Remote commands are off") == 1; }));

    // Without a notification service the commands run as ever, and the console
    // says so once, not per command.
    ASSERT_EQ(session.runWendle({"resume"}), 0);
    for (const char *command : {"wndl find named budget", "wndl find named report"})
        ASSERT_EQ(session.send("owner@example.org", command), 0);
    EXPECT_TRUE(waitFor([&] { return logged("Searching the home folder for files named: ") == 2; })) << session.logText().toStdString();
    EXPECT_TRUE(waitFor([&] { return session.daemonConsole().contains(NoService); }));
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(session.daemonConsole().count(NoService), 1) << session.daemonConsole().toStdString();
}
