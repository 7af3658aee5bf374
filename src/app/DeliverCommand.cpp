#include "app/DeliverCommand.h"

#include "app/InboundLimits.h"
#include "app/SendCommand.h"
#include "app/Settings.h"
#include "intake/SenderChecks.h"
#include "platform/mail/InboundMessage.h"
#include "platform/preferences/Preferences.h"

#include <QFile>
#include <QVariantMap>

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

int runDeliverCommand(int input, const Preferences &preferences, const QString &attachmentFolder, QTextStream &err)
{
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
    // Only a message the intake may take for a command keeps its attachment
    // (saving it keeps the folder within its bound).
    const KeepAttachment keep = [&](const InboundMail &mail, qsizetype) {
        return !mail.autoSubmitted && mayBeMailCommand(preferences, mail.from, mail.text);
    };
    // GnuPG is started only for mail the address test lets in.
    const CheckSignature check = [&](const InboundMail &mail) {
        return !mail.autoSubmitted && (senderMatches(preferences.stringValue(RBPhoneEmailAddress), mail.from)
                                       || senderMatches(preferences.stringValue(RBRemoteEmailAddress), mail.from));
    };
    QString error;
    bool temporary = false;
    const std::optional<InboundMail> mail = parseInboundMessage(raw.bytes, attachmentFolder, &error, &temporary, keep, check);
    if (!mail) {
        err << "wendle deliver: " << error << '\n';
        return temporary ? TryAgainLaterExitCode : BadMessageExitCode;
    }
    if (mail->attachmentFolderFull)
        err << "wendle deliver: the attachment folder " << attachmentFolder << " is full; the command goes without its attachment\n";
    // Bounces, vacation answers and Wendle's own replies coming back are
    // delivered (there is nothing to retry) but never taken for commands.
    if (mail->autoSubmitted) {
        err << "wendle deliver: an automatic message (Auto-Submitted) is not a command; dropped\n";
        return DeliveredExitCode;
    }

    QVariantMap message{{QStringLiteral("FromAddress"), mail->from}, {QStringLiteral("MessageText"), mail->text}};
    if (!mail->attachmentPath.isEmpty())
        message.insert(QStringLiteral("AttachedFile"), mail->attachmentPath);
    if (!mail->messageId.isEmpty())
        message.insert(QStringLiteral("MessageID"), mail->messageId);
    if (!mail->authenticationResults.isEmpty())
        message.insert(QStringLiteral("AuthenticationResults"), mail->authenticationResults.join(u'\n'));
    if (!mail->senderHeader.isNull())
        message.insert(QStringLiteral("SenderHeader"), mail->senderHeader);
    if (!mail->dateHeader.isNull())
        message.insert(QStringLiteral("DateHeader"), mail->dateHeader);
    putSignature(message, mail->signature);
    // Wendle would refuse it every time: a bad message, not one to retry.
    const QString tooLarge = inboundArgumentsProblem(message);
    if (!tooLarge.isNull()) {
        if (!mail->attachmentPath.isEmpty())
            QFile::remove(mail->attachmentPath);
        err << "wendle deliver: " << tooLarge << "; it was not handed to Wendle\n";
        return BadMessageExitCode;
    }
    if (!callInbound(false, message, &error)) {
        // The saved attachment goes with the message when it is handed over again.
        if (!mail->attachmentPath.isEmpty())
            QFile::remove(mail->attachmentPath);
        err << "wendle deliver: " << error << '\n';
        return TryAgainLaterExitCode;
    }
    return DeliveredExitCode;
}

} // namespace wendle
