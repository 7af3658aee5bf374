#include "app/window/SettingsWindowFixture.h"

#include "app/window/LibraryTable.h"

#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

using namespace wendle;
using namespace wendle::test;

namespace {

class LibraryTableTest : public SettingsWindowTest {
protected:
    LibraryTableTest()
    {
        preferences.setValue("customCommandsArray", QVariantList{QVariantMap{{"path", "/opt/stk.scpt"}, {"shortcut", "stk"}}});
        controller = std::make_unique<Controller>(platform);
        window = std::make_unique<SettingsWindow>(*controller, preferences);
        start();
        window->selectTab("custom");
        table = control<LibraryTable>("libraryTable");
    }

    QString file(const QString &name) const { return supportDir.filePath(name); }

    // Drags the files from outside Wendle and lets go over point of the table.
    bool drop(const QStringList &paths, QPoint point)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        QWidget *viewport = table->viewport();
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
        QDropEvent letGo(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &letGo);
        return letGo.isAccepted();
    }

    QStringList names() const
    {
        QStringList shortcuts;
        for (const Shortcut &entry : controller->libraryArray())
            shortcuts << entry.shortcut();
        return shortcuts;
    }

    LibraryTable *table = nullptr;
};

TEST_F(LibraryTableTest, DroppedFilesBecomeEntriesNamedAfterThem)
{
    ASSERT_TRUE(QFile(file("Weather Report.SCPT")).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile(file("backup.tar.gz")).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(file("gone.scpt"), file("dangling.scpt")));

    // Onto the first row: in front of it, and selected.
    const QPoint firstRow = table->visualRect(table->model()->index(0, 0)).center();
    drop({file("Weather Report.SCPT")}, firstRow);
    EXPECT_EQ(names(), (QStringList{"weather report", "stk"}));
    EXPECT_EQ(controller->libraryArray().first().path(), file("Weather Report.SCPT"));
    EXPECT_EQ(table->selectionModel()->selectedRows().value(0).row(), 0);

    // Below the last row: at the end. A folder or an unreadable file stops
    // the drop; the files before it stay.
    const QPoint belowRows(10, table->viewport()->height() - 5);
    drop({file("backup.tar.gz"), supportDir.path(), file("Weather Report.SCPT")}, belowRows);
    drop({file("dangling.scpt")}, belowRows);
    EXPECT_EQ(names(), (QStringList{"weather report", "stk", "backup.tar"}));
    EXPECT_EQ(console.lines,
              (QStringList{"Wendle Error: " + supportDir.path() + " is a folder; only a file can become a custom command.",
                           "Wendle Error: " + file("dangling.scpt") + " cannot be read; it was not added to the custom commands."}));

    // The running library is what quitting stores.
    controller->applicationWillTerminate();
    EXPECT_EQ(preferences.value("customCommandsArray").toList().size(), 3);
}

TEST_F(LibraryTableTest, RemoveAndRenameActOnTheRunningLibrary)
{
    table->model()->setData(table->model()->index(0, LibraryModel::ShortcutColumn), "quote");
    EXPECT_EQ(names(), QStringList{"quote"});
    table->selectRow(0);
    QTest::mouseClick(control<QPushButton>("removeShortcut"), Qt::LeftButton);
    EXPECT_TRUE(names().isEmpty());
    controller->applicationWillTerminate();
    EXPECT_EQ(preferences.value("customCommandsArray"), QVariant(QVariantList{}));
}

} // namespace
