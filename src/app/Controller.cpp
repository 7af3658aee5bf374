#include "app/Controller.h"

#include "app/ActivityLog.h"
#include "camera/MotionDetection.h"
#include "camera/RBMovieView.h"
#include "intake/TextHelpers.h"
#include "platform/clock/Clock.h"
#include "platform/console/Console.h"
#include "platform/mail/MailTransport.h"
#include "platform/notifications/DeskNotifications.h"
#include "platform/preferences/Preferences.h"
#include "platform/random/RandomSource.h"
#include "platform/workspace/Workspace.h"
#include "resources/Resources.h"
#include "settings/Settings.h"

#include <utility>

namespace wendle {

Controller::Controller(const Platform &platform)
    : m_platform(platform)
    , m_remoteLog([this](const QString &line) { log(line); })
    , m_strangerConsole([this](const QString &line) { m_platform.console.writeLine(line); }, QStringLiteral("the console"))
{
    registerDefaults(m_platform.preferences);
    m_intake.commandTimestamps.reserve(30);
    m_intake.messageFromPhone = false;
    loadLibraryFromPrefs();
    if (!m_custom.libraryArray) {
        m_custom.libraryArray.emplace();
        m_custom.libraryArray->reserve(3);
    }
    m_platform.random.seed(unsigned(m_platform.clock.now().toSecsSinceEpoch()));
    m_camera.motionDetector = std::make_unique<MotionDetection>(m_platform.console);
    if (m_platform.notifications)
        m_platform.notifications->setPauseHandler([this] { pauseRemoteCommands(QStringLiteral("the desktop notification")); });
}

Controller::~Controller()
{
    writeHeldLog();
    // Timers of replies still waiting must not fire into a gone controller.
    for (const ChatReply &reply : m_chat.queued)
        m_platform.scheduler.cancel(reply.timer);
    shutDownCamera();
    if (m_platform.notifications)
        m_platform.notifications->setPauseHandler(nullptr);
}

QVariantMap Controller::defaultsTable()
{
    QVariantMap table;
    for (const auto &[key, value] : registeredDefaults())
        table.insert(key, value);
    return table;
}

void Controller::registerDefaults(Preferences &preferences)
{
    registerSettingDefaults(preferences);
}

void Controller::setCmdAddress(const QString &address, const QString &messageId)
{
    m_intake.cmdAddress = text::replaceDoubleQuotes(address);
    m_intake.cmdMessageId = threadableMessageId(messageId);
}

// An answer that comes later than the command (a search list) threads under
// the command that asked for it, even when another has come in since.
void Controller::answerUnder(const QString &messageId, const std::function<void()> &answer)
{
    const QString current = std::exchange(m_intake.cmdMessageId, messageId);
    answer();
    m_intake.cmdMessageId = current;
}

void Controller::setLastCCAddress(const QString &address)
{
    m_search.lastCCAddress = text::replaceDoubleQuotes(address);
}

QString Controller::localized(const QString &key) const
{
    return m_platform.resources.message(key);
}

QString Controller::localized(const QString &key, const QVariantList &arguments) const
{
    return stringWithFormat(localized(key), arguments);
}

QString Controller::wendleString(const QString &key) const
{
    return m_platform.resources.wendleString(key);
}

bool Controller::logData() const
{
    return m_platform.preferences.boolValue(RBLogData);
}

void Controller::addLogEntry(const QString &text)
{
    const QDateTime now = m_platform.clock.now();
    if (!m_heldLog.holding) {
        appendLogEntry(applicationSupportFolder(), text, now);
        return;
    }
    m_heldLog.entries.append({text, now});
    if (!m_heldLog.timer)
        m_heldLog.timer = m_platform.scheduler.schedule(std::chrono::milliseconds(HeldLogLimitMs), false, [this] {
            m_heldLog.timer = 0;
            writeHeldLog();
        });
}

void Controller::holdLogUntilSettled()
{
    m_heldLog.holding = true;
}

void Controller::releaseLogWhenSettled()
{
    if (!m_intake.commandsInFlight || !commandStillRunning())
        writeHeldLog();
}

void Controller::writeHeldLog()
{
    m_heldLog.holding = false;
    m_platform.scheduler.cancel(std::exchange(m_heldLog.timer, 0));
    const QList<LogEntry> entries = std::exchange(m_heldLog.entries, {});
    appendLogEntries(applicationSupportFolder(), entries);
}

void Controller::log(const QString &text)
{
    if (logData())
        addLogEntry(text);
}

QString Controller::applicationSupportFolder() const
{
    return m_platform.supportFolder;
}

void Controller::openLog()
{
    m_platform.workspace.openFile(applicationSupportFolder() + u'/' + QLatin1String(LogFileName));
}

} // namespace wendle
