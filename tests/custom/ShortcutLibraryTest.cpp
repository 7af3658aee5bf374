#include "custom/ShortcutLibrary.h"
#include "platform/preferences/SettingsPreferences.h"
#include "settings/Settings.h"
#include "support/ControllerFixture.h"

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::library;
using namespace wendle::test;

namespace {

QStringList names(const QList<Shortcut> &library)
{
    QStringList result;
    for (const Shortcut &entry : library)
        result << entry.shortcut();
    return result;
}

// Quits and starts again over a real preferences file, the way the owner
// does, with the fixture's doubles for everything else.
class LibraryPersistenceTest : public ControllerFixture {
protected:
    LibraryPersistenceTest() { controller.reset(); }

    std::unique_ptr<Controller> start(Preferences &store)
    {
        const Platform wired{store,  clock,   scheduler, console, random,
                             mail,   chat,    workspace, alerts,  resources,
                             search, scripts, processes, camera,  platform.supportFolder};
        return std::make_unique<Controller>(wired);
    }

    QString fileName() const { return supportDir.filePath(QStringLiteral("wendle.conf")); }
};

} // namespace

TEST(ShortcutLibrary, CommandNamesMadeFromFiles)
{
    // the file, the command name made from it, its extension
    const char *cases[][3] = {
        {"", nullptr, ""},
        {"//", nullptr, ""}, // no name
        {"/home/me/Scripts/backup.tar.gz", "backup.tar", "gz"},
        {"/home/me/Scripts/Weather Report.SCPT", "weather report", "SCPT"},
        {"/home/me/.Hidden", ".hidden", ""},
        {"/home/me/.hidden.scpt", ".hidden", "scpt"},
        {"/home/me/Folder/", "folder", ""},
    };
    for (const auto &[file, name, extension] : cases) {
        const QString path = QString::fromUtf8(file);
        EXPECT_EQ(shortcutForFile(path).shortcut(), QString::fromUtf8(name)) << file;
        EXPECT_EQ(shortcutForFile(path).shortcut().isNull(), !name) << file;
        EXPECT_EQ(pathExtension(path), QString::fromUtf8(extension)) << file;
    }
}

TEST(ShortcutLibrary, DropRowsAndRefusals)
{
    struct Case {
        const char *label;
        int row;
        QStringList files;
        bool fromTable;
        bool accepted;
        QStringList after;
        int selected;
    };
    const QStringList one{"/d/New.sh"}, three{"/d/First.scpt", "/d/Second.scpt", "/d/Third.scpt"};
    const Case cases[] = {
        {"three files above row 2", 2, three, false, true, {"a", "b", "third", "second", "first", "c"}, 2},
        {"negative row inserts first", -1, one, false, true, {"new", "a", "b", "c"}, 0},
        {"row past the end appends", 9, one, false, true, {"a", "b", "c", "new"}, 3},
        {"the table's own rows are refused", 1, one, true, false, {"a", "b", "c"}, -1},
        {"no file names is refused", 1, {}, false, false, {"a", "b", "c"}, -1},
        {"a file without a name stops the drop", 1, {"/d/Kept.sh", "/", "/d/Lost.sh"}, false, false, {"a", "kept", "b", "c"}, 1},
    };
    for (const Case &c : cases) {
        QList<Shortcut> library{Shortcut("/s/a", "a"), Shortcut("/s/b", "b"), Shortcut("/s/c", "c")};
        const DropResult result = insertDroppedFiles(library, c.files, c.row, c.fromTable);
        EXPECT_EQ(result.accepted, c.accepted) << c.label;
        EXPECT_EQ(names(library), c.after) << c.label;
        EXPECT_EQ(result.selectedRow, c.selected) << c.label;
        for (const Shortcut &entry : library) // each dropped entry keeps the path it was named from
            EXPECT_EQ(entry.shortcut(), commandNameForFile(entry.path())) << c.label;
    }
}

TEST(ShortcutLibrary, DraggingARowOutCarriesItsPath)
{
    const QList<Shortcut> library{Shortcut(QStringLiteral("/s/a.scpt"), QStringLiteral("a")), Shortcut(QString(), QStringLiteral("b"))};
    EXPECT_EQ(draggedPath(library, {0, 1}), QStringLiteral("/s/a.scpt"));
    EXPECT_TRUE(draggedPath(library, {1, 0}).isNull());
    EXPECT_TRUE(draggedPath(library, {}).isNull());
    EXPECT_TRUE(draggedPath(library, {2}).isNull());
}

TEST(ShortcutLibrary, StoredFormKeepsOrderAndDropsIncompleteEntriesAndLoadingTakesValuesAsTheyAre)
{
    const QList<Shortcut> library{
        Shortcut("/s/b.scpt", "B"), Shortcut(QString(), "nopath"),  Shortcut("/s/noname", QString()),
        Shortcut("/s/empty", ""),   Shortcut("/s/a b.scpt", "a b"),
    };
    const QVariantList stored = dictionariesFromShortcuts(library);
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0].toMap(), (QVariantMap{{"path", "/s/b.scpt"}, {"shortcut", "B"}}));
    EXPECT_EQ(stored[1].toMap(), (QVariantMap{{"path", "/s/a b.scpt"}, {"shortcut", "a b"}}));
    EXPECT_EQ(shortcutsFromDictionaries(stored), (QList<Shortcut>{library[0], library[4]}));

    // Loading takes values as they are, and anything but a dictionary as an empty entry.
    const QList<Shortcut> loaded = shortcutsFromDictionaries(
        {QVariantMap{{"path", " /s/x.scpt "}, {"shortcut", "X"}}, QVariantMap{{"shortcut", "nopath"}}, QStringLiteral("not a dictionary")});
    EXPECT_EQ(loaded, (QList<Shortcut>{Shortcut(" /s/x.scpt ", "X"), Shortcut(QString(), "nopath"), Shortcut(QString(), QString())}));
    EXPECT_TRUE(loaded[1].path().isNull());
    // A new row of the table holds placeholders.
    EXPECT_EQ(Shortcut(), Shortcut(QStringLiteral("path"), QStringLiteral("shortcut")));
}

TEST_F(LibraryPersistenceTest, TheLibrarySurvivesAQuitAndANewStartLessEntriesWithoutPathOrName)
{
    const QList<Shortcut> library{Shortcut("/home/me/Scripts/Backup Now.scpt", "backup now"),
                                  Shortcut("/home/me/a,b=\"c\".scpt", "Ünïcode"), Shortcut("/home/me/dup.scpt", "backup now")};
    {
        SettingsPreferences store(fileName());
        auto first = start(store);
        first->setLibraryArray({Shortcut(QString(), "nopath"), library[0], library[1], Shortcut("/x", QString()), library[2]});
        first->applicationWillTerminate();
    }
    SettingsPreferences store(fileName());
    EXPECT_EQ(start(store)->libraryArray(), library);
}

// A first start has the Stock Quote entry; emptied, the library is written at
// quit only, and stays empty over the starts that follow.
TEST_F(LibraryPersistenceTest, AnEmptiedLibraryIsWrittenAtQuitAndStaysEmpty)
{
    for (int run = 0; run < 3; ++run) {
        SettingsPreferences store(fileName());
        auto running = start(store);
        if (run == 0) {
            EXPECT_EQ(running->libraryArray(), QList<Shortcut>{Shortcut("/Applications/Wendle/Scripts/Stock Quote.scpt", "stk")});
            running->setLibraryArray({});
        } else {
            EXPECT_TRUE(running->libraryArray().isEmpty()) << run;
        }
        EXPECT_EQ(store.storedKeys().contains(QLatin1String(RBCustomCommands)), run > 0) << "written at quit only";
        running->applicationWillTerminate();
        EXPECT_TRUE(store.storedKeys().contains(QLatin1String(RBCustomCommands)));
    }
    EXPECT_TRUE(logEntries().contains(QStringLiteral("Wendle shut down")));
}

TEST_F(LibraryPersistenceTest, WhatIsNotAListCountsAsNoLibrary)
{
    for (const QVariant &stored : {QVariant(QStringLiteral("stk")), QVariant(7), QVariant(QVariantMap{{"path", "/s/a.scpt"}})}) {
        preferences.setValue(QLatin1String(RBCustomCommands), stored);
        auto running = start(preferences);
        EXPECT_TRUE(running->libraryArray().isEmpty()) << stored.toString().toStdString();
        EXPECT_EQ(running->dictArrayFromShortcuts(), std::optional<QVariantList>(QVariantList{}));
    }
}
