#pragma once

#include <QString>
#include <QStringList>

namespace wendle {

// One reply as the composer decided it: the copy address and the attachment
// are already filtered (empty when the message carries none).
struct OutgoingMail {
    QString to;
    QString from;
    QString subject;
    QString body;
    QString cc;
    QString attachmentPath;
    // The Message-ID of the command this reply answers, bare or in angle
    // brackets; empty when it answers none. It goes out as In-Reply-To and
    // References, so that the owner's mail app shows the answer under the
    // command rather than as a conversation of its own.
    QString inReplyTo;
    // OpenPGP fingerprints the body, attachment included, is encrypted to
    // (PGP/MIME); empty for a message in clear text.
    QStringList encryptTo = {};
};

// The bare msg-id ("abc@host") of a Message-ID value given with or without
// its angle brackets; empty when the text is not one a header can carry
// whole (line breaks, spaces, brackets or quotes inside, no single '@').
QString threadableMessageId(const QString &value);

// Hands one reply to the mail system. The script is the exact text the
// composer generated; adapters that send the structured message still need it
// for their failure reports.
class MailTransport {
public:
    virtual ~MailTransport() = default;
    // False when the message could not be taken at all (the script did not
    // compile, the outbox cannot be written): the caller reports it.
    virtual bool send(const OutgoingMail &mail, const QString &script) = 0;
};

} // namespace wendle
