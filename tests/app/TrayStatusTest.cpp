#include "app/Settings.h"
#include "app/window/TrayIcon.h"
#include "intake/SenderChecks.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

class TrayStatusTest : public ControllerFixture {
protected:
    TrayStatusTest() { controller->setCommandTextHandler([](const QByteArray &) {}); }
};

} // namespace

// The tray names the newest command taken in, never the secret, and only
// commands that were taken in.
TEST_F(TrayStatusTest, LastCommandNamesTextWayAndTime)
{
    EXPECT_EQ(describeLastCommand(*controller), QStringLiteral("none since Wendle started"));
    preferences.setValue(RBCommandSecret, QStringLiteral("s3cret"));
    struct Case { bool chat; QString from, message, expected; };
    const Case cases[] = {
        {false, "owner@example.org", "Please WNDL s3cret  Find named\t budget\nSent from my phone", "\u201cwndl find named budget\u201d by mail at 13:35"},
        {false, "stranger@example.org", "wndl s3cret email", "\u201cwndl find named budget\u201d by mail at 13:35"},
        {false, "owner@example.org", "wndl wrongsecret email", "\u201cwndl find named budget\u201d by mail at 13:35"},
        {true, "", "wndl s3cret snapshot", "\u201cwndl snapshot\u201d by chat at 14:35"},
    };
    for (const Case &c : cases) {
        if (c.chat) {
            clock.advanceSeconds(3600);
            controller->processChatFrom(c.from, c.message, QVariant());
        } else {
            controller->processEmailFrom(c.from, c.message, QVariant());
        }
        EXPECT_EQ(describeLastCommand(*controller), c.expected) << c.message.toStdString();
    }
    EXPECT_EQ(trayStatusLines({"IMAP", "xmpp, logging in as computer@example.test/wendle", describeLastCommand(*controller)}),
              (QStringList{"Wendle is listening for commands", "Mail: IMAP", "Chat: xmpp, logging in as computer@example.test/wendle",
                           "Last command: \u201cwndl snapshot\u201d by chat at 14:35"}));
}
