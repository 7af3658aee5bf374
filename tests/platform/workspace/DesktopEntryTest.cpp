#include "platform/workspace/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace wendle;

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

TEST(DesktopEntryTest, ExecValuesBecomeArgumentVectors)
{
    struct Case { QString exec; QStringList arguments; };
    const Case cases[] = {
        {QStringLiteral("shotwell  --show-metadata %f"), {QStringLiteral("shotwell"), QStringLiteral("--show-metadata")}},
        {QStringLiteral("\"/opt/My Player/bin/player\" --name=%c --file=%f x%%y"),
         {QStringLiteral("/opt/My Player/bin/player"), QStringLiteral("--name="), QStringLiteral("--file="), QStringLiteral("x%y")}},
        {QStringLiteral("sh -c \"echo \\\"\\$HOME\\\" \\\\ \\`x\\`\""),
         {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo \"$HOME\" \\ `x`")}},
        {QStringLiteral("player \"\" %i %k"), {QStringLiteral("player"), QString()}},
        {QStringLiteral("%U"), {}},
        {QStringLiteral("gajim\t%u"), {QStringLiteral("gajim")}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(execArguments(c.exec), c.arguments) << c.exec.toStdString();
}

TEST(DesktopEntryTest, StringEscapesAreUndoneBeforeQuoting)
{
    EXPECT_EQ(unescapeDesktopValue(QStringLiteral("a\\sb\\tc\\nd\\re\\\\f\\\"g\\$")), QStringLiteral("a b\tc\nd\re\\f\\\"g\\$"));
    // Four backslashes in the file are one literal backslash inside quotes.
    EXPECT_EQ(execArguments(unescapeDesktopValue(QStringLiteral("prog \"a\\\\\\\\b\""))), (QStringList{QStringLiteral("prog"), QStringLiteral("a\\b")}));
}

TEST(DesktopEntryTest, ReadsTheDesktopEntryGroupOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("player.desktop"));
    writeFile(path, "# comment\n[Desktop Entry]\nType=Application\nName=Player\nExec=player\\s2 %U\nPath=/tmp\n"
                    "Exec[de]=spieler\n[Desktop Action Play]\nExec=player --play\n");
    const std::optional<DesktopEntry> entry = readDesktopEntry(path);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->type, QStringLiteral("Application"));
    EXPECT_EQ(entry->exec, QStringLiteral("player 2 %U"));
    EXPECT_EQ(entry->path, QStringLiteral("/tmp"));
    EXPECT_TRUE(entry->isLaunchable());

    writeFile(path, "[Desktop Action Play]\nExec=player\n");
    EXPECT_FALSE(readDesktopEntry(path).has_value());
    EXPECT_FALSE(readDesktopEntry(dir.filePath(QStringLiteral("none.desktop"))).has_value());
    EXPECT_FALSE(readDesktopEntry(QString()).has_value());
}

TEST(DesktopEntryTest, OnlyInstalledVisibleApplicationsAreLaunchable)
{
    const std::pair<DesktopEntry, bool> cases[] = {
        {{"Application", "sh", {}, {}, false}, true},
        {{"Application", "sh", "/bin/sh", {}, false}, true},
        {{"Application", "sh", "no-such-program-here", {}, false}, false},
        {{"Application", "sh", {}, {}, true}, false}, // hidden
        {{"Link", "sh", {}, {}, false}, false},
    };
    for (const auto &[entry, launchable] : cases)
        EXPECT_EQ(entry.isLaunchable(), launchable) << entry.exec.toStdString() << '|' << entry.tryExec.toStdString();
}

TEST(DesktopEntryTest, IdsAreFoundInTheFirstFolderAndInSubfolders)
{
    QTemporaryDir home;
    QTemporaryDir system;
    const QString mine = home.filePath(QStringLiteral("org.example.Player.desktop"));
    const QString theirs = system.filePath(QStringLiteral("org.example.Player.desktop"));
    const QString nested = system.filePath(QStringLiteral("kde/foo-bar.desktop"));
    for (const QString &path : {mine, theirs, nested})
        writeFile(path, "[Desktop Entry]\n");
    const QStringList folders{home.path(), system.path()};

    EXPECT_EQ(locateDesktopEntry(QStringLiteral("org.example.Player.desktop"), folders), mine);
    EXPECT_EQ(locateDesktopEntry(QStringLiteral("org.example.Player"), folders), mine);
    EXPECT_EQ(locateDesktopEntry(QStringLiteral("org.example.Player.desktop"), {system.path()}), theirs);
    EXPECT_EQ(locateDesktopEntry(QStringLiteral("kde-foo-bar.desktop"), folders), nested);
    EXPECT_EQ(locateDesktopEntry(nested, {}), nested);
    EXPECT_TRUE(locateDesktopEntry(QStringLiteral("missing.desktop"), folders).isEmpty());
}

} // namespace
