#include "app/SessionBus.h"

#include "platform/process/RuntimeFolder.h"

#include <QDBusError>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace wendle {

namespace {

// Where a login session's bus listens; a new terminal finds it there when
// DBUS_SESSION_BUS_ADDRESS is not set.
QString usersBusSocket()
{
    const QString runtime = sessionRuntimeFolder();
    return (runtime.isEmpty() ? QStringLiteral("/run/user/%1").arg(::getuid()) : runtime) + QLatin1String("/bus");
}

bool isSocket(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

// A path as a D-Bus address value: bytes outside the plain set are %-escaped.
QByteArray addressValue(const QString &path)
{
    return QFile::encodeName(path).toPercentEncoding("/*", "~");
}

QByteArray usersBusAddress()
{
    return "unix:path=" + addressValue(usersBusSocket());
}

} // namespace

QString connectSessionBus()
{
    if (qEnvironmentVariableIsEmpty(SessionBusVariable)) {
        if (!isSocket(usersBusSocket()))
            return QStringLiteral("%1 is not set and there is no session bus at %2")
                .arg(QLatin1String(SessionBusVariable), usersBusSocket());
        qputenv(SessionBusVariable, usersBusAddress());
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        return QString();
    return QStringLiteral("the bus at %1=%2 does not answer (%3)")
        .arg(QLatin1String(SessionBusVariable), qEnvironmentVariable(SessionBusVariable), bus.lastError().message());
}

QString sessionBusAdvice(const QString &problem)
{
    return QStringLiteral("cannot reach the D-Bus session bus: %1.\n"
                          "Set %2 to the address of the bus Wendle runs on; a Wendle started outside a desktop "
                          "session (make run, dbus-run-session) prints its export line when it starts.")
        .arg(problem, QLatin1String(SessionBusVariable));
}

QString exportLineForOtherTerminals()
{
    const QByteArray address = qgetenv(SessionBusVariable);
    const QByteArray own = usersBusAddress();
    if (address.isEmpty() || address == own || address.startsWith(own + ','))
        return QString();
    return QStringLiteral("export %1='%2'").arg(QLatin1String(SessionBusVariable), QString::fromLocal8Bit(address));
}

SessionBusWatcher::SessionBusWatcher(QDBusConnection bus, std::function<void()> gone, QObject *parent)
    : QObject(parent)
    , m_gone(std::move(gone))
{
    // libdbus reports the lost connection as this signal of its own; the bus
    // refuses it from any peer, so nobody can fake it.
    bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"), QStringLiteral("org.freedesktop.DBus.Local"),
                QStringLiteral("Disconnected"), this, SLOT(disconnected()));
}

void SessionBusWatcher::disconnected()
{
    if (const auto gone = std::exchange(m_gone, nullptr))
        gone();
}

} // namespace wendle
