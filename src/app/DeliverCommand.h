#pragma once

#include <QIODevice>
#include <QString>
#include <QTextStream>

namespace wendle {

// Exit codes a mail delivery agent understands (sysexits.h).
inline constexpr int DeliveredExitCode = 0;
inline constexpr int BadMessageExitCode = 65;     // EX_DATAERR: bounce, retrying cannot help
inline constexpr int TryAgainLaterExitCode = 75;  // EX_TEMPFAIL: the mail system keeps it and retries

// `wendle deliver`: reads one RFC 5322 message from input, as procmail,
// maildrop, a Sieve pipe or a .forward line hands it over, and passes its
// sender, text and first attachment (saved under attachmentFolder) to the
// running Wendle.
int runDeliverCommand(QIODevice &input, const QString &attachmentFolder, QTextStream &err);

} // namespace wendle
