#pragma once

#include <QStringList>
#include <QTextStream>

class QDBusMessage;

namespace wendle {

// `wendle send --mail|--chat --from ADDRESS [--attachment PATH] [--] TEXT...`:
// hands one message to the running instance. Exit 0 when handed over, 1 when
// no instance runs or the bus refuses, 2 on bad usage.
int runSendCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);

// Calls InboundMessage or InboundChat on the running instance. On failure
// returns false and fills *error.
bool callInbound(bool chat, const QVariantMap &arguments, QString *error);

// Whether the error answering a call to Wendle says that none runs.
bool isWendleMissing(const QDBusMessage &reply);

} // namespace wendle
