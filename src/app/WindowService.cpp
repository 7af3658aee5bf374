#include "app/WindowService.h"

#include "app/InboundService.h"

#include <QDBusMessage>

namespace wendle {

namespace {

constexpr int ShowTimeoutMs = 10000;

} // namespace

WindowService::WindowService(QObject *parent, ShowWindow showWindow) : QDBusAbstractAdaptor(parent), m_showWindow(std::move(showWindow))
{}

QString WindowService::Show()
{
    return m_showWindow();
}

QString askRunningWendleToShow(QDBusConnection &bus, QString *error)
{
    const QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(DBusServiceName), QLatin1String(DBusObjectPath),
                                                             QLatin1String(DBusWindowInterface), QStringLiteral("Show"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, ShowTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        *error = reply.errorMessage();
        return QString();
    }
    return reply.arguments().first().toString();
}

} // namespace wendle
