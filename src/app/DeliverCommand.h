#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace wendle {

// Exit codes a mail delivery agent understands (sysexits.h).
inline constexpr int DeliveredExitCode = 0;
inline constexpr int BadMessageExitCode = 65;     // EX_DATAERR: bounce, retrying cannot help
inline constexpr int TryAgainLaterExitCode = 75;  // EX_TEMPFAIL: the mail system keeps it and retries

// The error the running Wendle answers a delivered message with when the
// message can never be taken; any other error is worth another try.
inline constexpr const char *DBusBadMessageError = "org.wendle.Wendle.Error.BadMessage";

// The whole input of a file descriptor, read to its end. Past bound bytes it
// is TooLarge, with no bytes (the rest is still read, up to a few gigabytes,
// and dropped).
struct BoundedInput {
    enum Status { Complete, TooLarge, Unreadable } status = Complete;
    QByteArray bytes;
};
BoundedInput readBoundedInput(int fd, qsizetype bound);

// The usage of `wendle deliver`: nothing when it goes on, else its exit code.
std::optional<int> parseDeliverArguments(const QStringList &arguments, QTextStream &out, QTextStream &err);

// `wendle deliver` in the client: reads one RFC 5322 message from the input
// descriptor, as procmail, maildrop, a Sieve pipe or a .forward line hands
// it over, and hands its bytes, unparsed, to the running Wendle (which reads
// it, keeps its command and says what became of it), or to the one the bus
// starts. Nothing when no Wendle runs or can be started: the full program
// then reads the message itself, so that a bad message is refused as such
// even then, from *fullProgramInput (the input untouched, or a file that
// holds what was read of it).
std::optional<int> deliverToRunningWendle(int input, QTextStream &err, int *fullProgramInput);

} // namespace wendle
