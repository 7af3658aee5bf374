#pragma once

#include "intake/OwnerKeys.h"
#include "platform/mail/MailSettingKeys.h"
#include "platform/mail/MailSignature.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace wendle {

class Preferences;
struct SenderEvidence;

// Checks that make a mail command the owner's beyond its sender text: an
// OpenPGP signature by one of the owner's keys, and a time window that a
// captured command falls out of. Each adds to the sender test; none replaces it.
// The owner's keys and encryptReplies are read by the mail adapters too, so
// their keys sit with them (platform/mail/MailSettingKeys.h).
inline constexpr const char *RBRequireSignedCommands = "requireSignedCommands";
inline constexpr const char *RBMaxCommandAgeMinutes = "maxCommandAgeMinutes";

// A command may be dated this far ahead of the computer's clock: phones and
// computers rarely agree to the second.
inline constexpr qint64 AllowedClockSkewSeconds = 5 * 60;

// The signature as flat text values, for the D-Bus call of `wendle deliver`
// and the spool; keys begin with "Signature". Nothing is written for Missing.
void putSignature(QVariantMap &map, const MailSignature &signature);
// Read back; get returns a key's text, or a null string when it is missing.
MailSignature takeSignature(const std::function<QString(const QString &key)> &get);
// The keys putSignature writes, with the most bytes each may carry.
QList<QPair<QString, qsizetype>> signatureKeyBounds(qsizetype textBytes, qsizetype nameBytes);

// The checks requireSignedCommands asks of a mail command's signature. Null
// when it passes them (or they are off); otherwise why not, for the log.
QString signatureCheckFailure(const Preferences &preferences, const MailSignature &signature);

// The check of maxCommandAgeMinutes: the signature's time when signatures are
// required, otherwise the Date header (null when the message had none). Null
// when the command is within the window or the window is off.
QString commandAgeFailure(const Preferences &preferences, const SenderEvidence &evidence, const QDateTime &now);

// Whether the text the sender wrote (quotes left out) holds the keyword.
bool holdsCommandKeyword(const QString &text);

} // namespace wendle
