#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace wendle {

// What the intake needs from one received mail message.
struct InboundMail {
    // The first From mailbox as a mail program shows it: "Name <a@b.c>", or
    // just "a@b.c" when there is no name (the intake tests it by substring).
    QString from;
    // The first text/plain part, or the text of the first text/html part when
    // there is none; decoded to UTF-8, line ends as "\n".
    QString text;
    // The first attachment, saved under the attachment folder; empty if none.
    QString attachmentPath;
};

// Larger messages are refused; mail servers commonly cap at 25-50 MB.
inline constexpr qsizetype MaxInboundMessageBytes = 50 * 1024 * 1024;

// Parses one RFC 5322 message (as a delivery agent hands it over; a leading
// mbox "From " line is skipped). The first attachment is saved under
// attachmentFolder with a safe, unique name (none is saved when the folder is
// empty). nullopt with *error for a message that cannot be used: too large,
// not a message, no From address. *temporary (when given) tells a local
// failure (the attachment could not be written) that may succeed later from
// a bad message that never will.
std::optional<InboundMail> parseInboundMessage(const QByteArray &raw, const QString &attachmentFolder, QString *error,
                                               bool *temporary = nullptr);

} // namespace wendle
