#pragma once

#include "intake/MailAddressForm.h"
#include "intake/SignedCommands.h"

#include <QString>
#include <QStringList>

namespace wendle {

class Preferences;

// Optional checks that a mail command really comes from the owner. Each one,
// when switched on, adds to the sender test of the intake (the configured
// address found in the sender); none replaces it.
inline constexpr const char *RBStrictSenderMatch = "strictSenderMatch";
inline constexpr const char *RBRequireAuthenticatedSender = "requireAuthenticatedSender";
inline constexpr const char *RBAuthservId = "authservId";
inline constexpr const char *RBCommandSecret = "commandSecret";

// What the receiving side knows about a mail message beyond its sender text.
struct SenderEvidence {
    // Values of the message's Authentication-Results header fields, topmost first.
    QStringList authenticationResults;
    // The Sender header as the message has it; null when there is none.
    QString senderHeader;
    // The Date header as the message has it; null when there is none (or the
    // message came without headers, by `wendle send`).
    QString dateHeader;
    // Its OpenPGP signature, as the receiving side checked it.
    MailSignature signature;
};

// The intake's sender test against one configured address: containment
// without regard to case. An empty configured address admits nobody, an
// empty sender included, and so does one that is not one whole address
// (isOneMailAddress): "." is found in nearly every sender.
bool senderMatches(const QString &configured, const QString &sender);

// Whether the mail intake could take the message for a command: the sender
// test passes and the text the sender wrote holds the keyword. Lets
// `wendle deliver` leave attachments of other mail unsaved.
bool mayBeMailCommand(const Preferences &preferences, const QString &sender, const QString &text);

// The bare address of a sender text holding exactly one mailbox ("Name <a@b.c>"
// gives "a@b.c"); null when it holds none or several.
QString senderAddrSpec(const QString &sender);

// The one address replies to this sender go to: the address of the only
// mailbox the text names, never its display text (which a reader could take
// for a list). Null, with *why, when the text names no mailbox or several, or
// an address that is not one plain local@domain.
QString replyAddressOf(const QString &sender, QString *why);

// Whether the header value, written by the server named authservId, shows
// dkim=pass for domain (header.d, or the domain of header.i) or spf=pass for
// it (smtp.mailfrom, or smtp.helo when there is no mailfrom).
bool authenticationPasses(const QString &headerValue, const QString &authservId, const QString &domain);

// The checks a mail command's sender meets beyond the address test, for a
// sender that passed it. Null when it passes them, with *replyAddress set to
// the address its answers go to; otherwise why it does not (for the console
// and the log, never sent to anyone).
QString senderCheckFailure(const Preferences &preferences, const QString &sender, const SenderEvidence &evidence, QString *replyAddress);

// The registered defaults name example addresses that anybody can forge.
// Null when the allowed senders are the owner's own; otherwise a line that
// says what to set.
QString placeholderSendersProblem(const Preferences &preferences);

// The command text with the owner's secret word taken out: lowered begins
// with the keyword; the next word must be the secret (compared without regard
// to case). nullopt-like null string when a secret is set and does not follow.
QString withoutCommandSecret(const QString &lowered, const QString &secret);

} // namespace wendle
