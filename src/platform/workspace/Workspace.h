#pragma once

#include <QString>

namespace wendle {

// One of the owner's desktop applications, as a launch command asks for it.
struct ApplicationRequest {
    QString name;           // how the launch script names it: "iTunes"
    QString desktopEntryId; // the owner's choice ("org.gnome.Rhythmbox3.desktop"); empty for the default
    QString mimeType;       // whose default application opens when no entry is chosen
};

// Opening files and applications the way the desktop does.
class Workspace {
public:
    virtual ~Workspace() = default;
    // Opens the file with the owner's default application; true when a
    // handler was started.
    virtual bool openFile(const QString &path) = 0;
    // Starts the application; true when a program was started. script is
    // the generated launch script, for a workspace that drives the desktop
    // through a script host.
    virtual bool openApplication(const ApplicationRequest &application, const QString &script) = 0;
};

// xdg-open for files; desktop entries for applications: the chosen entry, or
// the one `xdg-mime query default` names for the type, started from its Exec
// line as an argument vector.
class XdgWorkspace : public Workspace {
public:
    bool openFile(const QString &path) override;
    bool openApplication(const ApplicationRequest &application, const QString &script) override;
};

} // namespace wendle
