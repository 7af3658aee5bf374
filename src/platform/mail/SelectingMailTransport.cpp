#include "platform/mail/SelectingMailTransport.h"

#include "platform/mail/KeyFingerprints.h"
#include "platform/mail/MailSettingKeys.h"
#include "platform/mail/OpenPgp.h"
#include "platform/preferences/NamedChoices.h"
#include "platform/preferences/Preferences.h"

namespace wendle {

SelectingMailTransport::SelectingMailTransport(const Preferences &preferences, MailLog log, MailTransport &outbox, MailTransport &smtp,
                                               MailTransport &script)
    : m_preferences(preferences)
    , m_log(std::move(log))
    , m_outbox(outbox)
    , m_smtp(smtp)
    , m_script(script)
{}

namespace {

// Why the reply cannot go encrypted to every listed key; null when it can.
QString encryptionProblem(const QStringList &fingerprints, const MailTransportInfo *chosen)
{
    if (fingerprints.isEmpty())
        return QStringLiteral("ownerKeyFingerprints lists no key");
    if (chosen && chosen->route == MailRoute::Script)
        return QStringLiteral("the script transport hands the mail program a script and cannot encrypt");
    for (const QString &fingerprint : fingerprints) {
        if (const QString problem = encryptionKeyProblem(fingerprint); !problem.isNull())
            return problem;
    }
    return {};
}

} // namespace

MailTransport &SelectingMailTransport::adapter(MailRoute route)
{
    switch (route) {
    case MailRoute::Smtp: return m_smtp;
    case MailRoute::Script: return m_script;
    case MailRoute::Outbox: break;
    }
    return m_outbox;
}

bool SelectingMailTransport::send(const OutgoingMail &plain, const QString &script)
{
    const QString choice = m_preferences.stringValue(QLatin1String(RBMailTransport));
    const MailTransportInfo *chosen = findMailTransport(choice);
    OutgoingMail mail = plain;
    if (m_preferences.boolValue(QLatin1String(RBEncryptReplies))) {
        mail.encryptTo = parseKeyFingerprints(m_preferences.stringValue(QLatin1String(RBOwnerKeyFingerprints)));
        const QString problem = encryptionProblem(mail.encryptTo, chosen);
        // Refused here and said so: it counts as handled, so no second report
        // repeats the reply's text in the log.
        if (!problem.isNull()) {
            if (m_log)
                m_log(QStringLiteral(
                          "Wendle Error: the reply to %1 was not sent: encryptReplies is on and %2; nothing went out in clear text")
                          .arg(mail.to, problem));
            return true;
        }
    }
    if (chosen)
        return adapter(chosen->route).send(mail, script);
    if (m_log)
        m_log(QStringLiteral("Wendle Error: unknown mailTransport \"%1\" (%2); the reply goes to the outbox")
                  .arg(choice.trimmed().toLower(), namesInWords(mailTransportNames())));
    return m_outbox.send(mail, script);
}

} // namespace wendle
