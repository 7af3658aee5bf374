#pragma once

#include "platform/mail/MailSignature.h"
#include "platform/mail/MimeLimits.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

#include <optional>

namespace wendle {

// What the intake needs from one received mail message.
struct InboundMail {
    // The From header as a mail program shows it: "Name <a@b.c>", or just
    // "a@b.c" when there is no name, every mailbox of it when it names
    // several (the intake tests it by substring and refuses a list).
    QString from;
    // The Sender header, the same way; null when there is none.
    QString senderHeader;
    // The first text/plain part, or the text of the first text/html part when
    // there is none; decoded to UTF-8, line ends as "\n".
    QString text;
    // The first attachment, saved under the attachment folder; empty if none.
    QString attachmentPath;
    // The attachment was left out: the folder holds MaxAttachmentFolderBytes.
    bool attachmentFolderFull = false;
    // The Message-ID without its angle brackets; empty when there is none.
    QString messageId;
    // The values of the Authentication-Results header fields, first first.
    QStringList authenticationResults;
    // An automatic message (Auto-Submitted other than "no": a bounce, an
    // out-of-office answer, one of Wendle's own replies): never a command.
    bool autoSubmitted = false;
    // The Date header as written; null when there is none.
    QString dateHeader;
    // The OpenPGP signature, checked against the owner's keyring.
    MailSignature signature;
};

// Larger messages are refused; mail servers commonly cap at 25-50 MB.
inline constexpr qsizetype MaxInboundMessageBytes = 50 * 1024 * 1024;

// Parses one RFC 5322 message (as a delivery agent hands it over; a leading
// mbox "From " line is skipped). The first attachment is saved under
// attachmentFolder with a safe, unique name (none is saved when the folder is
// empty). nullopt with *error for a message that cannot be used: too large,
// not a message, no From address, or past the bounds of MimeLimits.h.
// *temporary (when given) tells a local failure (the attachment could not be
// written) that may succeed later from a bad message that never will. When keepAttachment is given, the
// attachment is saved only if it answers true for the message read so far
// and the attachment's size in bytes.
// A signature is checked (GnuPG is started for it) only when checkSignature,
// if given, answers true for the message read so far.
using KeepAttachment = std::function<bool(const InboundMail &mail, qsizetype bytes)>;
using CheckSignature = std::function<bool(const InboundMail &mail)>;
std::optional<InboundMail> parseInboundMessage(const QByteArray &raw, const QString &attachmentFolder, QString *error,
                                               bool *temporary = nullptr, const KeepAttachment &keepAttachment = {},
                                               const CheckSignature &checkSignature = {});

} // namespace wendle
