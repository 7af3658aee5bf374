#include "app/Settings.h"
#include "intake/SenderChecks.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

class DeskNoticeTest : public ControllerFixture {
protected:
    DeskNoticeTest() { restart(); }
    void restart()
    {
        // Gone first: a controller takes the notices' button back when it goes.
        controller.reset();
        controller = std::make_unique<Controller>(platform);
        controller->setCommandTextHandler([this](const QByteArray &text) { parsed << text; });
    }
    QList<QByteArray> parsed;
};

const QString Mail = QStringLiteral("Wendle: a command came by mail|");
const QString Chat = QStringLiteral("Wendle: a command came by chat|");

} // namespace

// Every command that runs is shown with its first line, its road and its
// sender, as one line nobody can shape; nothing else is shown.
TEST_F(DeskNoticeTest, EachCommandThatRunsIsShownInOneSafeLine)
{
    struct Case {
        bool chat;
        QString from, message;
        QList<QPair<const char *, QVariant>> settings;
        QStringList expected;
        int times = 1;
    };
    const QString longWord(200, u'a');
    const Case cases[] = {
        {false, "owner@example.org", "Please wndl find named Budget\nSent from my phone", {},
         {Mail + "\u201cwndl find named budget\u201d from owner@example.org"}},
        {true, "owner@jabber.example/phone", "wndl snapshot", {}, {Chat + "\u201cwndl snapshot\u201d from owner@jabber.example/phone"}},
        {true, "", "wndl email", {}, {Chat + "\u201cwndl email\u201d"}},
        {false, "Fake\u202e\n <owner@example.org>", "wndl find named \u202egpj.exe\u0007 x", {},
         {Mail + "\u201cwndl find named \ufffdgpj.exe\ufffd x\u201d from Fake\ufffd <owner@example.org>"}},
        {false, "owner@example.org", "wndl find named " + longWord, {},
         {Mail + "\u201cwndl find named " + longWord.left(119 - 16) + "\u2026\u201d from owner@example.org"}},
        {false, "owner@example.org", "wndl s3cret email", {{RBCommandSecret, "s3cret"}}, {Mail + "\u201cwndl email\u201d from owner@example.org"}},
        {false, "owner@example.org", "wndl email", {{RBNotifyOnRemoteCommands, false}}, {}},
        {true, "owner@jabber.example", "wndl email", {{RBEnableRemoteCommands, false}}, {}},
        {false, "stranger@example.net", "wndl email", {}, {}},
        {false, "owner@example.org", "wndl wrong email", {{RBCommandSecret, "s3cret"}}, {}},
        // The hourly limit refuses the second: it runs nothing, so nothing is shown.
        {false, "owner@example.org", "wndl email", {{RBMaxCommandsPerHour, 1}}, {Mail + "\u201cwndl email\u201d from owner@example.org"}, 2},
    };
    for (const Case &c : cases) {
        restart();
        notifications.notices.clear();
        for (const auto &[key, value] : c.settings)
            preferences.setValue(key, value);
        for (int i = 0; i < c.times; ++i) {
            if (c.chat)
                controller->processChatFrom(c.from, c.message, QVariant());
            else
                controller->processEmailFrom(c.from, c.message, QVariant());
        }
        EXPECT_EQ(notifications.notices, c.expected) << c.message.toStdString();
        for (const auto &[key, value] : c.settings)
            preferences.remove(key);
    }
}

// The notice's button, the tray and the command line share one switch: it is
// stored, logged once per change, and the next command is dropped as the
// setting has always dropped them.
TEST_F(DeskNoticeTest, PausingStoresTheSwitchAndTheNextCommandIsDropped)
{
    const QString paused = QStringLiteral("Wendle Log Update:  remote commands paused from the desktop notification; "
                                          "every command is dropped until they are resumed");
    notifications.choosePause();
    EXPECT_FALSE(preferences.boolValue(RBEnableRemoteCommands));
    EXPECT_EQ(console.lines, QStringList{paused});
    controller->processEmailFrom(QStringLiteral("owner@example.org"), QStringLiteral("wndl email"), QVariant());
    EXPECT_TRUE(parsed.isEmpty());
    EXPECT_TRUE(notifications.notices.isEmpty());
    EXPECT_EQ(logEntries(), (QStringList{paused, "Remote commands are off"}));

    struct Step { bool resume; const char *answer; const char *logged; };
    const Step steps[] = {
        {false, "Remote commands were already paused.", nullptr},
        {true, "Remote commands are on again: Wendle takes commands by mail and chat.",
         "Wendle Log Update:  remote commands resumed from the tray menu"},
        {true, "Remote commands were already on.", nullptr},
        {false, "Remote commands are paused: Wendle drops every command by mail and chat until wendle resume.",
         "Wendle Log Update:  remote commands paused from the tray menu; every command is dropped until they are resumed"},
    };
    for (const Step &step : steps) {
        const qsizetype entries = logEntries().size();
        const QString answer = step.resume ? controller->resumeRemoteCommands("the tray menu") : controller->pauseRemoteCommands("the tray menu");
        EXPECT_EQ(answer, step.answer);
        EXPECT_EQ(preferences.boolValue(RBEnableRemoteCommands), step.resume);
        EXPECT_EQ(logEntries().mid(entries), step.logged ? QStringList{step.logged} : QStringList()) << step.answer;
    }
}
