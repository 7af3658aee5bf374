#pragma once

#include "custom/Shortcut.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace wendle {

// The shortcut library and the custom command waiting for its number. The
// library is absent only before it is loaded. While a script runs, its run
// belongs to runningScript: gone with the Controller, it is stopped then.
struct CustomCommandState {
    QString lastPath;
    std::optional<QList<Shortcut>> libraryArray;
    QVariant storedLibrary; // the settings file's value when it was last taken up
    std::unique_ptr<QObject> runningScript;
};

} // namespace wendle
