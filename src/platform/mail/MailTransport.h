#pragma once

#include <QString>

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
};

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
