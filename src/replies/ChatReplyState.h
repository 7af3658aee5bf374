#pragma once

#include "platform/scheduler/Scheduler.h"

#include <QString>

#include <deque>

namespace wendle {

struct ChatReply {
    QString message;
    QString ccAddress;
    QString path;
    TimerId timer = 0;
};

// The chat replies waiting for their timers. Replies asked for within the
// delay queue up so that each one is sent, in order.
struct PendingChatReply {
    std::deque<ChatReply> queued;
};

} // namespace wendle
