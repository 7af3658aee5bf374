#pragma once

#include <QString>

namespace wendle {

// Opening files and applications the way the desktop does.
class Workspace {
public:
    virtual ~Workspace() = default;
    // Opens the file with the owner's default application; true when a
    // handler was started.
    virtual bool openFile(const QString &path) = 0;
};

// xdg-open, detached, with the path as its only argument.
class XdgWorkspace : public Workspace {
public:
    bool openFile(const QString &path) override;
};

} // namespace wendle
