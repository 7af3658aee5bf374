#pragma once

#include <QString>

class QCoreApplication;
class QDBusConnection;

namespace wendle {

// The instance once it may run: builds the platform, the Controller and the
// D-Bus services, serves commands until the application quits and shuts
// everything down in order. Returns the process exit code.
int serveCommands(QCoreApplication &app, QDBusConnection &bus, const QString &support, bool windowed);

} // namespace wendle
