#pragma once

#include <QByteArray>
#include <QString>

namespace wendle {

// Which file a result list named: the file itself, not whatever its path
// leads to later. A code that comes back minutes after the list must not
// send a file swapped in under the same path (a link to a file elsewhere, a
// folder on the way replaced by a link).
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    // The file system's handle of the file. A file made after the listed one was
    // deleted often takes over its inode number, but never its handle, which
    // holds the inode's generation. Empty where the file system gives none.
    QByteArray handle;
    QString realPath; // empty when the path named no regular file when listed
};

// The identity of the regular file at path, not following a link in its place.
FileIdentity identifyListedFile(const QString &path);

enum class ListedFileState {
    Same,    // the very file that was listed, reached without a link in place of it
    Gone,    // nothing is there any more
    Changed, // something else is there now
};
// Opens the path without following a link in place of the file and compares
// the file reached, and its real path, with what was listed.
ListedFileState checkListedFile(const QString &path, const FileIdentity &listed);

} // namespace wendle
