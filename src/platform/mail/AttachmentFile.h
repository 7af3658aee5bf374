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

// Saves the bytes in the folder under the safe form of the name, adding
// "-2", "-3", ... before the extension when the name is taken; never replaces
// an existing file. Returns the path, or an empty string with *error set.
QString saveAttachment(const QString &folder, const QString &proposedName, const QString &mediaType,
                       const QByteArray &bytes, QString *error);

} // namespace wendle
