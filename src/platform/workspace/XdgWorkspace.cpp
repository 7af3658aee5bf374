#include "platform/workspace/Workspace.h"

#include <QProcess>

namespace wendle {

bool XdgWorkspace::openFile(const QString &path)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}

} // namespace wendle
