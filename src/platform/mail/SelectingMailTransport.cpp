#include "platform/mail/SelectingMailTransport.h"

#include "platform/preferences/Preferences.h"

namespace wendle {

SelectingMailTransport::SelectingMailTransport(const Preferences &preferences, MailLog log, MailTransport &outbox,
                                               MailTransport &smtp, MailTransport &script)
    : m_preferences(preferences), m_log(std::move(log)), m_outbox(outbox), m_smtp(smtp), m_script(script)
{
}

bool SelectingMailTransport::send(const OutgoingMail &mail, const QString &script)
{
    const QString choice = m_preferences.stringValue(QStringLiteral("mailTransport")).trimmed().toLower();
    if (choice.isEmpty() || choice == QLatin1String("outbox"))
        return m_outbox.send(mail, script);
    if (choice == QLatin1String("smtp"))
        return m_smtp.send(mail, script);
    if (choice == QLatin1String("script"))
        return m_script.send(mail, script);
    if (m_log)
        m_log(QStringLiteral("Wendle Error: unknown mailTransport \"%1\" (outbox, smtp or script); the reply goes to the outbox")
                  .arg(choice));
    return m_outbox.send(mail, script);
}

} // namespace wendle
