#pragma once

#include <QByteArray>
#include <QString>

namespace wendle {

// A file name safe to create inside our own folder, whatever the sender put in
// the attachment's name: only the last path component is kept (with / or \),
// control and format characters (bidirectional overrides among them) are
// dropped, characters other systems reserve become "_", leading dots go (so no
// "..", no hidden files), and the length is bounded with the extension kept.
// An empty result becomes "attachment" with the media type's usual suffix.
QString safeAttachmentName(const QString &proposed, const QString &mediaType);

// Wendle deletes each saved attachment once its command is done; this bounds
// what piles up while it is not running.
inline constexpr qint64 MaxAttachmentFolderBytes = qint64(256) * 1024 * 1024;
// The file every writer of the folder locks; it is neither an attachment nor counted.
inline constexpr const char *AttachmentFolderLockName = ".lock";
qint64 attachmentFolderBytes(const QString &folder);

// Saves the bytes in the folder (made private when missing) under the safe
// form of the name, adding "-2", "-3", ... before the extension when the name
// is taken; never replaces an existing file. The folder's size is checked and
// the file written under an exclusive lock, so that messages arriving
// together (several `wendle deliver` and the mailbox watcher) cannot each find
// room and overfill it together. Returns the path of a private file; an empty
// string with *folderFull set when it would pass MaxAttachmentFolderBytes, or
// with *error set when it cannot be written.
QString saveAttachment(const QString &folder, const QString &proposedName, const QString &mediaType, const QByteArray &bytes,
                       QString *error, bool *folderFull = nullptr);

} // namespace wendle
