#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace wendle {

class Preferences;

// The preference that picks how replies are mailed. It sits with the mail
// adapters, which read it; the settings table (settings/Settings.h) includes it.
inline constexpr const char *RBMailTransport = "mailTransport";

// Which adapter of the running instance takes a reply.
enum class MailRoute { Outbox, Smtp, Script };

struct MailTransportInfo {
    const char *name; // the value of mailTransport
    MailRoute route;
    const char *description; // for the manual and the settings' help
};

// Every way a reply can be mailed, the default first. The selecting
// transport, the settings' choices, the status line and the manual read it.
inline constexpr std::array<MailTransportInfo, 3> MailTransports{{
    {"outbox", MailRoute::Outbox, "each reply is written to outbox/, a complete RFC 5322 message with its attachment"},
    {"smtp", MailRoute::Smtp, "through the owner's mail server (smtpUrl)"},
    {"script", MailRoute::Script, "the reply script is piped to the program in scriptHostCommand"},
}};

// The row a stored choice names, compared trimmed and in any case; an empty
// choice names the default. Null for an unknown name.
const MailTransportInfo *findMailTransport(const QString &choice);
// The row mailTransport names now; the default for an unknown name.
const MailTransportInfo &chosenMailTransport(const Preferences &preferences);
QStringList mailTransportNames();

} // namespace wendle
