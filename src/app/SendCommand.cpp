#include "app/SendCommand.h"

#include "app/InboundService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>

namespace wendle {

namespace {

const char *SendUsage =
    "usage: wendle send --mail|--chat --from ADDRESS [--attachment PATH] [--] TEXT...\n";

} // namespace

bool callInbound(bool chat, const QVariantMap &arguments, QString *error)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *error = QStringLiteral("cannot reach the D-Bus session bus: ") + bus.lastError().message();
        return false;
    }
    if (!bus.interface()->isServiceRegistered(QLatin1String(DBusServiceName))) {
        *error = QStringLiteral("Wendle is not running (start it with: wendle run)");
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(DBusServiceName), QLatin1String(DBusObjectPath), QLatin1String(DBusInboundInterface),
        chat ? QStringLiteral("InboundChat") : QStringLiteral("InboundMessage"));
    call << arguments;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 120000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        *error = reply.errorMessage();
        return false;
    }
    return true;
}

int runSendCommand(const QStringList &arguments, QTextStream &err)
{
    std::optional<bool> chat;
    QString from;
    QString attachment;
    QStringList words;
    bool onlyText = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (onlyText) {
            words << argument;
        } else if (argument == QLatin1String("--")) {
            onlyText = true;
        } else if (argument == QLatin1String("--mail") || argument == QLatin1String("--chat")) {
            chat = argument == QLatin1String("--chat");
        } else if ((argument == QLatin1String("--from") || argument == QLatin1String("--attachment")) && i + 1 < arguments.size()) {
            (argument == QLatin1String("--from") ? from : attachment) = arguments[++i];
        } else if (argument.startsWith(QLatin1String("--"))) {
            err << "wendle send: unknown or incomplete option " << argument << '\n' << SendUsage;
            return 2;
        } else {
            words << argument;
        }
    }
    if (!chat.has_value() || from.isNull() || words.isEmpty()) {
        err << SendUsage;
        return 2;
    }
    QVariantMap message{{QStringLiteral("FromAddress"), from},
                        {QStringLiteral("MessageText"), words.join(u' ')}};
    if (!attachment.isNull())
        message.insert(QStringLiteral("AttachedFile"), QFileInfo(attachment).absoluteFilePath());
    QString error;
    if (!callInbound(*chat, message, &error)) {
        err << "wendle send: " << error << '\n';
        return 1;
    }
    return 0;
}

} // namespace wendle
