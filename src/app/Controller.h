#pragma once

#include "app/ActivityLog.h"
#include "app/Platform.h"
#include "camera/CameraState.h"
#include "custom/CustomCommandState.h"
#include "intake/CommandActions.h"
#include "intake/IntakeState.h"
#include "intake/SenderChecks.h"
#include "operations/FaxState.h"
#include "operations/SearchState.h"
#include "platform/log/RemoteLogCap.h"
#include "platform/scheduler/Scheduler.h"
#include "platform/search/MetadataSearch.h"
#include "replies/ChatReplyState.h"
#include "replies/ChatScriptInstaller.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace wendle {

class SettingsView;
struct ScriptResult;

// The application's one object: it holds the state and is the target of every
// command. Each subsystem folder defines the member functions of its own
// operations.
class Controller : public CommandActions {
public:
    static constexpr const char *ChatMarker = "chat_msg";

    explicit Controller(const Platform &platform);
    ~Controller() override;
    Controller(const Controller &) = delete;
    Controller &operator=(const Controller &) = delete;

    // Registers the defaults table once per process and per preference store.
    static void registerDefaults(Preferences &preferences);
    static QVariantMap defaultsTable();

    // Lifecycle: the start-up steps (with or without a settings window) and
    // the shutdown steps.
    void awakeFromNib(SettingsView *view);
    void applicationWillTerminate();
    // The settings file changed on disk (`wendle config set`): the values
    // Wendle keeps in memory and stores at quit take up the new ones.
    void storedSettingsChanged();

    // Help: the book is checked at start; each action shows one page.
    void registerHelp();
    QString helpBookFolder() const;
    void helpComputer();
    void helpRemote();
    void helpSecurity();
    void helpChat();
    void helpCustom();
    void helpConfigure();
    void helpiSight();

    // Intake.
    // The Message-ID, when the message had one, threads the answers under it.
    void processEmailFrom(const QString &from, const QString &message, const QVariant &attachment, const QString &messageId = QString());
    void processChatFrom(const QString &from, const QString &message, const QVariant &attachment);
    void parseCommand(const QString &text);
    // Commands run one at a time, and a custom script answers after the call
    // that started it has returned: next runs once the running command has
    // sent its answer, at once when none runs.
    void whenCommandFinished(std::function<void()> next);
    bool commandRunning() const { return m_custom.runningScript != nullptr; }
    // A mail message refused before the intake saw it (one taken before, sent
    // again): logged as the intake logs its own refusals, and only for the
    // owner's addresses.
    void refuseRepeatedMail(const QString &from, const QString &why);
    // What the receiving side learnt about the next mail message's sender.
    void setSenderEvidence(const SenderEvidence &evidence) { m_intake.senderEvidence = evidence; }
    void addTimestamp();
    bool exceededHourlyCommands(qint32 maximum) const;
    // Whether the last mail message passed the sender checks and the secret,
    // so that its Message-ID may be remembered.
    bool lastMessageTaken() const { return m_intake.lastMessageTaken; }
    // Forgets the record of commands in flight once none is still running.
    void settleCommands();
    // Logs the commands an earlier run took and never finished.
    void reportInterruptedCommands();
    // The owner at the desk (src/intake/DeskNotice.cpp): a notification for
    // every command that runs from afar, and the switch that pauses them all.
    void showCommandAtDesk(const QString &command, const QString &sender, bool byChat);
    // Store enableRemoteCommands and log who changed it (the tray menu, the
    // notification, the command line); the line for the one who asked.
    QString pauseRemoteCommands(const QString &by);
    QString resumeRemoteCommands(const QString &by);

    // Receives the 8-bit command text that parseCommand cut out, instead of
    // the command language (which runs when no handler is set).
    using CommandTextHandler = std::function<void(const QByteArray &)>;
    void setCommandTextHandler(CommandTextHandler handler) { m_commandTextHandler = std::move(handler); }

    // Replies.
    void prepareAndSendMessage(const QString &text, const QString &ccAddress, const QString &path);
    void sendMessageWithContents(const QString &text, const QString &ccAddress, const QString &path);
    static QString formatMessage(const QString &text, qint32 width);
    void sendChatWithMessage(const QString &text, const QString &ccAddress, const QString &path);
    void executeDelayedChat();

    // Chat script installer: the settings window's account fields and button.
    bool createChatScript();
    void forceChatScript();
    void controlTextDidChange(ChatAccountField field);
    void controlTextDidEndEditing(ChatAccountField field);
    QString chatScriptPath() const;

    // File search and confirmation codes.
    void findFilename(const QString &term, const QString &ccAddress);
    void findContents(const QString &term, const QString &ccAddress);
    void launchQueryforFilename(const QString &term);
    void launchQueryforContent(const QString &term);
    void queryDone(const QList<SearchHit> &hits);
    void processQueryResults();
    qint32 getConfirmationNumber();
    static QString fileSizeDescription(const QString &path);
    void confirmCommand(const QString &code);
    // What a code from the owner would do now, in the owner's words; "nothing" when no code is awaited.
    QString describeCodeAwaited() const;
    // The query texts the two searches run, built from the current settings.
    QString filenameQueryText(const QString &pattern) const;
    QString contentQueryText(const QString &term) const;

    // Faxing, application launch, mail check and schedule.
    void findFileForFaxing(const QString &term, const QString &number);
    void findContentsForFaxing(const QString &term, const QString &number);
    void faxDocument(const QString &path, const QString &number);
    // The fax queue titles for the settings window's pop-up menu.
    QStringList getModemArray();
    const QStringList &faxModemTitles() const { return m_fax.modemTitles; }
    // Stores the queue of the title picked in that menu.
    void faxModemChanged(const QString &selectedTitle);
    void launchiTunes();
    void launchiPhoto();
    void launchiChat();
    void checkEmailWithCcTo(const QString &ccAddress);
    void getScheduleForDay(const QString &day, const QString &month, const QString &year);

private:
    void launchCompanion(const QString &applicationName);

public:
    // Command language: a recognised command goes to its member above or
    // below through the handler table (app/CommandHandlers.cpp).
    void runCommand(const CommandCall &call) override;
    void reportSyntaxError() override;
    void writeConsoleLine(const QString &line) override;

    // Camera, snapshots and the motion watch (src/camera/).
    void takeSnapshotAndEmailTo(const QString &ccAddress);
    void startPreview();
    QImage grabCameraSnapshot();
    void emailSnapshot();
    void changeiSightCheckbox();
    void changeMotionCheckbox();
    void compareMotion();
    // Runs the checkbox actions for switches whose stored value changed.
    void cameraPreferencesChanged();
    RBMovieView *movieView();
    MotionDetection &motionDetector() { return *m_camera.motionDetector; }
    QImage currentSnapshot() const { return m_camera.currentSnapshot; }
    void setCurrentSnapshot(const QImage &image) { m_camera.currentSnapshot = image; }

    // Custom commands and the shortcut library (src/custom/).
    void customCommand(const QString &name);
    void executeLastCustomCommand();
    void loadLibraryFromPrefs();
    // Loads the stored library when it differs from the one last loaded.
    void takeUpStoredLibrary();
    // The stored form of the library; none when there is no library.
    std::optional<QVariantList> dictArrayFromShortcuts() const;
    const QList<Shortcut> &libraryArray() const;
    void setLibraryArray(const QList<Shortcut> &library) { m_custom.libraryArray = library; }

    // Activity log.
    bool logData() const;
    void addLogEntry(const QString &text);
    // Entries added from now on are held and written together, after the
    // reply, once the command that follows has settled (or after
    // HeldLogLimit): the log's whole-file writes stay off the road from the
    // message to its answer. releaseLogWhenSettled() writes them at once
    // when no command was taken or it already finished.
    void holdLogUntilSettled();
    void releaseLogWhenSettled();
    void writeHeldLog();
    QString applicationSupportFolder() const;
    void openLog();

    // Accessors.
    QString cmdAddress() const { return m_intake.cmdAddress; }
    QString cmdMessageId() const { return m_intake.cmdMessageId; }
    // A new destination drops the id of the command before: an answer
    // threads only under the message it answers.
    void setCmdAddress(const QString &address, const QString &messageId = QString());
    bool messageFromPhone() const { return m_intake.messageFromPhone; }
    const QList<QDateTime> &commandTimestamps() const { return m_intake.commandTimestamps; }
    const CommandSeen &lastCommandSeen() const { return m_intake.lastCommandSeen; }
    QString lastCCAddress() const { return m_search.lastCCAddress; }
    void setLastCCAddress(const QString &address);
    QString lastCommand() const { return m_search.lastCommand; }
    void setLastCommand(const QString &command) { m_search.lastCommand = command; }
    qint32 lastConfirmationNumber() const { return m_search.lastConfirmationNumber; }
    void setLastConfirmationNumber(qint32 number) { m_search.lastConfirmationNumber = number; }
    const QList<QueryResult> &queryResults() const { return m_search.queryResults; }
    QString lastFaxNumber() const { return m_fax.lastFaxNumber; }
    void setLastFaxNumber(const QString &number) { m_fax.lastFaxNumber = number; }
    QString lastPath() const { return m_custom.lastPath; }
    void setLastPath(const QString &path) { m_custom.lastPath = path; }
    QColor stampColor() const { return m_camera.stampColor; }
    void setStampColor(const QColor &color) { m_camera.stampColor = color; }

    // Message table and templates.
    QString localized(const QString &key) const;
    QString localized(const QString &key, const QVariantList &arguments) const;
    QString wendleString(const QString &key) const;

private:
    // Adds the entry only while logging is on.
    void log(const QString &text);
    void reportScriptFailure(const QString &script, const QString &fallbackFormat, const QString &fallbackArgument);
    void runLanguage(const QByteArray &command);
    void refuseMail(const QString &from, const QString &why);
    void acceptCommand(const QString &lowered, const QString &logEntry, const QString &replyAddress, const QString &messageId,
                       const QString &sender);
    QString switchRemoteCommands(bool enabled, const QString &by);
    void answerUnder(const QString &messageId, const std::function<void()> &answer);
    bool commandStillRunning() const;
    void tearDownSearch();
    void startSearch(const QString &term, const QString &queryText, const QString &homeLogKey, const QString &logKey);
    qint64 searchSizeBound() const;
    int listLength() const;
    void runCustomScript(const QString &path);
    void answerCustomScript(const QString &path, const ScriptResult &result);
    void answerCustomCommand(const QString &text);
    void commandFinished();
    void showHelpPage(const QString &page);
    void launchCamera();
    void takeUpStoredStampColor();
    void shutDownCamera();
    void startMotionTimer();
    void stopMotionWatch();
    void scheduleCameraRetry();
    void retryCamera();
    void cameraReturned();
    void stopCameraRetry();
    void mailMotionAlert(QImage frame);
    bool writeSnapshotFile(const QImage &picture, QString *path);

    Platform m_platform;
    IntakeState m_intake;
    PendingChatReply m_chat;
    SearchState m_search;
    FaxState m_fax;
    CustomCommandState m_custom;
    ChatSettingsState m_chatSettings;
    CameraState m_camera;
    CommandTextHandler m_commandTextHandler;
    HeldLog m_heldLog;
    RemoteLogCap m_remoteLog;
    RemoteLogCap m_strangerConsole; // the same cap, for console lines about strangers
};

} // namespace wendle
