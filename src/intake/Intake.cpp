#include "app/Controller.h"

#include "intake/CommandLanguage.h"
#include "intake/CommandsInFlight.h"
#include "intake/QuotedText.h"
#include "intake/SenderChecks.h"
#include "intake/SignedCommands.h"
#include "intake/TextHelpers.h"
#include "platform/clock/Clock.h"
#include "platform/console/Console.h"
#include "platform/log/PrintableText.h"
#include "platform/preferences/Preferences.h"
#include "platform/trace/RoadTrace.h"
#include "settings/Settings.h"

#include <utility>

namespace wendle {

namespace {

constexpr qsizetype MaxTimestamps = 30;
constexpr double HourInSeconds = 3600.0;

} // namespace

void Controller::processEmailFrom(const QString &from, const QString &message, const QVariant &, const QString &messageId)
{
    m_intake.lastMessageTaken = false;
    if (from.isNull())
        return;
    const Preferences &prefs = m_platform.preferences;
    const QString phone = prefs.stringValue(RBPhoneEmailAddress);
    const QString remote = prefs.stringValue(RBRemoteEmailAddress);

    // Set for every sender, even one refused below.
    m_intake.messageFromPhone = senderMatches(phone, from);
    if (!m_intake.messageFromPhone && !senderMatches(remote, from)) {
        // The console only: the log is the owner's history and says nothing
        // of strangers, yet an owner writing from an address not configured
        // must be able to see why nothing happens.
        m_strangerConsole.write(QStringLiteral("messages from other senders"),
                                QStringLiteral("Wendle Log Update:  a message from %1 was not taken: the sender is not one "
                                               "of the configured addresses")
                                    .arg(text::printableLine(from).left(200)),
                                m_platform.clock.now());
        return;
    }
    if (message.isNull())
        return;

    // With signatures required, commands come from the signed part alone;
    // what stands outside it only tells whether the message was meant as one.
    const SenderEvidence &evidence = m_intake.senderEvidence;
    const bool signedOnly = prefs.boolValue(RBRequireSignedCommands) && evidence.signature.state != MailSignature::State::Missing;
    const QString lowered = (signedOnly ? evidence.signature.signedText : message).toLower();
    if (text::beginsWithString(lowered, QStringLiteral("wendle")))
        return;
    const QString own = text::withoutQuotedText(lowered);
    if (!own.contains(QLatin1String("wndl")) && !(signedOnly && holdsCommandKeyword(evidence.signature.unsignedText)))
        return;
    // The checks beyond the address test, and the one address answers go
    // to: never the sender text itself, which a mail program would read again.
    QString replyAddress;
    QString refusal = senderCheckFailure(prefs, from, evidence, &replyAddress);
    if (refusal.isNull())
        refusal = signatureCheckFailure(prefs, evidence.signature);
    if (refusal.isNull())
        refusal = commandAgeFailure(prefs, evidence, m_platform.clock.now());
    if (!refusal.isNull()) {
        refuseMail(from, refusal);
        return;
    }
    acceptCommand(own, localized(QStringLiteral("process_cmd_from_log"), {text::printableLine(from)}), replyAddress, messageId, from);
}

void Controller::refuseMail(const QString &from, const QString &why)
{
    const QString line = QStringLiteral("Wendle Log Update:  a message from %1 was refused: %2")
                             .arg(text::printableLine(from).left(200), text::printableLine(why));
    m_platform.console.writeLine(line);
    m_remoteLog.write(QStringLiteral("refused mail messages"), line, m_platform.clock.now());
}

void Controller::refuseRepeatedMail(const QString &from, const QString &why)
{
    const Preferences &prefs = m_platform.preferences;
    // Strangers are not the log's business, here as at the address test.
    if (!senderMatches(prefs.stringValue(RBPhoneEmailAddress), from) && !senderMatches(prefs.stringValue(RBRemoteEmailAddress), from))
        return;
    refuseMail(from, why);
}

void Controller::processChatFrom(const QString &from, const QString &message, const QVariant &)
{
    if (message.isNull())
        return;
    const QString lowered = message.toLower();
    if (text::beginsWithString(lowered, QStringLiteral("wendle:")))
        return;
    acceptCommand(text::withoutQuotedText(lowered), localized(QStringLiteral("process_chat_cmd_from_log")), QLatin1String(ChatMarker),
                  QString(), from);
}

// The steps mail and chat share once the message may be a command: the
// keyword, the log entry, the time stamp, the reply address and the limit.
// The limit notice goes back the way the command came. Only the text the
// sender wrote is searched: a quoted "wndl" is not a command.
void Controller::acceptCommand(const QString &lowered, const QString &logEntry, const QString &replyAddress, const QString &messageId,
                               const QString &sender)
{
    const qsizetype keyword = lowered.indexOf(QLatin1String("wndl"));
    if (keyword < 0)
        return;
    // With a secret set, the word after the keyword must be it; it is taken
    // out here, so it is neither parsed nor logged.
    const QString command = withoutCommandSecret(lowered.mid(keyword), m_platform.preferences.stringValue(RBCommandSecret));
    if (command.isNull())
        return;
    m_intake.lastMessageTaken = true;
    // The owner's switch for all remote control: nothing runs, nothing is
    // answered, and the log says why.
    if (!m_platform.preferences.boolValue(RBEnableRemoteCommands)) {
        const QString off = localized(QStringLiteral("remote_commands_off_log"));
        log(off);
        m_platform.console.writeLine(off);
        return;
    }
    log(logEntry);
    addTimestamp();
    setCmdAddress(replyAddress, messageId);
    // Named by its first line, the one that counts, and of that by its beginning.
    m_intake.lastCommandSeen = {text::printableLine(command.section(u'\n', 0, 0).simplified().left(80)), m_platform.clock.now(),
                                replyAddress == QLatin1String(ChatMarker)};

    const Preferences &prefs = m_platform.preferences;
    if (prefs.boolValue(RBLimitCommandsFlag) && exceededHourlyCommands(prefs.intValue(RBMaxCommandsPerHour))) {
        const QString notice = localized(QStringLiteral("exceeded_message"));
        if (prefs.boolValue(RBLimitNotificationFlag)) {
            if (replyAddress == QLatin1String(ChatMarker))
                sendChatWithMessage(notice, QString(), QString());
            else
                sendMessageWithContents(notice, QString(), QString());
        }
        log(notice);
        m_platform.console.writeLine(notice);
        return;
    }
    // Recorded until it has finished, so that a kill in between is told at
    // the next start.
    recordCommandInFlight(m_platform.supportFolder, m_intake.lastCommandSeen.text);
    m_intake.commandsInFlight = true;
    // Whoever sits at the computer learns that it is being worked from afar.
    showCommandAtDesk(command, sender, replyAddress == QLatin1String(ChatMarker));
    parseCommand(command);
    settleCommands();
}

// Commands that answer later (a search, a snapshot, a chat reply, a script)
// finish when their answer has gone.
void Controller::settleCommands()
{
    if (!m_intake.commandsInFlight || commandStillRunning())
        return;
    clearCommandsInFlight(m_platform.supportFolder);
    m_intake.commandsInFlight = false;
    // The answer has gone: what the command logged follows it into the file.
    if (m_heldLog.holding)
        writeHeldLog();
}

bool Controller::commandStillRunning() const
{
    return commandRunning() || m_search.query != 0 || !m_chat.queued.empty() || m_camera.snapshotsPending > 0;
}

void Controller::reportInterruptedCommands()
{
    for (const QString &command : takeInterruptedCommands(m_platform.supportFolder)) {
        const QString line =
            QStringLiteral("Wendle Log Update:  the command \"%1\" was interrupted by a stop and not finished").arg(command);
        log(line);
        m_platform.console.writeLine(line);
    }
}

void Controller::whenCommandFinished(std::function<void()> next)
{
    if (!commandRunning()) {
        next();
        return;
    }
    m_intake.afterCommand.push_back(std::move(next));
}

void Controller::commandFinished()
{
    settleCommands();
    // Taken out first: a waiter may hand over the next command at once.
    const std::vector<std::function<void()>> waiting = std::exchange(m_intake.afterCommand, {});
    for (const auto &next : waiting)
        next();
}

void Controller::addTimestamp()
{
    if (m_intake.commandTimestamps.size() >= MaxTimestamps)
        m_intake.commandTimestamps.removeFirst();
    m_intake.commandTimestamps.append(m_platform.clock.now());
}

// The newest stamp is compared with the one maximum-1 places before it, so
// the refused message counts too. A maximum below 1 counts as 1: with 0 the
// comparison would reach past the newest entry.
bool Controller::exceededHourlyCommands(qint32 maximum) const
{
    const QList<QDateTime> &stamps = m_intake.commandTimestamps;
    const qsizetype limit = qMax<qint32>(maximum, 1);
    const qsizetype count = stamps.size();
    if (count <= limit)
        return false;
    const QDateTime &newest = stamps[count - 1];
    const QDateTime &reference = stamps[count - limit];
    return reference.msecsTo(newest) / 1000.0 < HourInSeconds;
}

void Controller::parseCommand(const QString &text)
{
    if (text.isNull() || text.size() < 2)
        return;
    // Latin-1 is the 8-bit form the language reads; characters it cannot
    // hold become '?', which starts no token. A NUL ends the command.
    QByteArray bytes = text.toLatin1();
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    runLanguage(bytes);
}

} // namespace wendle

namespace wendle {

// The language echoes the characters that start no token to the standard
// output, which the journal keeps beside the console lines.
void Controller::runLanguage(const QByteArray &command)
{
    if (m_commandTextHandler) {
        m_commandTextHandler(command);
        return;
    }
    traceStep("daemon: command parsing");
    runCommandLanguage(command, *this, stdout);
    traceStep("daemon: command run");
}

} // namespace wendle
