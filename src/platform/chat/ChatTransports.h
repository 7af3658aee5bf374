#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace wendle {

class Preferences;

// Which adapter of the running instance takes a chat reply.
enum class ChatRoute { Outbox, Script, Xmpp, Mcabber };

struct ChatTransportInfo {
    const char *name; // the value of chatTransport
    ChatRoute route;
    const char *description; // for the manual and the settings' help
};

// Every way a chat reply can be sent, the default first. The selecting
// transport, the XMPP adapter, the settings' choices, the status line and
// the manual read it.
inline constexpr std::array<ChatTransportInfo, 4> ChatTransports{{
    {"outbox", ChatRoute::Outbox, "each chat reply is written to outbox/ as a JSON entry"},
    {"script", ChatRoute::Script, "the reply script is piped to the program in scriptHostCommand"},
    {"xmpp", ChatRoute::Xmpp, "Wendle logs in as hostChatAddress and sends each reply itself"},
    {"mcabber", ChatRoute::Mcabber, "each reply is written into mcabber's command FIFO (mcabberFifo), and mcabber sends it"},
}};

// The row a stored choice names, compared trimmed and in any case; an empty
// choice names the default. Null for an unknown name.
const ChatTransportInfo *findChatTransport(const QString &choice);
// The row chatTransport names now; the default for an unknown name.
const ChatTransportInfo &chosenChatTransport(const Preferences &preferences);
QStringList chatTransportNames();

} // namespace wendle
