#include "app/DeliverCommand.h"

#include "app/InboundService.h"
#include "app/SendCommand.h"
#include "app/RoadTrace.h"
#include "app/SessionBus.h"
#include "app/SubcommandParser.h"
#include "platform/mail/InboundMessage.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace wendle {

namespace {

constexpr qsizetype ReadChunkBytes = 64 * 1024;
// Past the bound the rest is read and dropped, so that the writer learns of
// the refusal from the exit code rather than from a broken pipe; but not forever.
constexpr qint64 MostBytesDrained = qint64(4) * 1024 * 1024 * 1024;
// As long as `wendle send` waits: the running Wendle reads the message
// before it answers, and a large one takes a while.
constexpr int DeliverTimeoutMs = 120000;

void printLines(const QString &lines, QTextStream &err)
{
    for (const QString &line : lines.split(u'\n'))
        err << "wendle deliver: " << line << '\n';
}

// The message as a file in memory that the running Wendle reads: it crosses
// the bus as a descriptor, not as bytes the bus daemon copies twice.
int memoryFileWith(const QByteArray &bytes)
{
    const int file = ::memfd_create("wendle-message", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (file < 0)
        return -1;
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t wrote = ::write(file, bytes.constData() + at, size_t(bytes.size() - at));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            ::close(file);
            return -1;
        }
        at += wrote;
    }
    // Sealed, so Wendle reads exactly what was read here.
    ::fcntl(file, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return file;
}

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

std::optional<int> deliverToRunningWendle(int input, QTextStream &err, int *fullProgramInput)
{
    *fullProgramInput = input;
    if (!connectSessionBus().isNull())
        return std::nullopt;
    QDBusConnection bus = QDBusConnection::sessionBus();

    const BoundedInput raw = readBoundedInput(input, MaxInboundMessageBytes);
    if (raw.status == BoundedInput::Unreadable) {
        err << "wendle deliver: cannot read standard input: " << qt_error_string(errno) << '\n';
        return TryAgainLaterExitCode;
    }
    if (raw.status == BoundedInput::TooLarge) {
        err << "wendle deliver: the message is larger than " << (MaxInboundMessageBytes >> 20)
            << " MB; it was not handed to Wendle\n";
        return BadMessageExitCode;
    }
    const int file = memoryFileWith(raw.bytes);
    if (file < 0) {
        err << "wendle deliver: cannot hold the message for Wendle: " << qt_error_string(errno) << '\n';
        return TryAgainLaterExitCode;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(DBusServiceName), QLatin1String(DBusObjectPath),
                                                       QLatin1String(DBusInboundInterface), QStringLiteral("DeliverMessage"));
    call << QVariant::fromValue(QDBusUnixFileDescriptor(file));
    traceStep("client: call sent");
    const QDBusMessage reply = bus.call(call, QDBus::Block, DeliverTimeoutMs);
    traceStep("client: call answered");
    if (isWendleMissing(reply)) {
        // The full program reads the message from the start of the same file.
        ::lseek(file, 0, SEEK_SET);
        *fullProgramInput = file;
        return std::nullopt;
    }
    ::close(file);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        printLines(reply.errorMessage(), err);
        return reply.errorName() == QLatin1String(DBusBadMessageError) ? BadMessageExitCode : TryAgainLaterExitCode;
    }
    const QStringList notes = reply.arguments().value(0).toStringList();
    for (const QString &note : notes)
        printLines(note, err);
    return DeliveredExitCode;
}

} // namespace wendle
