#include "app/RemoteSwitch.h"

#include "app/Controller.h"
#include "app/InboundService.h"
#include "app/SessionBus.h"
#include "app/SubcommandParser.h"
#include "intake/DeskNotice.h"
#include "platform/preferences/SettingsPreferences.h"
#include "settings/Settings.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTextStream>

namespace wendle {

namespace {

constexpr int SwitchTimeoutMs = 10000;

// Null when the running Wendle answered (its answer in *answer); otherwise
// why it could not be asked, empty when none runs.
QString askRunningWendle(bool enable, QString *answer)
{
    const QString busProblem = connectSessionBus();
    if (!busProblem.isNull())
        return QString(); // no bus: no Wendle anybody could reach either
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.interface()->isServiceRegistered(QLatin1String(DBusServiceName)))
        return QString();
    const QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(DBusServiceName), QLatin1String(DBusObjectPath), QLatin1String(DBusRemoteInterface),
                                       enable ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, SwitchTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return reply.errorMessage().isEmpty() ? QStringLiteral("no answer") : reply.errorMessage();
    *answer = reply.arguments().first().toString();
    return {};
}

} // namespace

RemoteSwitchService::RemoteSwitchService(QObject *parent, Controller &controller) : QDBusAbstractAdaptor(parent), m_controller(controller)
{}

QString RemoteSwitchService::Pause()
{
    return m_controller.pauseRemoteCommands(QStringLiteral("the command line (wendle pause)"));
}

QString RemoteSwitchService::Resume()
{
    return m_controller.resumeRemoteCommands(QStringLiteral("the command line (wendle resume)"));
}

int runRemoteSwitchCommand(bool enable, const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const QString name = enable ? QStringLiteral("resume") : QStringLiteral("pause");
    SubcommandParser command(name, name,
                             enable ? QStringLiteral("Take commands by mail and chat again (enableRemoteCommands on).\n"
                                                     "The running Wendle takes it at once; without one it is stored\n"
                                                     "in the settings file for the next start.")
                                    : QStringLiteral("Drop every command by mail and chat until wendle resume\n"
                                                     "(enableRemoteCommands off). The running Wendle takes it at once;\n"
                                                     "without one it is stored in the settings file, so it holds\n"
                                                     "when Wendle starts."));
    if (const auto done = command.parseWithoutArguments(arguments, out, err))
        return *done;

    QString answer;
    const QString unreachable = askRunningWendle(enable, &answer);
    if (unreachable.isNull()) {
        if (!answer.isNull()) {
            out << answer << '\n';
            return 0;
        }
    } else {
        // Stored all the same: the running Wendle reads the setting at every command.
        err << "wendle " << name << ": the running Wendle does not answer (" << unreachable
            << "); the setting is stored in the file instead\n";
    }

    SettingsPreferences preferences;
    QString problem = preferences.fileProblem();
    if (problem.isNull()) {
        Controller::registerDefaults(preferences);
        const bool changed = preferences.boolValue(QLatin1String(RBEnableRemoteCommands)) != enable;
        if (changed)
            preferences.setValue(QLatin1String(RBEnableRemoteCommands), enable);
        problem = preferences.fileProblem();
        if (problem.isNull()) {
            out << remoteSwitchAnswer(enable, changed) << '\n'
                << (unreachable.isNull() ? "Wendle is not running; " : "") << "enableRemoteCommands is " << (enable ? "on" : "off")
                << " in " << preferences.fileName() << '\n';
            return 0;
        }
    }
    err << "wendle " << name << ": nothing was stored: " << problem << '\n';
    return 1;
}

} // namespace wendle
