#include "platform/chat/ChatTransports.h"

#include "platform/chat/ChatSettingKeys.h"
#include "platform/preferences/NamedChoices.h"
#include "platform/preferences/Preferences.h"

namespace wendle {

const ChatTransportInfo *findChatTransport(const QString &choice)
{
    return findNamedChoice(ChatTransports, choice);
}

const ChatTransportInfo &chosenChatTransport(const Preferences &preferences)
{
    const ChatTransportInfo *chosen = findChatTransport(preferences.stringValue(QLatin1String(RBChatTransport)));
    return chosen ? *chosen : ChatTransports.front();
}

QStringList chatTransportNames()
{
    return choiceNames(ChatTransports);
}

} // namespace wendle
