#include "platform/workspace/DesktopEntry.h"
#include "platform/workspace/Workspace.h"

#include <QProcess>
#include <QStandardPaths>

namespace wendle {

namespace {

constexpr int MimeQueryTimeoutMs = 10000;

// The desktop file id that the owner's desktop opens this type with, as
// xdg-mime knows it across desktops; empty when there is none or xdg-mime
// is not installed.
QString defaultApplicationFor(const QString &mimeType)
{
    if (mimeType.isEmpty())
        return {};
    QProcess query;
    query.setProgram(QStringLiteral("xdg-mime"));
    query.setArguments({QStringLiteral("query"), QStringLiteral("default"), mimeType});
    query.setStandardInputFile(QProcess::nullDevice());
    query.start();
    if (!query.waitForStarted(MimeQueryTimeoutMs))
        return {};
    if (!query.waitForFinished(MimeQueryTimeoutMs)) {
        query.kill();
        query.waitForFinished(1000);
        return {};
    }
    // Some desktops answer with a list; the first entry is the default.
    const QString answer = QString::fromUtf8(query.readAllStandardOutput()).section(u'\n', 0, 0);
    return answer.section(u';', 0, 0).trimmed();
}

} // namespace

bool XdgWorkspace::openFile(const QString &path)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}

// The launch script is for script hosts; the desktop entry says everything
// this adapter needs.
bool XdgWorkspace::openApplication(const ApplicationRequest &application, const QString &)
{
    const QString id = application.desktopEntryId.isEmpty() ? defaultApplicationFor(application.mimeType)
                                                            : application.desktopEntryId;
    const QString file = locateDesktopEntry(id, QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation));
    const std::optional<DesktopEntry> entry = readDesktopEntry(file);
    if (!entry || !entry->isLaunchable())
        return false;
    QStringList arguments = execArguments(entry->exec);
    if (arguments.isEmpty())
        return false;
    const QString program = arguments.takeFirst();
    return QProcess::startDetached(program, arguments, entry->path);
}

} // namespace wendle
