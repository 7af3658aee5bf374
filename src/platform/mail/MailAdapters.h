#pragma once

#include "platform/mail/MailLog.h"
#include "platform/mail/OutboxMailTransport.h"
#include "platform/mail/ScriptMailTransport.h"
#include "platform/mail/SelectingMailTransport.h"
#include "platform/mail/SmtpMailTransport.h"

#include <QString>

namespace wendle {

class Preferences;

// The mail adapters of a running instance: the outbox (<support>/outbox/), the
// SMTP queue (<support>/queue/, sent/, failed/) and the script host, chosen
// among by "mailTransport" at each reply. Make it on the main thread once the
// application object exists: the SMTP queue starts emptying itself from the
// event loop, whatever transport is chosen, so replies queued before a
// restart still go out.
class MailAdapters {
public:
    // Problems go to the log function, on the main thread.
    MailAdapters(const Preferences &preferences, const QString &supportFolder, MailLog log);

    MailTransport &transport() { return m_selecting; }
    SmtpMailTransport &smtp() { return m_smtp; }

private:
    OutboxMailTransport m_outbox;
    ScriptMailTransport m_script;
    SmtpMailTransport m_smtp;
    SelectingMailTransport m_selecting;
};

} // namespace wendle
