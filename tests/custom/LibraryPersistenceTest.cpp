#include "app/Settings.h"
#include "platform/preferences/SettingsPreferences.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

// Quits and starts again over a real preferences file, the way the owner
// does, with the fixture's doubles for everything else.
class LibraryPersistenceTest : public ControllerFixture {
protected:
    LibraryPersistenceTest() { controller.reset(); }

    std::unique_ptr<Controller> start(Preferences &store)
    {
        const Platform wired{store, clock, scheduler, console, random, mail, chat, workspace, alerts, resources, search, scripts, processes, camera,
                             platform.supportFolder};
        return std::make_unique<Controller>(wired);
    }

    // Starts over a fresh SettingsPreferences on the same file, sets the
    // library, quits; then starts again and answers the library it finds.
    QList<Shortcut> quitAndRestartWith(const QList<Shortcut> &library)
    {
        {
            SettingsPreferences store(fileName());
            auto first = start(store);
            first->setLibraryArray(library);
            first->applicationWillTerminate();
        }
        SettingsPreferences store(fileName());
        return start(store)->libraryArray();
    }

    QString fileName() const { return supportDir.filePath(QStringLiteral("wendle.conf")); }

};

} // namespace

TEST_F(LibraryPersistenceTest, TheLibrarySurvivesAQuitAndANewStartLessEntriesWithoutPathOrName)
{
    const QList<Shortcut> library{Shortcut(QStringLiteral("/home/me/Scripts/Backup Now.scpt"), QStringLiteral("backup now")),
                                  Shortcut(QStringLiteral("/home/me/a,b=\"c\".scpt"), QStringLiteral("Ünïcode")),
                                  Shortcut(QStringLiteral("/home/me/dup.scpt"), QStringLiteral("backup now"))};
    EXPECT_EQ(quitAndRestartWith({Shortcut(QString(), QStringLiteral("nopath")), library[0], library[1],
                                  Shortcut(QStringLiteral("/x"), QString()), library[2]}),
              library);
}

// A first start has the Stock Quote entry; emptied, the library is written at
// quit only, and stays empty over the starts that follow.
TEST_F(LibraryPersistenceTest, AnEmptiedLibraryIsWrittenAtQuitAndStaysEmpty)
{
    for (int run = 0; run < 3; ++run) {
        SettingsPreferences store(fileName());
        auto running = start(store);
        if (run == 0) {
            EXPECT_EQ(running->libraryArray(),
                      QList<Shortcut>{Shortcut(QStringLiteral("/Applications/Wendle/Scripts/Stock Quote.scpt"), QStringLiteral("stk"))});
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
