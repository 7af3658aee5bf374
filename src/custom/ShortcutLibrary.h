#pragma once

#include "custom/Shortcut.h"

#include <QList>
#include <QStringList>
#include <QVariantList>

// The rules of the shortcut library that do not depend on the Controller:
// its stored form, names made from files, and what a drop onto the library
// table does. The settings window calls these; so does the Controller.
namespace wendle::library {

// The last component of a path without its last extension: "Stock
// Quote.scpt" gives "Stock Quote", "backup.tar.gz" gives "backup.tar". A
// leading dot starts a hidden file's name, not an extension.
QString fileNameWithoutExtension(const QString &path);
// The last extension, without its dot; empty when there is none.
QString pathExtension(const QString &path);

// The command name an entry made from this file gets: the file name without
// its last extension, in lower case, spaces and all. Null when the path
// yields no name.
QString commandNameForFile(const QString &path);
// A new entry for the file, or a null-named placeholder when the file gives
// no name (check shortcut().isNull()).
Shortcut shortcutForFile(const QString &path);

// The library as stored: dictionaries of "path" and "shortcut", in order.
// Values are taken as they are; a missing one stays missing.
QList<Shortcut> shortcutsFromDictionaries(const QVariantList &dictionaries);
// Entries without a path or a name cannot be stored as a two-key
// dictionary and are left out.
QVariantList dictionariesFromShortcuts(const QList<Shortcut> &shortcuts);

struct DropResult {
    bool accepted = false;
    int selectedRow = -1; // the row to select, -1 when none
};

// Inserts an entry for each dropped file at the drop row (a negative row
// means before the first), in the order given, so several files end up in
// reverse order with the last one at the drop row, selected. Stops at the
// first file that gives no name; the entries inserted before it stay.
DropResult insertDroppedFiles(QList<Shortcut> &library, const QStringList &files, int row, bool fromLibraryTable);

// The text a row dragged out of the table carries: the path of the first
// dragged row; null when it has none (the drag does not start).
QString draggedPath(const QList<Shortcut> &library, const QList<int> &rows);

} // namespace wendle::library
