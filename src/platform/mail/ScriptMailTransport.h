#pragma once

#include "platform/mail/MailTransport.h"

namespace wendle {

class Preferences;

// The generated script, exactly as built, on the standard input of the
// program named by the preference "scriptHostCommand" (an argument vector,
// `osascript -` by default). Waits for the program: it stands for the mail
// application processing the script.
class ScriptMailTransport : public MailTransport {
public:
    explicit ScriptMailTransport(const Preferences &preferences) : m_preferences(preferences) {}

    // False when the program cannot be started, times out or exits non-zero.
    bool send(const OutgoingMail &mail, const QString &script) override;

private:
    const Preferences &m_preferences;
};

} // namespace wendle
