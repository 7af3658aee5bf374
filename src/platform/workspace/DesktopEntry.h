#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Desktop entry files (.desktop) as the freedesktop.org desktop entry format
// defines them: enough to find an application by its id and start it.
namespace wendle {

struct DesktopEntry {
    QString type;     // "Application" for a program
    QString exec;     // the command line template, string escapes undone
    QString tryExec;  // a program that must exist for the entry to count
    QString path;     // working folder, or empty
    bool hidden = false;

    // Whether starting the entry can work: an application with a command,
    // not deleted, whose TryExec program is installed.
    bool isLaunchable() const;
};

// Reads the [Desktop Entry] group of the file; nothing when the file cannot
// be read or has no such group. Localised keys are ignored.
std::optional<DesktopEntry> readDesktopEntry(const QString &filePath);

// Undoes the escapes of a string value: \s \n \t \r \\. Any other backslash
// pair is kept whole for the quoting rules of the Exec key.
QString unescapeDesktopValue(const QString &value);

// The argument vector of an Exec value: split at spaces, double-quoted
// arguments with \" \` \$ \\ escapes, field codes (%f, %U, %i ...) dropped
// and %% read as %. Wendle never passes files or URLs, so an argument made
// only of a field code disappears. Empty when nothing is left.
QStringList execArguments(const QString &exec);

// The file of the entry with this desktop file id in the first of the
// applications folders that holds it; a '-' in the id may stand for a
// subfolder ("kde-foo.desktop" is kde/foo.desktop). The ".desktop" suffix
// may be left out; an id holding '/' is taken as a file path. Empty when
// there is no such file.
QString locateDesktopEntry(const QString &id, const QStringList &applicationFolders);

} // namespace wendle
