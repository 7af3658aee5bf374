#pragma once

#include <QString>

#include <functional>

namespace wendle {

// Where the mail adapters report what went wrong (a refused delivery with the
// server's answer, an unparseable inbound message). The application passes a
// function that writes the activity log or the console; it is always called
// on the thread that created the adapter.
using MailLog = std::function<void(const QString &line)>;

} // namespace wendle
