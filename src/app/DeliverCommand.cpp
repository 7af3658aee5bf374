#include "app/DeliverCommand.h"

#include "app/SubcommandParser.h"

#include <cerrno>
#include <unistd.h>

namespace wendle {

namespace {

constexpr qsizetype ReadChunkBytes = 64 * 1024;
// Past the bound the rest is read and dropped, so that the writer learns of
// the refusal from the exit code rather than from a broken pipe; but not forever.
constexpr qint64 MostBytesDrained = qint64(4) * 1024 * 1024 * 1024;

} // namespace

BoundedInput readBoundedInput(int fd, qsizetype bound)
{
    // A pipe hands the message over in pieces, as the writer produces them and
    // the pipe's buffer allows: only the end of the input ends the message.
    BoundedInput input;
    char piece[ReadChunkBytes];
    qint64 beyond = 0;
    while (true) {
        const ssize_t got = ::read(fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            input.status = BoundedInput::Unreadable;
            return input;
        }
        if (got == 0)
            break;
        if (input.bytes.size() + got <= bound) {
            input.bytes.append(piece, got);
            continue;
        }
        beyond += got;
        if (beyond >= MostBytesDrained)
            break;
    }
    if (beyond > 0) {
        input.status = BoundedInput::TooLarge;
        input.bytes.clear();
    }
    return input;
}

std::optional<int> parseDeliverArguments(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    SubcommandParser command(QStringLiteral("deliver"), QStringLiteral("deliver < MESSAGE"),
                             QStringLiteral("Hand one RFC 5322 message from standard input to the running Wendle\n"
                                            "(for procmail, maildrop, Sieve pipe, .forward). Exit 0 as soon as\n"
                                            "Wendle has taken it, 75 try again later (Wendle not running),\n"
                                            "65 unusable message (too large, nested too deep, not a message)."));
    return command.parseWithoutArguments(arguments, out, err);
}

} // namespace wendle
