#include "app/window/LibraryTable.h"

#include "app/Controller.h"
#include "custom/ShortcutLibrary.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>

namespace wendle {

LibraryModel::LibraryModel(Controller &controller, QObject *parent) : QAbstractTableModel(parent), m_controller(controller)
{}

int LibraryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_controller.libraryArray().size());
}

int LibraryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant LibraryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const Shortcut &entry = m_controller.libraryArray().at(index.row());
    return index.column() == ShortcutColumn ? entry.shortcut() : entry.path();
}

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == ShortcutColumn ? tr("Command") : tr("Script or file");
}

Qt::ItemFlags LibraryModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

bool LibraryModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.row() >= rowCount())
        return false;
    QList<Shortcut> library = m_controller.libraryArray();
    Shortcut &entry = library[index.row()];
    if (index.column() == ShortcutColumn)
        entry.setShortcut(value.toString().trimmed());
    else
        entry.setPath(value.toString());
    m_controller.setLibraryArray(library);
    Q_EMIT dataChanged(index, index);
    return true;
}

bool LibraryModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount())
        return false;
    beginRemoveRows(parent, row, row + count - 1);
    QList<Shortcut> library = m_controller.libraryArray();
    library.remove(row, count);
    m_controller.setLibraryArray(library);
    endRemoveRows();
    return true;
}

QStringList LibraryModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

// A row dragged out carries its path as plain text; a row without one
// cannot be dragged.
QMimeData *LibraryModel::mimeData(const QModelIndexList &indexes) const
{
    QList<int> rows;
    for (const QModelIndex &index : indexes)
        rows << index.row();
    const QString path = library::draggedPath(m_controller.libraryArray(), rows);
    if (path.isNull())
        return nullptr;
    auto *data = new QMimeData;
    data->setText(path);
    return data;
}

bool LibraryModel::dropMimeData(const QMimeData *data, Qt::DropAction, int row, int, const QModelIndex &parent)
{
    if (!data || !data->hasUrls())
        return false;
    QStringList files;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    if (files.isEmpty())
        return false;
    // Dropped onto a row: in front of it. Below the last row: at the end.
    if (parent.isValid())
        row = parent.row();
    else if (row < 0)
        row = rowCount();
    bool allInserted = false;
    const int selected = insertFiles(files, row, &allInserted);
    if (selected >= 0)
        Q_EMIT rowDropped(selected);
    return allInserted;
}

bool LibraryModel::usableFile(const QString &path) const
{
    const QFileInfo file(path);
    if (file.isDir()) {
        m_controller.writeConsoleLine(QStringLiteral("Wendle Error: %1 is a folder; only a file can become a custom command.").arg(path));
        return false;
    }
    if (!file.isFile() || !file.isReadable()) {
        m_controller.writeConsoleLine(
            QStringLiteral("Wendle Error: %1 cannot be read; it was not added to the custom commands.").arg(path));
        return false;
    }
    return true;
}

int LibraryModel::insertFiles(const QStringList &paths, int row, bool *allInserted)
{
    QStringList usable;
    for (const QString &path : paths) {
        if (!usableFile(path))
            break;
        usable << path;
    }
    if (allInserted)
        *allInserted = false;
    if (usable.isEmpty())
        return -1;
    QList<Shortcut> library = m_controller.libraryArray();
    const qsizetype before = library.size();
    const library::DropResult result = library::insertDroppedFiles(library, usable, row, false);
    if (const int added = int(library.size() - before); added > 0) {
        beginInsertRows(QModelIndex(), result.selectedRow, result.selectedRow + added - 1);
        m_controller.setLibraryArray(library);
        endInsertRows();
    }
    if (allInserted)
        *allInserted = result.accepted && usable.size() == paths.size();
    return result.selectedRow;
}

bool LibraryModel::appendFile(const QString &path)
{
    bool inserted = false;
    insertFiles({path}, rowCount(), &inserted);
    return inserted;
}

void LibraryModel::reload()
{
    beginResetModel();
    endResetModel();
}

LibraryTable::LibraryTable(LibraryModel *model, QWidget *parent) : QTableView(parent)
{
    setObjectName(QStringLiteral("libraryTable"));
    setModel(model);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->resizeSection(LibraryModel::ShortcutColumn, 140);
    verticalHeader()->hide();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setDragEnabled(true);
    connect(model, &LibraryModel::rowDropped, this, [this](int row) { selectRow(row); });
}

void LibraryTable::acceptFileDrops()
{
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void LibraryTable::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->source() == this || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    QTableView::dragEnterEvent(event);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void LibraryTable::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->source() == this) {
        event->ignore();
        return;
    }
    QTableView::dragMoveEvent(event);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void LibraryTable::dropEvent(QDropEvent *event)
{
    if (event->source() == this) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    QTableView::dropEvent(event);
}

} // namespace wendle
