#pragma once

#include <QStringList>

namespace wendle {

// Takes group and other permissions off everything under the folders (and
// the folders themselves): files an earlier version or another umask left
// readable by other users of the machine. Symbolic links are not followed.
// Answers how many entries were changed.
int makeFilesPrivate(const QStringList &folders);

} // namespace wendle
