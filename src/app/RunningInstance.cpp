#include "app/RunningInstance.h"

#include "app/CheckedPreferences.h"
#include "app/Controller.h"
#include "app/InboundQueue.h"
#include "app/InboundService.h"
#include "app/PrivateFiles.h"
#include "app/RemoteSwitch.h"
#include "app/SessionBus.h"
#include "app/SignalWatcher.h"
#include "app/StatusService.h"
#include "app/WindowService.h"
#include "app/window/SettingsWindow.h"
#include "app/window/TrayIcon.h"
#include "intake/SenderChecks.h"
#include "platform/alerts/Alerts.h"
#include "platform/camera/GStreamerFrameSource.h"
#include "platform/chat/ChatAdapters.h"
#include "platform/chat/McabberChatTransport.h"
#include "platform/chat/XmppChatTransport.h"
#include "platform/clock/Clock.h"
#include "platform/console/Console.h"
#include "platform/help/HelpBrowser.h"
#include "platform/mail/MailAdapters.h"
#include "platform/mail/MailboxWatcher.h"
#include "platform/notifications/FreedesktopNotifications.h"
#include "platform/preferences/PreferencesWatcher.h"
#include "platform/preferences/SettingsPreferences.h"
#include "platform/process/ProcessLauncher.h"
#include "platform/random/RandomSource.h"
#include "platform/scheduler/QtScheduler.h"
#include "platform/scripts/ScriptRunner.h"
#include "platform/search/FileSystemSearch.h"
#include "platform/search/index/SearchIndex.h"
#include "platform/workspace/Workspace.h"
#include "resources/Resources.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <memory>

namespace wendle {

namespace {

// How commands come in by mail and how replies go out, in a few words.
// notStarted says why the watcher waits, when it does.
QString mailConnectionState(const Preferences &preferences, const MailboxWatcher &mailbox, const QString &notStarted)
{
    const QString replies = QStringLiteral("; replies by ") + QLatin1String(chosenMailTransport(preferences).name);
    if (preferences.stringValue(QStringLiteral("imapUrl")).trimmed().isEmpty())
        return QStringLiteral("commands through wendle deliver (no imapUrl)") + replies;
    if (!mailbox.isRunning())
        return QStringLiteral("not reading %1: %2").arg(preferences.stringValue(QStringLiteral("imapUrl")), notStarted) + replies;
    return mailbox.connectionState() + replies;
}

// The objects of the running instance, declared in the order they are made:
// they go in the reverse order, the services before the Controller and the
// Controller before the adapters it reaches the machine through.
class Instance {
public:
    Instance(QCoreApplication &app, QDBusConnection &bus, const QString &support, bool windowed);
    ~Instance() { m_logger = nullptr; } // the adapters outlive the Controller

    // Takes the instance's name on the session bus; false when another has it.
    bool registerDBusServices();
    void openWindowAndTray();
    // The Controller's start-up steps and what is said once at start.
    void awake();
    void startServing();
    void stopServing();

private:
    Platform platform();
    StatusService *addDBusServices();
    void logLine(const QString &line);
    void logFromIndexThread(const QString &line);
    bool handInbound(const InboundItem &item, const std::function<void()> &done);
    bool takeMail(const InboundMail &message);
    void takeChat(const QString &from, const QString &text);
    QString showWindowForAnotherRun();
    QString mailState() const { return mailConnectionState(m_preferences, m_mailbox, m_mailboxWaits); }
    void reportStatus(QVariantMap &report);
    TrayFacts trayFacts() const;
    void startMailboxWhenOwned();
    void storedSettingsChanged();

    QCoreApplication &m_app;
    QDBusConnection &m_bus;
    const QString m_support;
    const QString m_attachments;
    const bool m_windowed;

    SettingsPreferences m_storedPreferences;
    CheckedPreferences m_preferences{m_storedPreferences};
    SystemClock m_clock;
    QtScheduler m_scheduler;
    StderrConsole m_console;
    SystemRandom m_random;
    // Mail problems are logged once the Controller exists, and always shown
    // on the console.
    Controller *m_logger = nullptr;
    const MailLog m_mailLog = [this](const QString &line) { logLine(line); };
    MailAdapters m_mail{m_preferences, m_support, m_mailLog};
    OutboxChatTransport m_chatOutbox{m_support + QLatin1String("/outbox")};
    ScriptChatTransport m_chatScript{m_preferences};
    XmppChatTransport m_chatXmpp{m_preferences, m_mailLog};
    McabberChatTransport m_chatMcabber{m_preferences, m_mailLog};
    SelectingChatTransport m_chat{m_preferences, m_chatOutbox, m_chatScript, m_chatXmpp, m_chatMcabber};
    XdgWorkspace m_workspace;
    DesktopAlerts m_alerts{m_console};
    Resources m_resources{Resources::locateFolder()};
    search::SearchIndex m_index{search::SearchIndex::defaultDatabasePath(), QDir::homePath(),
                                [this](const QString &line) { logFromIndexThread(line); }};
    FileSystemSearch m_search;
    ProcessScriptRunner m_scripts;
    QtProcessLauncher m_processes;
    GStreamerFrameSource m_camera;
    std::unique_ptr<HelpBrowser> m_help{m_windowed ? new HelpBrowser : nullptr};
    FreedesktopNotifications m_notifications{m_bus, m_console};
    Controller m_controller{platform()};
    InboundQueue m_queue{m_support, [this](const InboundItem &item, const std::function<void()> &done) { return handInbound(item, done); }};
    std::unique_ptr<SettingsWindow> m_window;
    InboundService m_inbound{m_queue, m_storedPreferences, m_attachments, m_console};
    StatusService *const m_statusService = addDBusServices(); // owned by m_inbound
    SignalWatcher m_signalWatcher;
    // Commands that arrive in the owner's mailbox.
    MailboxWatcher m_mailbox{m_preferences, m_attachments, [this](const InboundMail &message) { return takeMail(message); }, m_mailLog};
    QString m_mailboxWaits; // why the mailbox watcher has not started
    std::unique_ptr<SessionBusWatcher> m_busWatcher;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<PreferencesWatcher> m_preferencesWatcher;
};

Instance::Instance(QCoreApplication &app, QDBusConnection &bus, const QString &support, bool windowed)
    : m_app(app)
    , m_bus(bus)
    , m_support(support)
    , m_attachments(support + QLatin1String("/attachments"))
    , m_windowed(windowed)
{
    m_search.setIndex(&m_index);
    m_logger = &m_controller;
    m_queue.setRefusalHandler([this](const InboundItem &item, const QString &why) {
        if (!item.chat)
            m_controller.refuseRepeatedMail(item.from, why);
    });
    m_statusService->addProvider([this](QVariantMap &report) { reportStatus(report); });
    // Messages from the owner's chat account; the transport filters out the
    // rest. They wait their turn behind a running command like every other.
    m_chatXmpp.setInboundHandler([this](const QString &from, const QString &text) { takeChat(from, text); });
}

Platform Instance::platform()
{
    return Platform{m_preferences, m_clock,     m_scheduler, m_console,    m_random,        m_mail.transport(),
                    m_chat,        m_workspace, m_alerts,    m_resources,  m_search,        m_scripts,
                    m_processes,   m_camera,    m_support,   m_help.get(), &m_notifications};
}

StatusService *Instance::addDBusServices()
{
    auto *status = new StatusService(&m_inbound);                                // owned by m_inbound
    new RemoteSwitchService(&m_inbound, m_controller);                           // owned by m_inbound
    new WindowService(&m_inbound, [this] { return showWindowForAnotherRun(); }); // owned by m_inbound
    return status;
}

void Instance::logLine(const QString &line)
{
    m_console.writeLine(line);
    if (m_logger && m_logger->logData())
        m_logger->addLogEntry(line);
}

// The indexer reports from its own thread; the log is written on this one.
void Instance::logFromIndexThread(const QString &line)
{
    QMetaObject::invokeMethod(
        &m_app, [this, line] { logLine(line); }, Qt::QueuedConnection);
}

bool Instance::handInbound(const InboundItem &item, const std::function<void()> &done)
{
    const bool taken = handInboundItem(m_controller, item, m_attachments);
    m_controller.whenCommandFinished(done);
    return taken;
}

// A message counts as handed over once the queue has taken it.
bool Instance::takeMail(const InboundMail &message)
{
    if (message.autoSubmitted) {
        removeOwnAttachment(message.attachmentPath, m_attachments);
        return true;
    }
    InboundItem item;
    item.from = message.from;
    item.text = message.text;
    item.attachment = message.attachmentPath.isEmpty() ? QString() : message.attachmentPath;
    item.messageId = message.messageId;
    item.authenticationResults = message.authenticationResults;
    item.senderHeader = message.senderHeader;
    item.dateHeader = message.dateHeader;
    item.signature = message.signature;
    // Not taken for want of disk space: it stays unseen and comes again.
    const InboundQueue::Outcome outcome = m_queue.take(item);
    if (outcome == InboundQueue::Outcome::RunBefore)
        removeOwnAttachment(message.attachmentPath, m_attachments);
    return outcome != InboundQueue::Outcome::CannotSpool;
}

void Instance::takeChat(const QString &from, const QString &text)
{
    InboundItem item;
    item.chat = true;
    item.from = from;
    item.text = text;
    m_queue.take(item);
}

QString Instance::showWindowForAnotherRun()
{
    const qint64 process = QCoreApplication::applicationPid();
    if (!m_window) {
        m_console.writeLine(QStringLiteral("wendle: another wendle run asked for the window; this Wendle runs without one"));
        return QStringLiteral("Wendle already runs in this session without a window (process %1, data folder %2); "
                              "wendle status shows its state")
            .arg(process)
            .arg(m_support);
    }
    m_window->showInFront();
    m_console.writeLine(QStringLiteral("wendle: another wendle run asked for the window; it is shown"));
    return QStringLiteral("Wendle already runs in this session (process %1); its settings window is shown").arg(process);
}

void Instance::reportStatus(QVariantMap &report)
{
    report.insert(QLatin1String(StatusMailConnection), mailState());
    report.insert(QLatin1String(StatusChatConnection), m_chat.state());
    report.insert(QLatin1String(StatusQueueLength), QDir(m_mail.smtp().queueFolder()).entryList(QDir::Files).size());
    report.insert(QLatin1String(StatusPendingConfirmation), m_controller.describeCodeAwaited());
    report.insert(QLatin1String(StatusIndexState),
                  m_index.isReady() ? QStringLiteral("ready")
                  : m_index.hasFailed()
                      ? QStringLiteral("unavailable; searches walk the folders")
                      : QStringLiteral("being built: %1; searches walk the folders").arg(search::describeProgress(m_index.progress())));
}

// The objects are in place before the name is taken: a call the bus held
// while it started Wendle is delivered as soon as the name is ours.
bool Instance::registerDBusServices()
{
    m_bus.registerObject(QLatin1String(DBusObjectPath), &m_inbound, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAdaptors);
    if (!m_bus.registerService(QLatin1String(DBusServiceName))) {
        std::fputs("wendle: Wendle is already running in this session\n", stderr);
        return false;
    }
    const QString exportLine = exportLineForOtherTerminals();
    if (!exportLine.isNull())
        m_console.writeLine(QStringLiteral("wendle: this session bus is not one other terminals find by themselves; "
                                           "commands reach Wendle from a shell that ran:\n")
                            + exportLine);
    // A Wendle the bus started must not outlive it; nothing could reach it.
    m_busWatcher = std::make_unique<SessionBusWatcher>(m_bus, [this] {
        m_mailLog(QStringLiteral("Wendle Log Update: the D-Bus session bus went away; Wendle quits"));
        QCoreApplication::quit();
    });
    return true;
}

TrayFacts Instance::trayFacts() const
{
    return TrayFacts{mailState(), m_chat.state(), describeLastCommand(m_controller), m_preferences.boolValue(RBEnableRemoteCommands)};
}

void Instance::openWindowAndTray()
{
    if (!m_windowed)
        return;
    // The window quits Wendle when closed, unless a tray icon keeps it
    // within reach; the help viewer never keeps Wendle alive by itself.
    qApp->setQuitOnLastWindowClosed(false);
    qApp->setWindowIcon(wendleIcon());
    m_window = std::make_unique<SettingsWindow>(m_controller, m_preferences);
    if (!TrayIcon::available())
        return;
    m_tray = std::make_unique<TrayIcon>(m_controller, m_window.get(), [this] { return trayFacts(); });
    m_window->setKeepsRunningWhenClosed(true);
    m_tray->show();
}

void Instance::awake()
{
    m_controller.awakeFromNib(m_window.get());
    // Said once here, not at every read: the values are used as the lines say.
    for (const QString &line : settingsFileReport(m_storedPreferences))
        m_mailLog(line);
    const int madePrivate = makeFilesPrivate(
        {QFileInfo(m_storedPreferences.fileName()).path(), m_support, QFileInfo(search::SearchIndex::defaultDatabasePath()).path()});
    if (madePrivate > 0)
        m_mailLog(QStringLiteral("Wendle Log Update:  %1 files and folders of Wendle were readable by other users; "
                                 "they are now private to you")
                      .arg(madePrivate));
    // `wendle config set` reaches the running instance: the camera switches,
    // and the stamp colour and the library it would otherwise store over the
    // owner's change at quit.
    m_preferencesWatcher = std::make_unique<PreferencesWatcher>(m_storedPreferences.fileName(), [this] { storedSettingsChanged(); });
}

void Instance::storedSettingsChanged()
{
    m_controller.storedSettingsChanged();
    m_index.setReadsMail(m_preferences.boolValue(RBSearchEmails));
    startMailboxWhenOwned();
}

// A watcher fetching mail would obey anybody who forges the example
// addresses of the defaults: it waits until the owner has set real ones.
void Instance::startMailboxWhenOwned()
{
    if (m_mailbox.isRunning())
        return;
    const QString placeholders = placeholderSendersProblem(m_preferences);
    if (!placeholders.isNull() && !m_preferences.stringValue(RBImapUrl).isEmpty()) {
        if (m_mailboxWaits.isNull())
            m_mailLog(
                QStringLiteral("Wendle Error: the mailbox watcher does not start: %1; it starts once they are set").arg(placeholders));
        m_mailboxWaits = placeholders;
        return;
    }
    m_mailboxWaits.clear();
    m_mailbox.start();
}

void Instance::startServing()
{
    m_queue.resume();
    removeStaleAttachments(m_attachments);
    startMailboxWhenOwned();
    m_chatXmpp.start();
    m_index.setReadsMail(m_preferences.boolValue(RBSearchEmails));
    m_index.start();
    if (m_window)
        m_window->show();
}

void Instance::stopServing()
{
    m_index.stop();
    m_mailbox.stop();
    m_chatXmpp.stop();
    m_chatXmpp.setInboundHandler(nullptr);
    m_chatMcabber.stop();
    m_controller.applicationWillTerminate();
    m_logger = nullptr; // the mail adapters outlive the Controller
    m_bus.unregisterService(QLatin1String(DBusServiceName));
}

} // namespace

int serveCommands(QCoreApplication &app, QDBusConnection &bus, const QString &support, bool windowed)
{
    Instance instance(app, bus, support, windowed);
    if (!instance.registerDBusServices())
        return 1;
    instance.openWindowAndTray();
    instance.awake();
    instance.startServing();
    const int status = app.exec();
    instance.stopServing();
    return status;
}

} // namespace wendle
