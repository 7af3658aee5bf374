#include "operations/Launch.h"
#include "support/EnvironmentOverride.h"
#include "support/LiveController.h"
#include "support/TestFiles.h"
#include "support/WendleInstance.h"

#include <QStandardPaths>

using namespace wendle;
using namespace wendle::test;

namespace {

// GLib reads the XDG folders once per process, so every test of the process
// uses the same private ones.
QTemporaryDir &sharedRoot()
{
    static QTemporaryDir root;
    return root;
}

// The launch commands against the real desktop plumbing: xdg-mime reads the
// defaults of a private XDG configuration, the desktop entries live in private
// data folders, and each entry's program leaves a marker file when started.
class WorkspaceLaunchTest : public LiveControllerTest {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("xdg-mime").isEmpty())
            GTEST_SKIP() << "xdg-mime is missing; scripts/install-deps installs xdg-utils";
        for (const QString &marker : QDir(root.filePath("bin")).entryList({"mark.*"}, QDir::Files))
            QFile::remove(root.filePath("bin/" + marker));
        ASSERT_TRUE(writeFile(root.filePath("bin/mark"), "#!/bin/sh\necho \"$@\" > \"$0.$1\"\n"));
        QFile::setPermissions(root.filePath("bin/mark"), QFile::permissions(root.filePath("bin/mark")) | QFile::ExeOwner);
        ASSERT_TRUE(writeFile(root.filePath("config/mimeapps.list"),
                              "[Default Applications]\naudio/mpeg=wendle-player.desktop\nimage/jpeg=wendle-photos.desktop\n"));
        entry("data/applications/wendle-player.desktop", "music %U");
        // In a system folder, and in a subfolder that the id's dash stands for.
        entry("system-data/applications/wendle/photos.desktop", "photos --new-window %f");
        entry("system-data/applications/wendle-chat.desktop", "chat");
        ASSERT_TRUE(writeFile(root.filePath("data/applications/wendle-missing.desktop"),
                              "[Desktop Entry]\nType=Application\nName=Gone\nTryExec=/nonexistent/program\nExec=/nonexistent/program\n"));
        startController(workspace, search, processes);
    }

    // An entry whose program is the marker script with these arguments.
    // xdg-mime only names a default whose Exec starts with a bare program
    // that `which` finds, so the path goes unquoted (it holds no blanks).
    void entry(const QString &relative, const char *arguments)
    {
        const QString exec = root.filePath("bin/mark ") + QLatin1String(arguments);
        ASSERT_TRUE(writeFile(root.filePath(relative), "[Desktop Entry]\nType=Application\nName=Test\nExec=" + exec.toUtf8() + '\n'));
    }

    // What the marker script wrote when started as name, once it has run.
    QString marker(const QString &name)
    {
        const QString path = root.filePath("bin/mark." + name);
        if (!waitFor([&] { return QFileInfo(path).size() > 0; }, 30000))
            return "<not started>";
        return QString::fromUtf8(readFile(path)).trimmed();
    }

    QString lastAnswer() const { return mail.sent.isEmpty() ? QString() : mail.sent.last().mail.body.trimmed(); }

    QTemporaryDir &root = sharedRoot();
    EnvironmentOverride configHome{"XDG_CONFIG_HOME", root.filePath("config")};
    EnvironmentOverride configDirs{"XDG_CONFIG_DIRS", root.filePath("system-config")};
    EnvironmentOverride dataHome{"XDG_DATA_HOME", root.filePath("data")};
    EnvironmentOverride dataDirs{"XDG_DATA_DIRS", root.filePath("system-data")};
    EnvironmentOverride desktop{"XDG_CURRENT_DESKTOP", QString()};
    EnvironmentOverride session{"DESKTOP_SESSION", QString()};
    XdgWorkspace workspace;
    RecordingSearch search;
    RecordingProcessLauncher processes;
};

TEST_F(WorkspaceLaunchTest, TheDefaultApplicationsForTheirTypesOpen)
{
    controller->launchiTunes();
    EXPECT_EQ(lastAnswer(), "The music player is open.");
    EXPECT_EQ(marker("music"), "music");

    controller->launchiPhoto();
    EXPECT_EQ(lastAnswer(), "The photo application is open.");
    EXPECT_EQ(marker("photos"), "photos --new-window");
}

TEST_F(WorkspaceLaunchTest, NoApplicationForTheTypeIsAFailureUnlessTheOwnerChoseOneThatRuns)
{
    controller->launchiChat();
    EXPECT_EQ(lastAnswer(), "Wendle could not open the chat program.");

    preferences.setValue(QLatin1String(RBChatApplication), "wendle-chat");
    controller->launchiChat();
    EXPECT_EQ(lastAnswer(), "The chat program is open.");
    EXPECT_EQ(marker("chat"), "chat");

    // A chosen entry that cannot run is a failure too.
    for (const char *choice : {"wendle-missing.desktop", "no-such-entry.desktop"}) {
        preferences.setValue(QLatin1String(RBMusicApplication), QLatin1String(choice));
        controller->launchiTunes();
        EXPECT_EQ(lastAnswer(), "Wendle could not open the music player.") << choice;
    }
}

} // namespace
