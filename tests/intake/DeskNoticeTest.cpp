#include "intake/SenderChecks.h"
#include "settings/Settings.h"
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

const QString Owner = QStringLiteral("owner@example.org");
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
        {false,
         Owner,
         "Please wndl find named Budget\nSent from my phone",
         {},
         {Mail + "\u201cwndl find named budget\u201d from " + Owner}},
        {true, "", "wndl email", {}, {Chat + "\u201cwndl email\u201d"}},
        {false,
         "Fake\u202e\n <owner@example.org>",
         "wndl find named \u202egpj.exe\u0007 x",
         {},
         {Mail + "\u201cwndl find named \ufffdgpj.exe\ufffd x\u201d from Fake\ufffd <owner@example.org>"}},
        {false,
         Owner,
         "wndl find named " + longWord,
         {},
         {Mail + "\u201cwndl find named " + longWord.left(119 - 16) + "\u2026\u201d from " + Owner}},
        {false, Owner, "wndl s3cret email", {{RBCommandSecret, "s3cret"}}, {Mail + "\u201cwndl email\u201d from " + Owner}},
        {false, Owner, "wndl email", {{RBNotifyOnRemoteCommands, false}}, {}},
        {true, "owner@jabber.example", "wndl email", {{RBEnableRemoteCommands, false}}, {}},
        {false, "stranger@example.net", "wndl email", {}, {}},
        // The hourly limit refuses the second: it runs nothing, so nothing is shown.
        {false, Owner, "wndl email", {{RBMaxCommandsPerHour, 1}}, {Mail + "\u201cwndl email\u201d from " + Owner}, 2},
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
