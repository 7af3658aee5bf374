#include "app/Application.h"

#include "app/CheckedPreferences.h"
#include "app/Controller.h"
#include "app/InboundQueue.h"
#include "app/InboundService.h"
#include "app/InstanceLock.h"
#include "app/PrivateFiles.h"
#include "app/RemoteSwitch.h"
#include "app/Resources.h"
#include "app/SessionBus.h"
#include "app/Settings.h"
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
#include "platform/scripts/ScriptRunner.h"
#include "platform/random/RandomSource.h"
#include "platform/scheduler/QtScheduler.h"
#include "platform/search/FileSystemSearch.h"
#include "platform/search/index/SearchIndex.h"
#include "platform/workspace/Workspace.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace wendle {

namespace {

void fail(const QString &message)
{
    std::fprintf(stderr, "wendle: %s\n", qPrintable(message));
}

// Writes a little into the folder and takes it back: only a real write
// tells a read-only mount or a full disk from a usable folder (permission
// bits say nothing about either, and nothing at all to root). Null when it
// can be written, otherwise why not.
QString writeProblem(const QString &folder)
{
    QTemporaryFile probe(folder + QLatin1String("/.write-test-XXXXXX"));
    if (!probe.open())
        return probe.errorString();
    if (probe.write(QByteArray(4096, '\0')) != 4096 || !probe.flush())
        return probe.errorString();
    return {};
}

// The support folder is made when missing; whatever the owner keeps where it
// belongs (a file, a dangling link) stays untouched. Wendle does not start
// without it: a command it took but could not keep would be lost unseen, and
// the log that would tell so could not be written either. Null when the
// folder is usable, otherwise the one line the owner should read.
QString supportFolderProblem(const QString &folder)
{
    const QFileInfo info(folder);
    const QString closing = QStringLiteral("; Wendle keeps the commands it takes, its log and its outbox there and "
                                           "does not start without it");
    if ((info.exists() || info.isSymLink()) && !info.isDir())
        return QStringLiteral("the data folder %1 is not a folder; Wendle leaves it alone. Move it away and start Wendle "
                              "again").arg(folder);
    if (!info.exists() && !QDir().mkpath(folder))
        return QStringLiteral("cannot create the data folder %1 (%2)").arg(folder, qt_error_string(errno)) + closing;
    const QString problem = writeProblem(folder);
    if (!problem.isNull())
        return QStringLiteral("cannot write in the data folder %1 (%2)").arg(folder, problem) + closing;
    return {};
}

// How commands come in by mail and how replies go out, in a few words.
// notStarted says why the watcher waits, when it does.
QString mailConnectionState(const Preferences &preferences, const MailboxWatcher &mailbox, const QString &notStarted)
{
    const QString replies = QStringLiteral("; replies by ") + preferences.stringValue(QLatin1String(RBMailTransport));
    if (preferences.stringValue(QStringLiteral("imapUrl")).trimmed().isEmpty())
        return QStringLiteral("commands through wendle deliver (no imapUrl)") + replies;
    if (!mailbox.isRunning())
        return QStringLiteral("not reading %1: %2").arg(preferences.stringValue(QStringLiteral("imapUrl")), notStarted) + replies;
    return mailbox.connectionState() + replies;
}

// A second `wendle run` in the session (the desktop entry clicked while the
// unit runs) has the running Wendle show itself and says so.
int handOverToRunningWendle(QDBusConnection &bus)
{
    QString error;
    const QString answer = askRunningWendleToShow(bus, &error);
    if (answer.isNull()) {
        fail(QStringLiteral("Wendle is already running in this session, and does not answer: ") + error);
        return 1;
    }
    std::printf("%s\n", qPrintable(answer));
    return 0;
}

} // namespace

QString supportFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/wendle");
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int runApplication(int &argc, char **argv, bool headless)
{
    bool windowed = !headless && hasDisplay();
    // A display that cannot be reached (a stale DISPLAY over ssh) must not
    // abort the start: Qt then falls back to drawing nowhere, and Wendle runs
    // on without its window.
    if (windowed && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb;offscreen" : "wayland;xcb;offscreen");
    // Without a window Wendle still draws (the camera view, date stamps):
    // Qt's offscreen platform gives it a GUI that needs no display.
    if (!windowed)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app(new QApplication(argc, argv));
    if (windowed && QGuiApplication::platformName() == QLatin1String("offscreen")) {
        fail(QStringLiteral("cannot open a window on the display; running without one"));
        windowed = false;
    }
    QCoreApplication::setApplicationName(QStringLiteral("wendle"));
    // The mail check script calls this very program's helpers.
    qputenv("WENDLE", QFile::encodeName(QCoreApplication::applicationFilePath()));

    const QString busProblem = connectSessionBus();
    if (!busProblem.isNull()) {
        fail(QStringLiteral("cannot connect to the D-Bus session bus (%1); commands could not reach Wendle.\n"
                            "Without a desktop session, start one for Wendle: dbus-run-session -- wendle run --headless")
                 .arg(busProblem));
        return 1;
    }
    // Before the data folder's lock, which the running instance holds too.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.interface()->isServiceRegistered(QLatin1String(DBusServiceName)))
        return handOverToRunningWendle(bus);

    const QString support = supportFolder();
    const QString folderProblem = supportFolderProblem(support);
    if (!folderProblem.isNull()) {
        fail(folderProblem);
        return 1;
    }
    InstanceLock instanceLock;
    QString holder;
    switch (instanceLock.take(support, &holder)) {
    case InstanceLock::Result::Taken:
        break;
    case InstanceLock::Result::HeldByAnother:
        fail(QStringLiteral("Wendle is already running for the data folder %1: %2").arg(support, holder));
        return 1;
    case InstanceLock::Result::Unavailable:
        fail(QStringLiteral("cannot make sure no other Wendle uses %1 (%2); running anyway").arg(support, holder));
        break;
    }

    SettingsPreferences storedPreferences;
    CheckedPreferences preferences(storedPreferences);
    SystemClock clock;
    QtScheduler scheduler;
    StderrConsole console;
    SystemRandom random;
    // Mail problems are logged once the controller exists, and always shown
    // on the console.
    Controller *logger = nullptr;
    const MailLog mailLog = [&logger, &console](const QString &line) {
        console.writeLine(line);
        if (logger && logger->logData())
            logger->addLogEntry(line);
    };
    MailAdapters mail(preferences, support, mailLog);
    OutboxChatTransport chatOutbox(support + QLatin1String("/outbox"));
    ScriptChatTransport chatScript(preferences);
    XmppChatTransport chatXmpp(preferences, mailLog);
    McabberChatTransport chatMcabber(preferences, mailLog);
    SelectingChatTransport chat(preferences, chatOutbox, chatScript, chatXmpp, chatMcabber);
    const auto chatState = [&] {
        return preferences.stringValue(RBChatTransport) == QLatin1String("mcabber") ? chatMcabber.state() : chatXmpp.linkState();
    };
    XdgWorkspace workspace;
    DesktopAlerts alerts(console);
    Resources resources(Resources::locateFolder());
    // The indexer reports from its own thread; the log is written on this one.
    search::SearchIndex index(search::SearchIndex::defaultDatabasePath(), QDir::homePath(),
                              [&logger, &console, receiver = app.get()](const QString &line) {
                                  QMetaObject::invokeMethod(receiver, [&logger, &console, line] {
                                      console.writeLine(line);
                                      if (logger && logger->logData())
                                          logger->addLogEntry(line);
                                  }, Qt::QueuedConnection);
                              });
    FileSystemSearch search;
    search.setIndex(&index);
    ProcessScriptRunner scripts;
    QtProcessLauncher processes;
    GStreamerFrameSource camera;
    std::unique_ptr<HelpBrowser> help(windowed ? new HelpBrowser : nullptr);
    FreedesktopNotifications notifications(bus, console);
    const Platform platform{preferences, clock, scheduler, console, random, mail.transport(), chat,
                            workspace, alerts, resources, search, scripts, processes, camera, support, help.get(),
                            &notifications};

    Controller controller(platform);
    logger = &controller;
    const QString attachments = support + QLatin1String("/attachments");
    InboundQueue queue(support, [&controller, &attachments](const InboundItem &item, const std::function<void()> &done) {
        const bool taken = handInboundItem(controller, item, attachments);
        controller.whenCommandFinished(done);
        return taken;
    });
    queue.setRefusalHandler([&controller](const InboundItem &item, const QString &why) {
        if (!item.chat)
            controller.refuseRepeatedMail(item.from, why);
    });
    std::unique_ptr<SettingsWindow> window;
    InboundService inbound(queue, storedPreferences, attachments, console);
    auto *statusService = new StatusService(&inbound); // owned by inbound
    new RemoteSwitchService(&inbound, controller); // owned by inbound
    new WindowService(&inbound, [&window, &console, &support] { // owned by inbound
        const qint64 process = QCoreApplication::applicationPid();
        if (!window) {
            console.writeLine(QStringLiteral("wendle: another wendle run asked for the window; this Wendle runs without one"));
            return QStringLiteral("Wendle already runs in this session without a window (process %1, data folder %2); "
                                  "wendle status shows its state").arg(process).arg(support);
        }
        window->showInFront();
        console.writeLine(QStringLiteral("wendle: another wendle run asked for the window; it is shown"));
        return QStringLiteral("Wendle already runs in this session (process %1); its settings window is shown").arg(process);
    });
    SignalWatcher signalWatcher;
    // Commands that arrive in the owner's mailbox; a message counts as
    // handed over once the queue has taken it.
    MailboxWatcher mailbox(preferences, attachments,
                           [&queue, &attachments](const InboundMail &message) {
                               if (message.autoSubmitted) {
                                   removeOwnAttachment(message.attachmentPath, attachments);
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
                               const InboundQueue::Outcome outcome = queue.take(item);
                               if (outcome == InboundQueue::Outcome::RunBefore)
                                   removeOwnAttachment(message.attachmentPath, attachments);
                               return outcome != InboundQueue::Outcome::CannotSpool;
                           },
                           mailLog);

    QString mailboxWaits; // why the mailbox watcher has not started
    statusService->addProvider([&](QVariantMap &report) {
        report.insert(QLatin1String(StatusMailConnection), mailConnectionState(preferences, mailbox, mailboxWaits));
        report.insert(QLatin1String(StatusChatConnection), chatState());
        report.insert(QLatin1String(StatusQueueLength), QDir(mail.smtp().queueFolder()).entryList(QDir::Files).size());
        report.insert(QLatin1String(StatusPendingConfirmation), controller.describeCodeAwaited());
        report.insert(QLatin1String(StatusIndexState),
                      index.isReady()     ? QStringLiteral("ready")
                      : index.hasFailed() ? QStringLiteral("unavailable; searches walk the folders")
                                          : QStringLiteral("being built: %1; searches walk the folders").arg(search::describeProgress(index.progress())));
    });
    // The objects are in place before the name is taken: a call the bus held
    // while it started Wendle is delivered as soon as the name is ours.
    bus.registerObject(QLatin1String(DBusObjectPath), &inbound, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAdaptors);
    if (!bus.registerService(QLatin1String(DBusServiceName))) {
        fail(QStringLiteral("Wendle is already running in this session"));
        return 1;
    }
    const QString exportLine = exportLineForOtherTerminals();
    if (!exportLine.isNull())
        console.writeLine(QStringLiteral("wendle: this session bus is not one other terminals find by themselves; "
                                         "commands reach Wendle from a shell that ran:\n") + exportLine);
    // A Wendle the bus started must not outlive it; nothing could reach it.
    SessionBusWatcher busWatcher(bus, [&mailLog] {
        mailLog(QStringLiteral("Wendle Log Update: the D-Bus session bus went away; Wendle quits"));
        QCoreApplication::quit();
    });

    // Messages from the owner's chat account; the transport filters out the
    // rest. They wait their turn behind a running command like every other.
    chatXmpp.setInboundHandler([&queue](const QString &from, const QString &text) {
        InboundItem item;
        item.chat = true;
        item.from = from;
        item.text = text;
        queue.take(item);
    });

    std::unique_ptr<TrayIcon> tray;
    if (windowed) {
        // The window quits Wendle when closed, unless a tray icon keeps it
        // within reach; the help viewer never keeps Wendle alive by itself.
        qApp->setQuitOnLastWindowClosed(false);
        qApp->setWindowIcon(wendleIcon());
        window = std::make_unique<SettingsWindow>(controller, preferences);
        if (TrayIcon::available()) {
            const auto facts = [&] {
                return TrayFacts{mailConnectionState(preferences, mailbox, mailboxWaits), chatState(),
                                 describeLastCommand(controller), preferences.boolValue(RBEnableRemoteCommands)};
            };
            tray = std::make_unique<TrayIcon>(controller, window.get(), facts);
            window->setKeepsRunningWhenClosed(true);
            tray->show();
        }
    }
    controller.awakeFromNib(window.get());
    // Said once here, not at every read: the values are used as the lines say.
    for (const QString &line : settingsFileReport(storedPreferences))
        mailLog(line);
    // A watcher fetching mail would obey anybody who forges the example
    // addresses of the defaults: it waits until the owner has set real ones.
    const auto startMailboxWhenOwned = [&] {
        if (mailbox.isRunning())
            return;
        const QString placeholders = placeholderSendersProblem(preferences);
        if (!placeholders.isNull() && !preferences.stringValue(RBImapUrl).isEmpty()) {
            if (mailboxWaits.isNull())
                mailLog(QStringLiteral("Wendle Error: the mailbox watcher does not start: %1; it starts once they are set").arg(placeholders));
            mailboxWaits = placeholders;
            return;
        }
        mailboxWaits.clear();
        mailbox.start();
    };
    const int madePrivate = makeFilesPrivate({QFileInfo(storedPreferences.fileName()).path(), support,
                                              QFileInfo(search::SearchIndex::defaultDatabasePath()).path()});
    if (madePrivate > 0)
        mailLog(QStringLiteral("Wendle Log Update:  %1 files and folders of Wendle were readable by other users; "
                               "they are now private to you").arg(madePrivate));
    // `wendle config set` reaches the running instance: the camera switches,
    // and the stamp colour and the library it would otherwise store over the
    // owner's change at quit.
    PreferencesWatcher preferencesWatcher(storedPreferences.fileName(), [&] {
        controller.storedSettingsChanged();
        index.setReadsMail(preferences.boolValue(RBSearchEmails));
        startMailboxWhenOwned();
    });
    queue.resume();
    removeStaleAttachments(attachments);
    startMailboxWhenOwned();
    chatXmpp.start();
    index.setReadsMail(preferences.boolValue(RBSearchEmails));
    index.start();
    if (window)
        window->show();
    const int status = app->exec();
    index.stop();
    mailbox.stop();
    chatXmpp.stop();
    chatXmpp.setInboundHandler(nullptr);
    chatMcabber.stop();
    controller.applicationWillTerminate();
    logger = nullptr; // the mail adapters outlive the controller
    bus.unregisterService(QLatin1String(DBusServiceName));
    return status;
}

} // namespace wendle
