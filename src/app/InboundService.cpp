#include "app/InboundService.h"

#include "app/Controller.h"
#include "app/DeliverCommand.h"
#include "app/DeliveredMessage.h"
#include "app/InboundLimits.h"
#include "app/InboundQueue.h"
#include "platform/console/Console.h"
#include "platform/mail/AttachmentFile.h"
#include "platform/mail/InboundMessage.h"
#include "platform/trace/RoadTrace.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wendle {

namespace {

// Past this size a call leaves enough freed memory behind to hand back.
constexpr qsizetype LargeCallBytes = 256 * 1024;

} // namespace

InboundService::InboundService(InboundQueue &queue, const Preferences &preferences, const QString &attachmentFolder, Console &console,
                               QObject *parent)
    : QObject(parent)
    , m_queue(queue)
    , m_preferences(preferences)
    , m_attachmentFolder(attachmentFolder)
    , m_console(console)
{}

QString inboundArgument(const QVariantMap &arguments, const QString &key)
{
    const auto it = arguments.find(key);
    if (it == arguments.end())
        return QString();
    QVariant value = *it;
    if (value.canConvert<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    if (value.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(value.toByteArray());
    QString text = value.toString();
    return text.isNull() ? QLatin1String("") : text;
}

namespace {

// Only a signature this Wendle checked counts: one a caller reports is ignored.
enum class Signature { Checked, Reported };

InboundItem inboundItemFromArguments(bool chat, const QVariantMap &arguments, Signature signature)
{
    InboundItem item;
    item.chat = chat;
    item.from = inboundArgument(arguments, QStringLiteral("FromAddress"));
    item.text = inboundArgument(arguments, QStringLiteral("MessageText"));
    item.attachment = inboundArgument(arguments, QStringLiteral("AttachedFile"));
    item.messageId = inboundArgument(arguments, QStringLiteral("MessageID"));
    const QString results = inboundArgument(arguments, QStringLiteral("AuthenticationResults"));
    if (!results.isEmpty())
        item.authenticationResults = results.split(u'\n', Qt::SkipEmptyParts);
    if (arguments.contains(QStringLiteral("SenderHeader")))
        item.senderHeader = inboundArgument(arguments, QStringLiteral("SenderHeader"));
    if (arguments.contains(QStringLiteral("DateHeader")))
        item.dateHeader = inboundArgument(arguments, QStringLiteral("DateHeader"));
    if (signature == Signature::Checked)
        item.signature = takeSignature([&arguments](const QString &key) { return inboundArgument(arguments, key); });
    return item;
}

// The delivered message's bytes, read from the start of the file the client
// sent; why not, in words, when it is no file or larger than a message may be
// (never to be taken), or cannot be read now (*temporary). Only a regular
// file is read: a pipe from a caller that never writes to it would hold up
// the whole daemon.
QString readDeliveredFile(int file, QByteArray *bytes, bool *temporary)
{
    struct stat status;
    if (file < 0 || ::fstat(file, &status) != 0 || !S_ISREG(status.st_mode))
        return QStringLiteral("the message did not come as a file");
    if (status.st_size > MaxInboundMessageBytes)
        return QStringLiteral("the message is larger than %1 MB; it was not handed to Wendle").arg(MaxInboundMessageBytes >> 20);
    bytes->resize(qsizetype(status.st_size));
    qsizetype at = 0;
    while (at < bytes->size()) {
        const ssize_t got = ::pread(file, bytes->data() + at, size_t(bytes->size() - at), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *temporary = true;
            return QStringLiteral("the message could not be read: ") + qt_error_string(errno);
        }
        if (got == 0)
            break;
        at += got;
    }
    bytes->truncate(at);
    return QString();
}

} // namespace

void InboundService::InboundMessage(const QVariantMap &arguments)
{
    take(false, arguments);
}

void InboundService::InboundChat(const QVariantMap &arguments)
{
    take(true, arguments);
}

void InboundService::take(bool chat, const QVariantMap &arguments)
{
    traceStep("daemon: call received");
    trimAfterLargeCall(inboundValueBytes(arguments));
    if (refusedAsTooLarge(arguments))
        return;
    const InboundItem item = inboundItemFromArguments(chat, arguments, Signature::Reported);
    const QString refused = enqueue(item, item.attachment);
    if (!refused.isNull() && calledFromDBus())
        sendErrorReply(QLatin1String(DBusCannotTakeError), refused);
}

QString InboundService::enqueue(const InboundItem &item, const QString &attachmentPath)
{
    QString why;
    const InboundQueue::Outcome outcome = m_queue.take(item, &why);
    traceStep("daemon: message spooled");
    switch (outcome) {
    case InboundQueue::Outcome::Taken: return {};
    case InboundQueue::Outcome::RunBefore:
        // A second delivery of a message already taken: answered as taken, so
        // the mail system stops offering it, and dropped.
        removeOwnAttachment(attachmentPath, m_attachmentFolder);
        return {};
    case InboundQueue::Outcome::CannotSpool:
        // Whoever brought the message brings it again, and it is read anew.
        removeOwnAttachment(attachmentPath, m_attachmentFolder);
        return QStringLiteral("Wendle cannot take the message now: ") + why;
    }
    return {};
}

QStringList InboundService::DeliverMessage(const QDBusUnixFileDescriptor &message)
{
    traceStep("daemon: call received");
    QByteArray raw;
    bool temporary = false;
    const QString unread = readDeliveredFile(message.fileDescriptor(), &raw, &temporary);
    if (!unread.isNull()) {
        sendErrorReply(QLatin1String(temporary ? DBusCannotTakeError : DBusBadMessageError), unread);
        return {};
    }
    trimAfterLargeCall(raw.size());
    const Delivery delivery = readDelivery(raw, m_preferences, m_attachmentFolder);
    raw.clear();
    traceStep("daemon: message parsed");
    if (delivery.exitCode != DeliveredExitCode) {
        const bool bad = delivery.exitCode == BadMessageExitCode;
        sendErrorReply(QLatin1String(bad ? DBusBadMessageError : DBusCannotTakeError), delivery.notes.join(u'\n'));
        return {};
    }
    if (!delivery.arguments)
        return delivery.notes;
    const QString refused = enqueue(inboundItemFromArguments(false, *delivery.arguments, Signature::Checked), delivery.attachmentPath);
    if (!refused.isNull()) {
        sendErrorReply(QLatin1String(DBusCannotTakeError), QStringList(delivery.notes + QStringList{refused}).join(u'\n'));
        return {};
    }
    return delivery.notes;
}

void InboundService::trimAfterLargeCall(qsizetype bytes)
{
    // Qt DBus has read the whole call by now, and the bus passes calls of up
    // to a gigabyte. Its copies are freed once the call is answered; the C
    // library keeps freed memory for reuse unless asked to give it back, so
    // one large call would otherwise leave the daemon large for good.
    if (bytes > LargeCallBytes)
        QTimer::singleShot(0, this, [] { ::malloc_trim(0); });
}

// A sender that cannot be served (a runaway script, a hostile program on
// the bus) learns why; nothing of the message is kept.
bool InboundService::refusedAsTooLarge(const QVariantMap &arguments)
{
    const QString problem = inboundArgumentsProblem(arguments);
    if (problem.isNull())
        return false;
    const QString reason = QStringLiteral("Wendle refused the message: ") + problem;
    m_console.writeLine(QStringLiteral("Wendle Error: a message handed over on D-Bus was refused: ") + problem);
    sendErrorReply(QDBusError::LimitsExceeded, reason);
    const QString attachment = inboundArgument(arguments, QStringLiteral("AttachedFile"));
    if (attachment.size() <= MaxInboundNameBytes)
        removeOwnAttachment(attachment, m_attachmentFolder);
    return true;
}

void removeOwnAttachment(const QString &path, const QString &attachmentFolder)
{
    if (path.isEmpty() || attachmentFolder.isEmpty())
        return;
    const QFileInfo file(path);
    // Only a file Wendle saved: `wendle send --attachment` names the owner's own.
    if (file.isFile() && !file.isSymLink() && QDir(file.absolutePath()) == QDir(attachmentFolder))
        QFile::remove(path);
}

void removeStaleAttachments(const QString &attachmentFolder)
{
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    for (const QFileInfo &file : QDir(attachmentFolder).entryInfoList(QDir::Files | QDir::Hidden)) {
        // The lock file stays: removed while held, the next writer would lock a new one and not wait.
        if (file.lastModified() < dayAgo && file.fileName() != QLatin1String(AttachmentFolderLockName))
            QFile::remove(file.filePath());
    }
}

bool handInboundItem(Controller &controller, const InboundItem &item, const QString &attachmentFolder)
{
    const QVariant attachment = item.attachment.isNull() ? QVariant() : QVariant(item.attachment);
    bool taken = true;
    controller.holdLogUntilSettled();
    if (item.chat) {
        controller.processChatFrom(item.from, item.text, attachment);
    } else {
        controller.setSenderEvidence({item.authenticationResults, item.senderHeader, item.dateHeader, item.signature});
        controller.processEmailFrom(item.from, item.text, attachment, item.messageId);
        controller.setSenderEvidence({});
        taken = controller.lastMessageTaken();
    }
    controller.releaseLogWhenSettled();
    removeOwnAttachment(item.attachment, attachmentFolder);
    removeStaleAttachments(attachmentFolder);
    return taken;
}

} // namespace wendle
