#include "custom/ShortcutLibrary.h"

#include <QVariantMap>

namespace wendle::library {

namespace {

const QString PathKey = QStringLiteral("path");
const QString ShortcutKey = QStringLiteral("shortcut");

QString lastPathComponent(const QString &path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    if (trimmed == QLatin1String("/"))
        return QString();
    return trimmed.mid(trimmed.lastIndexOf(u'/') + 1);
}

// The position of the dot that starts the last extension, or -1.
qsizetype extensionDot(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? dot : -1;
}

// A missing dictionary value stays missing rather than becoming "".
QString optionalString(const QVariantMap &dictionary, const QString &key)
{
    const QVariant value = dictionary.value(key);
    return value.isValid() ? value.toString() : QString();
}

} // namespace

QString fileNameWithoutExtension(const QString &path)
{
    const QString name = lastPathComponent(path);
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? name : name.left(dot);
}

QString pathExtension(const QString &path)
{
    const QString name = lastPathComponent(path);
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString commandNameForFile(const QString &path)
{
    const QString name = fileNameWithoutExtension(path);
    if (name.isEmpty())
        return QString();
    return name.toLower();
}

Shortcut shortcutForFile(const QString &path)
{
    return Shortcut(path, commandNameForFile(path));
}

QList<Shortcut> shortcutsFromDictionaries(const QVariantList &dictionaries)
{
    QList<Shortcut> shortcuts;
    shortcuts.reserve(dictionaries.size());
    for (const QVariant &entry : dictionaries) {
        const QVariantMap dictionary = entry.toMap();
        shortcuts.append(Shortcut(optionalString(dictionary, PathKey), optionalString(dictionary, ShortcutKey)));
    }
    return shortcuts;
}

QVariantList dictionariesFromShortcuts(const QList<Shortcut> &shortcuts)
{
    QVariantList dictionaries;
    dictionaries.reserve(shortcuts.size());
    for (const Shortcut &entry : shortcuts) {
        if (entry.path().isEmpty() || entry.shortcut().isEmpty())
            continue;
        dictionaries.append(QVariantMap{{PathKey, entry.path()}, {ShortcutKey, entry.shortcut()}});
    }
    return dictionaries;
}

DropResult insertDroppedFiles(QList<Shortcut> &library, const QStringList &files, int row, bool fromLibraryTable)
{
    DropResult result;
    if (fromLibraryTable || files.isEmpty())
        return result;
    // The table never proposes a row past the end, but a stale row must not
    // write outside the list.
    const qsizetype index = qBound(qsizetype(0), qsizetype(row), library.size());
    for (const QString &file : files) {
        const Shortcut entry = shortcutForFile(file);
        if (entry.shortcut().isNull())
            return result;
        library.insert(index, entry);
        result.selectedRow = int(index);
    }
    result.accepted = true;
    return result;
}

QString draggedPath(const QList<Shortcut> &library, const QList<int> &rows)
{
    if (rows.isEmpty() || rows.first() < 0 || rows.first() >= library.size())
        return QString();
    const QString path = library.at(rows.first()).path();
    return path.isEmpty() ? QString() : path;
}

} // namespace wendle::library
