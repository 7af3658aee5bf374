#pragma once

#include "custom/Shortcut.h"

#include <QAbstractTableModel>
#include <QTableView>

class QFileDialog;

namespace wendle {

class Controller;

// The shortcut library as a table: the rows are the running Controller's
// library itself, so an edit here is what the next custom command finds and
// what quitting stores.
class LibraryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ShortcutColumn, PathColumn };
    explicit LibraryModel(Controller &controller, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column, const QModelIndex &parent) override;

    // Appends an entry made from the file; false (with a console line) for a
    // folder or a file that cannot be read.
    bool appendFile(const QString &path);
    // Inserts entries for the files at row the way a drop does; stops at the
    // first folder or unreadable file. Returns the row to select, -1 when
    // nothing could be inserted; allInserted tells whether every file made it.
    int insertFiles(const QStringList &paths, int row, bool *allInserted = nullptr);
    // Shows the library again after someone else changed it.
    void reload();

Q_SIGNALS:
    void rowDropped(int row);

private:
    bool usableFile(const QString &path) const;

    Controller &m_controller;
};

// The table view: takes files dragged from elsewhere, refuses its own rows
// (rows are not reordered by dragging), one row selected at a time.
class LibraryTable : public QTableView {
    Q_OBJECT

public:
    explicit LibraryTable(LibraryModel *model, QWidget *parent = nullptr);
    void acceptFileDrops();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

} // namespace wendle
