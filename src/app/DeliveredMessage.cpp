#include "app/DeliveredMessage.h"

#include "app/DeliverCommand.h"
#include "app/InboundLimits.h"
#include "app/InboundService.h"
#include "app/SendCommand.h"
#include "app/SessionBus.h"
#include "intake/SenderChecks.h"
#include "platform/mail/InboundMessage.h"
#include "platform/preferences/Preferences.h"
#include "settings/Settings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace wendle {

Delivery readDelivery(const QByteArray &raw, const Preferences &preferences, const QString &attachmentFolder)
{
    Delivery delivery;
    // Only a message the intake may take for a command keeps its attachment
    // (saving it keeps the folder within its bound).
    const KeepAttachment keep = [&](const InboundMail &mail, qsizetype) {
        return !mail.autoSubmitted && mayBeMailCommand(preferences, mail.from, mail.text);
    };
    // GnuPG is started only for mail the address test lets in.
    const CheckSignature check = [&](const InboundMail &mail) {
        return !mail.autoSubmitted
               && (senderMatches(preferences.stringValue(RBPhoneEmailAddress), mail.from)
                   || senderMatches(preferences.stringValue(RBRemoteEmailAddress), mail.from));
    };
    QString error;
    bool temporary = false;
    const std::optional<InboundMail> mail = parseInboundMessage(raw, attachmentFolder, &error, &temporary, keep, check);
    if (!mail) {
        delivery.notes << error;
        delivery.exitCode = temporary ? TryAgainLaterExitCode : BadMessageExitCode;
        return delivery;
    }
    if (mail->attachmentFolderFull)
        delivery.notes << QStringLiteral("the attachment folder %1 is full; the command goes without its attachment").arg(attachmentFolder);
    // Bounces, vacation answers and Wendle's own replies coming back are
    // delivered (there is nothing to retry) but never taken for commands.
    if (mail->autoSubmitted) {
        delivery.notes << QStringLiteral("an automatic message (Auto-Submitted) is not a command; dropped");
        return delivery;
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
        delivery.notes << tooLarge + QStringLiteral("; it was not handed to Wendle");
        delivery.exitCode = BadMessageExitCode;
        return delivery;
    }
    delivery.arguments = message;
    delivery.attachmentPath = mail->attachmentPath;
    return delivery;
}

namespace {

// The message's bytes in a sealed file in memory, as `wendle` hands them over.
int messageFile(const QByteArray &bytes)
{
    const int file = ::memfd_create("wendle-message", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (file < 0)
        return -1;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const ssize_t wrote = ::write(file, bytes.constData() + at, size_t(bytes.size() - at));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            ::close(file);
            return -1;
        }
        at += wrote;
    }
    ::fcntl(file, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return file;
}

} // namespace

int runDeliverCommand(int input, const Preferences &preferences, const QString &attachmentFolder, QTextStream &err)
{
    const BoundedInput raw = readBoundedInput(input, MaxInboundMessageBytes);
    if (raw.status == BoundedInput::Unreadable) {
        err << "wendle deliver: cannot read standard input: " << qt_error_string(errno) << '\n';
        return TryAgainLaterExitCode;
    }
    if (raw.status == BoundedInput::TooLarge) {
        err << "wendle deliver: the message is larger than " << (MaxInboundMessageBytes >> 20) << " MB; it was not handed to Wendle\n";
        return BadMessageExitCode;
    }
    // A running Wendle reads the message itself, signature and all: what a
    // caller says of a signature is never taken.
    const QString busProblem = connectSessionBus();
    if (busProblem.isNull()) {
        const int file = messageFile(raw.bytes);
        if (file < 0) {
            err << "wendle deliver: cannot hold the message for Wendle: " << qt_error_string(errno) << '\n';
            return TryAgainLaterExitCode;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(DBusServiceName), QLatin1String(DBusObjectPath),
                                                           QLatin1String(DBusInboundInterface), QStringLiteral("DeliverMessage"));
        call << QVariant::fromValue(QDBusUnixFileDescriptor(file));
        ::close(file);
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, DeliverTimeoutMs);
        if (reply.type() != QDBusMessage::ErrorMessage) {
            for (const QString &note : reply.arguments().value(0).toStringList())
                err << "wendle deliver: " << note << '\n';
            return DeliveredExitCode;
        }
        if (!isWendleMissing(reply)) {
            err << "wendle deliver: " << reply.errorMessage() << '\n';
            return reply.errorName() == QLatin1String(DBusBadMessageError) ? BadMessageExitCode : TryAgainLaterExitCode;
        }
    }
    // No Wendle: a message that could never be taken is refused now, any
    // other waits with the mail system for the next try.
    const Delivery delivery = readDelivery(raw.bytes, preferences, attachmentFolder);
    if (!delivery.attachmentPath.isEmpty())
        QFile::remove(delivery.attachmentPath);
    for (const QString &note : delivery.notes)
        err << "wendle deliver: " << note << '\n';
    if (!delivery.arguments)
        return delivery.exitCode;
    err << "wendle deliver: "
        << (busProblem.isNull() ? QStringLiteral("Wendle is not running (start it with: wendle run)") : sessionBusAdvice(busProblem))
        << '\n';
    return TryAgainLaterExitCode;
}

} // namespace wendle
