#pragma once

#include <QByteArray>
#include <QString>

typedef struct _GMimeMessage GMimeMessage;

namespace wendle {

// Deeper nesting than any mail program writes; such a message is refused.
inline constexpr int MaxMimeDepth = 32;
// More parts than any real message carries; such a message is refused.
inline constexpr int MaxMimeParts = 1000;
// GMime keeps each header field as an object of its own (some 500 bytes) and
// copies each value several times: past these bounds a message is refused.
inline constexpr int MaxMimeHeaderLines = 20000;
inline constexpr qsizetype MaxMimeHeaderBytes = 4 * 1024 * 1024;

// What a cheap pass over the raw bytes finds, before GMime builds anything.
// Every count is at least what GMime will build: a part is whatever a
// delimiter line ("--" and a boundary declared anywhere, in any case) opens,
// typed or not, and a nested message's body is one more; header lines are
// those of every block that may be read as headers.
struct MimeShape {
    qsizetype parts = 0;
    qsizetype headerLines = 0;
    qsizetype headerBytes = 0;
};
MimeShape scanMimeShape(const QByteArray &raw);

// Parses a whole message within the bounds above, the one way every reader of
// mail (deliver, the mailbox watcher, the search index) does it. GMime builds
// the whole tree at once and cannot be stopped half-way, so the raw bytes are
// scanned first and a message that might exceed the bounds by far is refused
// before it is built; the parts and their depth are then counted on GMime's
// own tree. nullptr with *error when refused or not a message; the caller
// owns the result (g_object_unref).
GMimeMessage *parseBoundedMessage(const QByteArray &raw, QString *error);

} // namespace wendle
