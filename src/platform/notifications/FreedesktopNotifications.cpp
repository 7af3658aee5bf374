#include "platform/notifications/FreedesktopNotifications.h"

#include "platform/console/Console.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace wendle {

namespace {

constexpr const char *Service = "org.freedesktop.Notifications";
constexpr const char *Path = "/org/freedesktop/Notifications";
constexpr const char *Interface = "org.freedesktop.Notifications";
// The service's own time, so the owner's settings for notices hold.
constexpr int ServerDefaultTimeout = -1;
constexpr uchar NormalUrgency = 1;
// A service that did not answer is asked again only after a while, not for
// every command: each try has the bus start its program anew (a notice
// daemon without a display fails every time), and the display may come.
constexpr qint64 RetryAfterMs = 5 * 60 * 1000;

QDBusMessage call(const char *method)
{
    return QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(Path), QLatin1String(Interface), QLatin1String(method));
}

} // namespace

FreedesktopNotifications::FreedesktopNotifications(QDBusConnection bus, Console &console, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_console(console)
{
    // The signals go to every client of the service: the ids tell ours.
    m_bus.connect(QLatin1String(Service), QLatin1String(Path), QLatin1String(Interface), QStringLiteral("ActionInvoked"), this,
                  SLOT(actionInvoked(uint, QString)));
    m_bus.connect(QLatin1String(Service), QLatin1String(Path), QLatin1String(Interface), QStringLiteral("NotificationClosed"), this,
                  SLOT(notificationClosed(uint, uint)));
}

void FreedesktopNotifications::notify(const QString &summary, const QString &body)
{
    if (m_failedAt.isValid() && !m_failedAt.hasExpired(RetryAfterMs))
        return;
    if (m_capabilities) {
        send(summary, body);
        return;
    }
    // Asked once the service first answers: whether it reads markup in the
    // body decides how the text must be escaped. No call ever blocks.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, summary, body](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        const QDBusPendingReply<QStringList> reply = *finished;
        if (reply.isError()) {
            unavailable(reply.error().message());
            return;
        }
        m_capabilities = reply.value();
        m_failedAt.invalidate();
        send(summary, body);
    });
}

void FreedesktopNotifications::send(const QString &summary, const QString &body)
{
    // A service that reads markup would take "<b>" or "&" in a command as
    // its own; one that does not shows the text as it is.
    const bool markup = m_capabilities->contains(QLatin1String("body-markup"));
    QDBusMessage message = call("Notify");
    message << QStringLiteral("Wendle") << uint(0) << QStringLiteral("org.wendle.Wendle") << summary
            << (markup ? body.toHtmlEscaped() : body) << QStringList{QLatin1String(PauseAction), QStringLiteral("Pause remote commands")}
            << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue(NormalUrgency)},
                           {QStringLiteral("desktop-entry"), QStringLiteral("org.wendle.Wendle")}}
            << ServerDefaultTimeout;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        const QDBusPendingReply<uint> reply = *finished;
        if (reply.isError()) {
            unavailable(reply.error().message());
            return;
        }
        m_shown.insert(reply.value());
    });
}

void FreedesktopNotifications::unavailable(const QString &why)
{
    m_failedAt.start();
    m_capabilities.reset();
    // Said once: a line per command would bury the console.
    if (m_toldUnavailable)
        return;
    m_toldUnavailable = true;
    m_console.writeLine(QStringLiteral("wendle: no desktop notification service answers on the session bus (%1); "
                                       "commands from afar are not shown at the desk")
                            .arg(why));
}

void FreedesktopNotifications::actionInvoked(uint id, const QString &action)
{
    if (!m_shown.contains(id) || action != QLatin1String(PauseAction))
        return;
    pauseRequested();
}

void FreedesktopNotifications::notificationClosed(uint id, uint)
{
    m_shown.remove(id);
}

} // namespace wendle
