#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>

#include <functional>

namespace wendle {

inline constexpr const char *DBusWindowInterface = "org.wendle.Wendle.Window";

// What a second `wendle run` asks of the one that runs, say the desktop entry
// clicked while Wendle runs as the systemd unit: Show() brings the settings
// window forward, when there is one, and answers in one line what it did. An
// adaptor on the object that takes the inbound messages, like the status.
class WindowService : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.wendle.Wendle.Window")

public:
    using ShowWindow = std::function<QString()>;
    WindowService(QObject *parent, ShowWindow showWindow);

public Q_SLOTS:
    QString Show();

private:
    ShowWindow m_showWindow;
};

// Asks the Wendle that owns the name on the bus to show itself; its answer,
// or a null string when it gave none (why in *error).
QString askRunningWendleToShow(QDBusConnection &bus, QString *error);

} // namespace wendle
