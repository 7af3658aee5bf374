#include "platform/workspace/Workspace.h"

#include "platform/process/OwnerUmask.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gio/gdesktopappinfo.h>

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

// The entry with this desktop file id ("org.gnome.Rhythmbox3", with or
// without ".desktop"; a dash may stand for a subfolder), or the entry file at
// this path. GIO finds it in the applications folders of the XDG data
// folders and refuses entries that are not applications or whose TryExec
// program is missing. nullptr when there is none; the caller unrefs it.
GDesktopAppInfo *findApplication(const QString &id)
{
    if (id.isEmpty())
        return nullptr;
    if (id.contains(u'/'))
        return g_desktop_app_info_new_from_filename(QFile::encodeName(id).constData());
    const QString fileId = id.endsWith(QLatin1String(".desktop")) ? id : id + QLatin1String(".desktop");
    return g_desktop_app_info_new(fileId.toUtf8().constData());
}

} // namespace

bool XdgWorkspace::openFile(const QString &path)
{
    return startDetachedForOwner(QStringLiteral("xdg-open"), {path});
}

// The launch script is for script hosts; the desktop entry says everything
// this adapter needs. GIO builds the argument vector from Exec (field codes
// dropped, since Wendle passes no files) and starts it in the entry's Path.
bool XdgWorkspace::openApplication(const ApplicationRequest &application, const QString &)
{
    const QString id = application.desktopEntryId.isEmpty() ? defaultApplicationFor(application.mimeType) : application.desktopEntryId;
    GDesktopAppInfo *entry = findApplication(id);
    if (!entry)
        return false;
    GError *error = nullptr;
    const bool started =
        !g_desktop_app_info_get_is_hidden(entry)
        && g_desktop_app_info_launch_uris_as_manager(
            entry, nullptr, nullptr, G_SPAWN_SEARCH_PATH, [](gpointer) { restoreOwnerUmask(); }, nullptr, nullptr, nullptr, &error);
    if (error)
        g_error_free(error);
    g_object_unref(entry);
    return started;
}

} // namespace wendle
