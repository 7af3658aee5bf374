#pragma once

#include <QString>

namespace wendle {

// Which file a result list named: the file itself, not whatever its path
// leads to later. A code that comes back minutes after the list must not
// send a file swapped in under the same path (a link to a file elsewhere, a
// folder on the way replaced by a link).
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
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
