#include "platform/mail/MailTransports.h"

#include "platform/preferences/NamedChoices.h"
#include "platform/preferences/Preferences.h"

namespace wendle {

const MailTransportInfo *findMailTransport(const QString &choice)
{
    return findNamedChoice(MailTransports, choice);
}

const MailTransportInfo &chosenMailTransport(const Preferences &preferences)
{
    const MailTransportInfo *chosen = findMailTransport(preferences.stringValue(QLatin1String(RBMailTransport)));
    return chosen ? *chosen : MailTransports.front();
}

QStringList mailTransportNames()
{
    return choiceNames(MailTransports);
}

} // namespace wendle
