#include "platform/mail/MailAdapters.h"

namespace wendle {

MailAdapters::MailAdapters(const Preferences &preferences, const QString &supportFolder, MailLog log)
    : m_outbox(supportFolder + QLatin1String("/outbox"))
    , m_script(preferences)
    , m_smtp(preferences, supportFolder, log)
    , m_selecting(preferences, log, m_outbox, m_smtp, m_script)
{}

} // namespace wendle
