#pragma once

#include "platform/notifications/DeskNotifications.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <optional>

namespace wendle {

class Console;

// The desktop's own notification service (org.freedesktop.Notifications on
// the session bus), which every desktop and most window managers provide.
// The pause action is one button of the notice; only notices this object
// put up, and only while they are shown, answer to it.
class FreedesktopNotifications : public QObject, public DeskNotifications {
    Q_OBJECT

public:
    static constexpr const char *PauseAction = "pause";

    FreedesktopNotifications(QDBusConnection bus, Console &console, QObject *parent = nullptr);
    void notify(const QString &summary, const QString &body) override;

private Q_SLOTS:
    void actionInvoked(uint id, const QString &action);
    void notificationClosed(uint id, uint reason);

private:
    void send(const QString &summary, const QString &body);
    void unavailable(const QString &why);

    QDBusConnection m_bus;
    Console &m_console;
    // What the service said it can do; unknown until it first answered.
    std::optional<QStringList> m_capabilities;
    QSet<uint> m_shown;
    bool m_toldUnavailable = false;
    // Since the service last failed to answer; invalid while it answers.
    QElapsedTimer m_failedAt;
};

} // namespace wendle
