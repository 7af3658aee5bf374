#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>

namespace wendle {

// The variable every D-Bus program reads to find its session bus.
inline constexpr const char *SessionBusVariable = "DBUS_SESSION_BUS_ADDRESS";

// Connects this process to its session bus: the one DBUS_SESSION_BUS_ADDRESS
// names, else the user's bus at $XDG_RUNTIME_DIR/bus. Never lets libdbus
// fall back to X11 autolaunch, which fails without a display and, with one,
// starts an empty bus where no Wendle listens. Null when connected,
// otherwise why not, naming the variable to set.
QString connectSessionBus();

// What a command that talks to the running Wendle says when the bus cannot
// be reached: the reason and how to point it at the right bus.
QString sessionBusAdvice(const QString &problem);

// The line a shell on another terminal runs to reach this process's bus,
// when a new terminal would not find that bus by itself (a bus from
// dbus-run-session or a bare dbus-daemon); null for the user's own bus.
QString exportLineForOtherTerminals();

// Calls `gone` once when the connection to the bus is lost: the bus daemon
// exited or the session ended. Nothing can reach Wendle after that, and an
// instance the bus started must not outlive it.
class SessionBusWatcher : public QObject {
    Q_OBJECT

public:
    SessionBusWatcher(QDBusConnection bus, std::function<void()> gone, QObject *parent = nullptr);

private Q_SLOTS:
    void disconnected();

private:
    std::function<void()> m_gone;
};

} // namespace wendle
