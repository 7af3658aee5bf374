#include "app/SendCommand.h"

#include "app/InboundService.h"
#include "app/SessionBus.h"
#include "app/SubcommandParser.h"
#include "platform/trace/RoadTrace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QTextStream>

namespace wendle {

bool callInbound(bool chat, const QVariantMap &arguments, QString *error)
{
    const QString busProblem = connectSessionBus();
    if (!busProblem.isNull()) {
        *error = sessionBusAdvice(busProblem);
        return false;
    }
    traceStep("client: bus connected");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(DBusServiceName), QLatin1String(DBusObjectPath), QLatin1String(DBusInboundInterface),
                                       chat ? QStringLiteral("InboundChat") : QStringLiteral("InboundMessage"));
    call << arguments;
    traceStep("client: call sent");
    const QDBusMessage reply = bus.call(call, QDBus::Block, 120000);
    traceStep("client: call answered");
    if (reply.type() == QDBusMessage::ErrorMessage) {
        *error = isWendleMissing(reply) ? QStringLiteral("Wendle is not running (start it with: wendle run)") : reply.errorMessage();
        return false;
    }
    return true;
}

bool isWendleMissing(const QDBusMessage &reply)
{
    // The bus starts Wendle for a call when a service file names it (and
    // says so when that fails); this error says no Wendle runs and none can
    // be started. Asking first would cost a round trip on every call.
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown");
}

int runSendCommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    SubcommandParser command(QStringLiteral("send"), QStringLiteral("send --mail|--chat --from ADDRESS [--attachment PATH] [--] TEXT..."),
                             QStringLiteral("Hand a message to the running Wendle, as a mail rule or chat handler would.\n"
                                            "Exit 0 handed over, 1 Wendle not running or unable to keep the message,\n"
                                            "2 bad usage."));
    const QCommandLineOption mail(QStringLiteral("mail"), QStringLiteral("The message came by mail."));
    const QCommandLineOption chat(QStringLiteral("chat"), QStringLiteral("The message came by chat."));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("The sender's address."), QStringLiteral("ADDRESS"));
    const QCommandLineOption attachment(QStringLiteral("attachment"), QStringLiteral("A file that came with the message."),
                                        QStringLiteral("PATH"));
    command.parser.addOptions({mail, chat, from, attachment});
    command.parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The message text; -- ends the options."),
                                         QStringLiteral("[--] TEXT..."));
    if (const auto done = command.parse(arguments, out, err))
        return *done;
    if (command.parser.isSet(mail) == command.parser.isSet(chat))
        return command.usageError(QStringLiteral("give exactly one of --mail and --chat"), err);
    for (const QCommandLineOption &single : {from, attachment}) {
        if (command.parser.values(single).size() > 1)
            return command.usageError(QStringLiteral("--%1 given more than once").arg(single.names().first()), err);
    }
    if (!command.parser.isSet(from))
        return command.usageError(QStringLiteral("--from ADDRESS is missing"), err);
    const QStringList words = command.parser.positionalArguments();
    if (words.isEmpty())
        return command.usageError(QStringLiteral("no message text"), err);
    QVariantMap message{{QStringLiteral("FromAddress"), command.parser.value(from)}, {QStringLiteral("MessageText"), words.join(u' ')}};
    if (command.parser.isSet(attachment))
        message.insert(QStringLiteral("AttachedFile"), QFileInfo(command.parser.value(attachment)).absoluteFilePath());
    QString error;
    if (!callInbound(command.parser.isSet(chat), message, &error)) {
        err << "wendle send: " << error << '\n';
        return 1;
    }
    return 0;
}

} // namespace wendle
