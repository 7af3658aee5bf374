#include "app/DeliverCommand.h"

#include "app/SendCommand.h"
#include "platform/mail/InboundMessage.h"

#include <QFile>
#include <QVariantMap>

namespace wendle {

int runDeliverCommand(QIODevice &input, const QString &attachmentFolder, QTextStream &err)
{
    // One byte more than the limit is enough to know the message is too big.
    const QByteArray raw = input.read(MaxInboundMessageBytes + 1);
    QString error;
    bool temporary = false;
    const std::optional<InboundMail> mail = parseInboundMessage(raw, attachmentFolder, &error, &temporary);
    if (!mail) {
        err << "wendle deliver: " << error << '\n';
        return temporary ? TryAgainLaterExitCode : BadMessageExitCode;
    }

    QVariantMap message{{QStringLiteral("FromAddress"), mail->from}, {QStringLiteral("MessageText"), mail->text}};
    if (!mail->attachmentPath.isEmpty())
        message.insert(QStringLiteral("AttachedFile"), mail->attachmentPath);
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
