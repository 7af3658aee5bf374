#pragma once

#include "intake/RemoteCommands.h"

#include <QString>

namespace wendle {

// What the grammar's actions call once a command form is complete. The
// Controller implements it; tests record the calls.
class CommandActions {
public:
    virtual ~CommandActions() = default;
    // One recognised command; its values are taken just before the call.
    virtual void runCommand(const CommandCall &call) = 0;
    virtual void reportSyntaxError() = 0;
    // One line for the system console (the "Wendle Command Received with
    // Error: …" line).
    virtual void writeConsoleLine(const QString &line) = 0;
};

} // namespace wendle
