#pragma once

#include <QByteArray>
#include <QString>
#include <QTextStream>

namespace wendle {

class Preferences;

// Exit codes a mail delivery agent understands (sysexits.h).
inline constexpr int DeliveredExitCode = 0;
inline constexpr int BadMessageExitCode = 65;     // EX_DATAERR: bounce, retrying cannot help
inline constexpr int TryAgainLaterExitCode = 75;  // EX_TEMPFAIL: the mail system keeps it and retries

// The whole input of a file descriptor, read to its end. Past bound bytes it
// is TooLarge, with no bytes (the rest is still read, up to a few gigabytes,
// and dropped).
struct BoundedInput {
    enum Status { Complete, TooLarge, Unreadable } status = Complete;
    QByteArray bytes;
};
BoundedInput readBoundedInput(int fd, qsizetype bound);

// `wendle deliver`: reads one RFC 5322 message from the input descriptor, as procmail,
// maildrop, a Sieve pipe or a .forward line hands it over, and passes its
// sender, text and first attachment (saved under attachmentFolder) to the
// running Wendle.
// Attachments are saved only for a message the intake may take for a
// command, and only while the folder holds less than MaxAttachmentFolderBytes.
int runDeliverCommand(int input, const Preferences &preferences, const QString &attachmentFolder, QTextStream &err);

} // namespace wendle
