#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QVariantMap>

#include <optional>

namespace wendle {

class Preferences;

// One message as `wendle deliver` hands it over, read: what the intake gets,
// or why nothing. The running Wendle reads what the client sends it; the
// full program reads it itself when no Wendle runs.
struct Delivery {
    // DeliveredExitCode, BadMessageExitCode or TryAgainLaterExitCode.
    int exitCode = 0;
    // What the deliverer is told, a line each, without "wendle deliver: ".
    QStringList notes;
    // The Inbound call's arguments, when there is a command to hand over.
    std::optional<QVariantMap> arguments;
    // The attachment saved for it, to remove when the hand-over fails.
    QString attachmentPath;
};

// Parses the raw message (at most MaxInboundMessageBytes). Attachments are
// saved under attachmentFolder only for a message the intake may take for a
// command, and only while the folder holds less than MaxAttachmentFolderBytes.
Delivery readDelivery(const QByteArray &raw, const Preferences &preferences, const QString &attachmentFolder);

// `wendle deliver` in the full program: reads the message itself and passes
// its sender, text and first attachment (saved under attachmentFolder) to
// the running Wendle.
int runDeliverCommand(int input, const Preferences &preferences, const QString &attachmentFolder, QTextStream &err);

} // namespace wendle
