#pragma once

#include "platform/mail/MailLog.h"
#include "platform/mail/MailTransport.h"
#include "platform/mail/MailTransports.h"

namespace wendle {

class Preferences;

// Chooses the adapter by the preference "mailTransport", read at each reply
// and looked up in MailTransports (unset is the outbox). An unknown choice is
// logged and the reply goes to the outbox, so it is not lost. With "encryptReplies"
// on, every reply goes encrypted to the keys of "ownerKeyFingerprints"; one
// that cannot be (a key expired, revoked or only for signing, the script
// transport) is logged and dropped, never sent in clear text.
class SelectingMailTransport : public MailTransport {
public:
    SelectingMailTransport(const Preferences &preferences, MailLog log, MailTransport &outbox, MailTransport &smtp, MailTransport &script);

    bool send(const OutgoingMail &mail, const QString &script) override;

private:
    MailTransport &adapter(MailRoute route);

    const Preferences &m_preferences;
    MailLog m_log;
    MailTransport &m_outbox;
    MailTransport &m_smtp;
    MailTransport &m_script;
};

} // namespace wendle
