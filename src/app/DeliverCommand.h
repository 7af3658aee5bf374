#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace wendle {

// Exit codes a mail delivery agent understands (sysexits.h).
inline constexpr int DeliveredExitCode = 0;
inline constexpr int BadMessageExitCode = 65;    // EX_DATAERR: bounce, retrying cannot help
inline constexpr int TryAgainLaterExitCode = 75; // EX_TEMPFAIL: the mail system keeps it and retries

// The error the running Wendle answers a delivered message with when the
// message can never be taken; any other error is worth another try.
inline constexpr const char *DBusBadMessageError = "org.wendle.Wendle.Error.BadMessage";
// How long a deliverer waits for the running Wendle to take a message.
inline constexpr int DeliverTimeoutMs = 120000;

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

// `wendle deliver` itself, the command a mail system runs for each message,
// is FrontMain.cpp's: it hands the message's bytes, unparsed, to the running
// Wendle (InboundService::DeliverMessage), and without one the full program
// reads the message (runDeliverCommand in DeliveredMessage.h).

} // namespace wendle
