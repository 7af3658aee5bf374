#include "app/Controller.h"
#include "app/Resources.h"
#include "operations/Launch.h"
#include "platform/clock/Clock.h"
#include "platform/scheduler/QtScheduler.h"
#include "platform/scripts/ScriptRunner.h"
#include "support/Doubles.h"
#include "support/EnvironmentOverride.h"
#include "support/WendleInstance.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <memory>

using namespace wendle;
using namespace wendle::test;

namespace {

// The launch commands against the real desktop plumbing: xdg-mime reads the
// defaults of a private XDG configuration, the desktop entries live in private
// data folders, and each entry's program leaves a marker file when started.
class WorkspaceLaunchTest : public ::testing::Test {
protected:
    WorkspaceLaunchTest()
        : resources(QStringLiteral(WENDLE_SOURCE_RESOURCES))
        , platform{preferences, clock, scheduler, console, random, mail, chat, workspace, alerts, resources, search, scripts, processes,
                   root.path() + QLatin1String("/support")}
        , configHome("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")))
        , configDirs("XDG_CONFIG_DIRS", root.filePath(QStringLiteral("system-config")))
        , dataHome("XDG_DATA_HOME", root.filePath(QStringLiteral("data")))
        , dataDirs("XDG_DATA_DIRS", root.filePath(QStringLiteral("system-data")))
        , desktop("XDG_CURRENT_DESKTOP", QString())
        , session("DESKTOP_SESSION", QString())
    {
    }

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
            GTEST_SKIP() << "xdg-mime is missing; scripts/install-deps installs xdg-utils";
        write(QStringLiteral("bin/mark"), "#!/bin/sh\necho \"$@\" > \"$0.$1\"\n", true);
        write(QStringLiteral("config/mimeapps.list"),
              "[Default Applications]\naudio/mpeg=wendle-player.desktop\nimage/jpeg=wendle-photos.desktop\n");
        entry(QStringLiteral("data/applications/wendle-player.desktop"), "music %U");
        // In a system folder, and in a subfolder that the id's dash stands for.
        entry(QStringLiteral("system-data/applications/wendle/photos.desktop"), "photos --new-window %f");
        entry(QStringLiteral("system-data/applications/wendle-chat.desktop"), "chat");
        write(QStringLiteral("data/applications/wendle-missing.desktop"),
              "[Desktop Entry]\nType=Application\nName=Gone\nTryExec=/nonexistent/program\nExec=/nonexistent/program\n");

        controller = std::make_unique<Controller>(platform);
        controller->setCommandTextHandler([](const QByteArray &) {});
        controller->processEmailFrom(QStringLiteral("owner@example.com"), QStringLiteral("wndl"), QVariant());
    }

    void write(const QString &relative, const QByteArray &content, bool executable = false)
    {
        const QString path = root.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFile::ExeOwner);
    }

    // An entry whose program is the marker script with these arguments.
    // xdg-mime only names a default whose Exec starts with a bare program
    // that `which` finds, so the path goes unquoted (it holds no blanks).
    void entry(const QString &relative, const char *arguments)
    {
        write(relative, QStringLiteral("[Desktop Entry]\nType=Application\nName=Test\nExec=%1 %2\n")
                            .arg(root.filePath(QStringLiteral("bin/mark")), QLatin1String(arguments)).toUtf8());
    }

    // What the marker script wrote when started as name, once it has run.
    QString marker(const QString &name)
    {
        QFile file(root.filePath(QStringLiteral("bin/mark.") + name));
        if (!waitFor([&] { return file.exists() && file.size() > 0; }, 30000) || !file.open(QIODevice::ReadOnly))
            return QStringLiteral("<not started>");
        return QString::fromUtf8(file.readAll()).trimmed();
    }

    QString lastAnswer() const { return mail.sent.isEmpty() ? QString() : mail.sent.last().mail.body.trimmed(); }

    QTemporaryDir root;
    MemoryPreferences preferences;
    SystemClock clock;
    QtScheduler scheduler;
    RecordingConsole console;
    ScriptedRandom random;
    RecordingMailTransport mail;
    RecordingChatTransport chat;
    XdgWorkspace workspace;
    RecordingAlerts alerts;
    Resources resources;
    RecordingSearch search;
    ProcessScriptRunner scripts;
    RecordingProcessLauncher processes;
    Platform platform;
    EnvironmentOverride configHome;
    EnvironmentOverride configDirs;
    EnvironmentOverride dataHome;
    EnvironmentOverride dataDirs;
    EnvironmentOverride desktop;
    EnvironmentOverride session;
    std::unique_ptr<Controller> controller;
};

TEST_F(WorkspaceLaunchTest, TheDefaultApplicationsForTheirTypesOpen)
{
    controller->launchiTunes();
    EXPECT_EQ(lastAnswer(), QStringLiteral("The music player is open."));
    EXPECT_EQ(marker(QStringLiteral("music")), QStringLiteral("music"));

    controller->launchiPhoto();
    EXPECT_EQ(lastAnswer(), QStringLiteral("The photo application is open."));
    EXPECT_EQ(marker(QStringLiteral("photos")), QStringLiteral("photos --new-window"));
}

TEST_F(WorkspaceLaunchTest, NoApplicationForTheTypeIsAFailureUnlessTheOwnerChoseOne)
{
    controller->launchiChat();
    EXPECT_EQ(lastAnswer(), QStringLiteral("Wendle could not open the chat program."));

    preferences.setValue(QLatin1String(RBChatApplication), QStringLiteral("wendle-chat"));
    controller->launchiChat();
    EXPECT_EQ(lastAnswer(), QStringLiteral("The chat program is open."));
    EXPECT_EQ(marker(QStringLiteral("chat")), QStringLiteral("chat"));
}

TEST_F(WorkspaceLaunchTest, AChosenEntryThatCannotRunIsAFailure)
{
    for (const char *choice : {"wendle-missing.desktop", "no-such-entry.desktop"}) {
        preferences.setValue(QLatin1String(RBMusicApplication), QLatin1String(choice));
        controller->launchiTunes();
        EXPECT_EQ(lastAnswer(), QStringLiteral("Wendle could not open the music player.")) << choice;
    }
}

} // namespace
