#include "operations/Launch.h"
#include "operations/OwnerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

class LaunchTest : public OwnerFixture {};
using ScheduleTest = ControllerFixture;

struct Companion {
    void (Controller::*launch)();
    const char *name, *preference, *mimeType, *logText, *opened, *failed;
};

const Companion Companions[] = {
    {&Controller::launchiTunes, "iTunes", RBMusicApplication, "audio/mpeg", "Opening the music player", "The music player is open.",
     "Wendle could not open the music player."},
    {&Controller::launchiPhoto, "iPhoto", RBPhotoApplication, "image/jpeg", "Opening the photo application",
     "The photo application is open.", "Wendle could not open the photo application."},
    {&Controller::launchiChat, "iChat", RBChatApplication, "x-scheme-handler/xmpp", "Opening the chat program", "The chat program is open.",
     "Wendle could not open the chat program."},
};

// Each application is launched twice: first without a choice of the owner's,
// then with one (stored with stray spaces) that fails to open.
TEST_F(LaunchTest, EachLaunchOpensItsApplicationOrTheOwnersChoiceAndAnswers)
{
    for (const Companion &c : Companions) {
        const QString choice = QStringLiteral("org.example.%1.desktop").arg(QLatin1String(c.name));
        for (const bool opens : {true, false}) {
            workspace.applications.clear();
            workspace.scripts.clear();
            mail.sent.clear();
            workspace.applicationOpens = opens;
            if (!opens)
                preferences.setValue(QLatin1String(c.preference), QStringLiteral("  ") + choice + u' ');
            (controller.get()->*c.launch)();

            ASSERT_EQ(workspace.applications.size(), 1) << c.name;
            const ApplicationRequest &request = workspace.applications[0];
            EXPECT_EQ(request.name, QLatin1String(c.name));
            EXPECT_EQ(request.mimeType, QLatin1String(c.mimeType));
            EXPECT_EQ(request.desktopEntryId, opens ? QString() : choice);
            EXPECT_EQ(workspace.scripts[0],
                      QStringLiteral("tell \"Finder\" \n open application \"%1\" \n end tell").arg(QLatin1String(c.name)));
            EXPECT_EQ(logEntries().last(), QLatin1String(c.logText));
            ASSERT_EQ(mail.sent.size(), 1);
            EXPECT_EQ(mail.sent[0].mail.body, QLatin1String(opens ? c.opened : c.failed) + QLatin1String("\n\n"));
            EXPECT_TRUE(mail.sent[0].mail.cc.isEmpty());
            EXPECT_TRUE(mail.sent[0].mail.attachmentPath.isEmpty());
        }
    }
    // Quotes and backslashes in a name are escaped in the script.
    EXPECT_EQ(launchApplicationScript(QStringLiteral("a\"b\\c")),
              QStringLiteral("tell \"Finder\" \n open application \"a\\\"b\\\\c\" \n end tell"));
}

TEST_F(ScheduleTest, AScheduleCommandAnswersNothingAndKeepsNothing)
{
    controller->setCommandTextHandler([](const QByteArray &) {});
    for (const bool byChat : {false, true}) {
        if (byChat)
            controller->processChatFrom(QStringLiteral("owner"), QStringLiteral("wndl"), QVariant());
        else
            controller->processEmailFrom(QStringLiteral("owner@example.org"), QStringLiteral("wndl"), QVariant());
        const QString logBefore = logText();
        const QString commandBefore = controller->lastCommand();
        const QString addressBefore = controller->cmdAddress();

        controller->getScheduleForDay(QStringLiteral("12"), QStringLiteral("may"), QStringLiteral("2027"));
        controller->getScheduleForDay(QStringLiteral("12"), QStringLiteral("may"), QString());
        controller->getScheduleForDay(QString(), QStringLiteral("tomorrow"), QString());
        scheduler.advance(std::chrono::seconds(5));

        EXPECT_TRUE(mail.sent.isEmpty()) << byChat;
        EXPECT_TRUE(chat.sent.isEmpty());
        EXPECT_TRUE(console.lines.isEmpty());
        EXPECT_EQ(logText(), logBefore);
        EXPECT_EQ(controller->lastCommand(), commandBefore);
        EXPECT_EQ(controller->cmdAddress(), addressBefore);
        EXPECT_EQ(scheduler.pending(), 0u);
    }
}

} // namespace
