#include "app/window/TrayIcon.h"
#include "intake/SenderChecks.h"
#include "settings/Settings.h"
#include "support/ControllerFixture.h"
#include "support/QtApplication.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

using namespace wendle;
using namespace wendle::test;

namespace {

class TrayStatusTest : public ControllerFixture {
protected:
    TrayStatusTest()
    {
        controller->setCommandTextHandler([](const QByteArray &) {});
    }
};

} // namespace

// The tray names the newest command taken in, never the secret, and only
// commands that were taken in.
TEST_F(TrayStatusTest, LastCommandNamesTextWayAndTime)
{
    EXPECT_EQ(describeLastCommand(*controller), QStringLiteral("none since Wendle started"));
    preferences.setValue(RBCommandSecret, QStringLiteral("s3cret"));
    // by chat or by mail, the sender, the message, what the tray says
    const std::tuple<bool, QString, QString, QString> cases[] = {
        {false, "owner@example.org", "Please WNDL s3cret  Find named\t budget\nSent from my phone",
         "\u201cwndl find named budget\u201d by mail at 13:35"},
        {false, "stranger@example.org", "wndl s3cret email", "\u201cwndl find named budget\u201d by mail at 13:35"},
        {false, "owner@example.org", "wndl wrongsecret email", "\u201cwndl find named budget\u201d by mail at 13:35"},
        {true, "", "wndl s3cret snapshot", "\u201cwndl snapshot\u201d by chat at 14:35"},
    };
    for (const auto &[chat, from, message, described] : cases) {
        if (chat) {
            clock.advanceSeconds(3600);
            controller->processChatFrom(from, message, QVariant());
        } else {
            controller->processEmailFrom(from, message, QVariant());
        }
        EXPECT_EQ(describeLastCommand(*controller), described) << message.toStdString();
    }
    EXPECT_EQ(trayStatusLines({"IMAP", "xmpp, logging in as computer@example.test/wendle", describeLastCommand(*controller)}),
              (QStringList{"Wendle is listening for commands", "Mail: IMAP", "Chat: xmpp, logging in as computer@example.test/wendle",
                           "Last command: \u201cwndl snapshot\u201d by chat at 14:35"}));
}

// The tray's item names what it will do and flips the stored switch; the
// first status line tells a paused Wendle.
TEST_F(TrayStatusTest, TrayItemPausesAndResumesRemoteCommands)
{
    ensureQtApplication();
    QWidget settingsWindow;
    TrayIcon tray(*controller, &settingsWindow, [this] {
        return TrayFacts{"outbox", "outbox", describeLastCommand(*controller), preferences.boolValue(RBEnableRemoteCommands)};
    });
    auto *item = tray.menu()->findChild<QAction *>("pauseRemoteCommands");
    ASSERT_NE(item, nullptr);
    // the stored switch after a click, the item's text, the first status line
    const std::tuple<bool, const char *, const char *> steps[] = {
        {false, "Resume remote commands", "Remote commands are paused"},
        {true, "Pause remote commands", "Wendle is listening for commands"},
    };
    EXPECT_EQ(item->text(), "Pause remote commands");
    for (const auto &[enabled, itemText, firstLine] : steps) {
        item->trigger();
        EXPECT_EQ(preferences.boolValue(RBEnableRemoteCommands), enabled);
        EXPECT_EQ(item->text(), itemText);
        EXPECT_EQ(tray.menu()->actions().value(0)->text(), firstLine);
    }
    EXPECT_EQ(logEntries(), (QStringList{"Wendle Log Update:  remote commands paused from the tray menu; every command is dropped "
                                         "until they are resumed",
                                         "Wendle Log Update:  remote commands resumed from the tray menu"}));
}
