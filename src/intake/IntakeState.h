#pragma once

#include "intake/SenderChecks.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

namespace wendle {

// The newest command taken in, without the secret: for the tray.
struct CommandSeen {
    QString text;
    QDateTime at;
    bool byChat = false;
};

// Inbound commands: who sent the current one and when the recent ones came.
struct IntakeState {
    QList<QDateTime> commandTimestamps; // oldest first, at most 30
    bool messageFromPhone = false;
    QString cmdAddress;            // sender, or "chat_msg"
    QString cmdMessageId;          // the command's Message-ID, bare; empty when it had none
    SenderEvidence senderEvidence; // of the mail message being taken in
    CommandSeen lastCommandSeen;
    bool lastMessageTaken = false;                   // the last message passed every check and was taken as a command
    bool commandsInFlight = false;                   // commands recorded as taken and not yet finished
    std::vector<std::function<void()>> afterCommand; // waiting for the running command's answer
};

} // namespace wendle
