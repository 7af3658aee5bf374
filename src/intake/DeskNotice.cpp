#include "app/Controller.h"

#include "intake/DeskNotice.h"
#include "platform/console/Console.h"
#include "platform/log/PrintableText.h"
#include "platform/notifications/DeskNotifications.h"
#include "platform/preferences/Preferences.h"
#include "settings/Settings.h"

namespace wendle {

namespace {

// Bounds that keep a notice to a few lines on any desktop.
constexpr qsizetype MaxCommandShown = 120;
constexpr qsizetype MaxSenderShown = 100;

// Remote text as one line a sender cannot shape: no line breaks, controls or
// direction overrides of its own, and no longer than the bound (an ellipsis
// tells that it was cut, never in the middle of a character).
QString boundedLine(const QString &text, qsizetype bound)
{
    const QString line = text::printableLine(text.simplified());
    if (line.size() <= bound)
        return line;
    qsizetype cut = bound - 1;
    if (line[cut - 1].isHighSurrogate())
        --cut;
    return line.left(cut) + QChar(0x2026);
}

} // namespace

QString remoteSwitchAnswer(bool enabled, bool changed)
{
    if (!changed)
        return enabled ? QStringLiteral("Remote commands were already on.") : QStringLiteral("Remote commands were already paused.");
    return enabled ? QStringLiteral("Remote commands are on again: Wendle takes commands by mail and chat.")
                   : QStringLiteral("Remote commands are paused: Wendle drops every command by mail and chat until "
                                    "wendle resume.");
}

// Only the command's first line counts, and so only it is shown; the secret
// word was taken out before.
void Controller::showCommandAtDesk(const QString &command, const QString &sender, bool byChat)
{
    if (!m_platform.notifications || !m_platform.preferences.boolValue(RBNotifyOnRemoteCommands))
        return;
    const QString summary = byChat ? QStringLiteral("Wendle: a command came by chat") : QStringLiteral("Wendle: a command came by mail");
    QString body = QStringLiteral("\u201c%1\u201d").arg(boundedLine(command.section(u'\n', 0, 0), MaxCommandShown));
    const QString from = boundedLine(sender, MaxSenderShown);
    if (!from.isEmpty())
        body += QStringLiteral(" from ") + from;
    m_platform.notifications->notify(summary, body);
}

QString Controller::pauseRemoteCommands(const QString &by)
{
    return switchRemoteCommands(false, by);
}

QString Controller::resumeRemoteCommands(const QString &by)
{
    return switchRemoteCommands(true, by);
}

// Stored at once, so the switch holds after a restart and `config get`
// tells the same. A switch to the state it has changes and logs nothing.
QString Controller::switchRemoteCommands(bool enabled, const QString &by)
{
    if (m_platform.preferences.boolValue(RBEnableRemoteCommands) == enabled)
        return remoteSwitchAnswer(enabled, false);
    m_platform.preferences.setValue(QLatin1String(RBEnableRemoteCommands), enabled);
    const QString line = enabled ? QStringLiteral("Wendle Log Update:  remote commands resumed from %1").arg(by)
                                 : QStringLiteral("Wendle Log Update:  remote commands paused from %1; every command is "
                                                  "dropped until they are resumed")
                                       .arg(by);
    log(line);
    m_platform.console.writeLine(line);
    return remoteSwitchAnswer(enabled, true);
}

} // namespace wendle
