#pragma once

#include <QString>
#include <QStringList>

namespace wendle {

// Wendle's own files (settings, log, index, outbox, snapshots, attachments)
// are private whatever umask the session has: the process runs with 077.
// Programs it starts for the owner (scripts, applications, xdg-open, lp)
// get back the umask the owner's session gave Wendle, so what they write is
// what the owner expects.
void keepOwnFilesPrivate();
// Async-signal-safe: for QProcess::setChildProcessModifier and GLib's
// child setup, between fork and exec.
void restoreOwnerUmask();
// Starts the program on its own, its output thrown away, with the owner's
// umask (QProcess::startDetached runs no child modifier).
bool startDetachedForOwner(const QString &program, const QStringList &arguments);

} // namespace wendle
