#include "app/StatusCommand.h"

#include "app/InboundService.h"
#include "app/SessionBus.h"
#include "app/StatusService.h"
#include "app/SubcommandParser.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTextStream>

namespace wendle {

namespace {

constexpr int StatusTimeoutMs = 10000;

QString textOf(const QVariant &value)
{
    if (value.canConvert<QDBusVariant>())
        return textOf(value.value<QDBusVariant>().variant());
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    return value.toString();
}

} // namespace

QString describeStatus(const QVariantMap &status)
{
    struct Line {
        const char *key;
        const char *label;
        const char *missing;
    };
    // Known keys first, in a fixed order; what other parts of Wendle report
    // follows under its own name.
    static const Line lines[] = {
        {StatusRunning, "running", "no"},
        {"ProcessId", "process", "unknown"},
        {StatusMailConnection, "mail", "unknown"},
        {StatusChatConnection, "chat", "unknown"},
        {StatusQueueLength, "replies waiting", "0"},
        {StatusPendingConfirmation, "waiting for a confirmation", "nothing"},
        {StatusIndexState, "search index", "not available"},
    };
    QString text;
    QVariantMap rest = status;
    for (const Line &line : lines) {
        const QVariant value = rest.take(QLatin1String(line.key));
        text += QStringLiteral("%1: %2\n").arg(QLatin1String(line.label), value.isValid() ? textOf(value) : QLatin1String(line.missing));
    }
    for (auto it = rest.cbegin(); it != rest.cend(); ++it)
        text += QStringLiteral("%1: %2\n").arg(it.key(), textOf(it.value()));
    return text;
}

int runStatusCommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    SubcommandParser command(QStringLiteral("status"), QStringLiteral("status"),
                             QStringLiteral("Show whether Wendle runs in this session, the state of its mail and chat\n"
                                            "connections, the replies waiting to be sent, the command waiting for a\n"
                                            "confirmation and the search index. Exit 0 running, 1 not running."));
    if (const auto done = command.parseWithoutArguments(arguments, out, err))
        return *done;

    const QString busProblem = connectSessionBus();
    if (!busProblem.isNull()) {
        out << "running: unknown\n";
        err << "wendle status: " << sessionBusAdvice(busProblem) << '\n';
        return 1;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.interface()->isServiceRegistered(QLatin1String(DBusServiceName))) {
        out << "running: no\n";
        return 1;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(DBusServiceName), QLatin1String(DBusObjectPath),
                                                             QLatin1String(DBusStatusInterface), QStringLiteral("Status"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, StatusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        out << "running: yes\n";
        err << "wendle status: Wendle does not answer: " << reply.errorMessage() << '\n';
        return 1;
    }
    QVariantMap status;
    reply.arguments().first().value<QDBusArgument>() >> status;
    out << describeStatus(status);
    return 0;
}

} // namespace wendle
