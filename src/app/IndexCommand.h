#pragma once

#include <QStringList>
#include <QTextStream>

namespace wendle {

// `wendle index status` shows what the search index holds; `wendle index rebuild`
// has it built anew: by the running Wendle when there is one, else here and now.
// Returns the exit code: 0 done, 1 failed, 2 bad usage.
int runIndexCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace wendle
