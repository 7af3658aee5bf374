#pragma once

#include <QStringList>
#include <QVariantMap>

class QTextStream;

namespace wendle {

// `wendle status`: whether Wendle runs in this session and, when it does, the
// state of its mail and chat connections, the reply queue, the command
// waiting for a confirmation and the search index. Exit 0 when it runs, 1
// when it does not (or the bus cannot be reached), 2 on bad usage. Asking
// never starts Wendle.
int runStatusCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);

// The status dictionary as the lines the command prints.
QString describeStatus(const QVariantMap &status);

} // namespace wendle
