#pragma once

#include "platform/chat/ChatSettingKeys.h"
#include "platform/mail/MailTransports.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <limits>

namespace wendle {

class Preferences;

// Preference keys (the chat adapters' own are in ChatSettingKeys.h, the mail
// adapters' choice in MailTransports.h). The
// registered ones get their defaults from registeredDefaults(); the others
// read NO or absent until the owner sets them.
inline constexpr const char *RBComputerEmailAddress = "computerEmailAddress";
inline constexpr const char *RBRemoteEmailAddress = "remoteEmailAddress";
inline constexpr const char *RBEnableRemoteCommands = "enableRemoteCommands";
inline constexpr const char *RBDefaultSalutation = "defaultSalutation";
inline constexpr const char *RBPhoneEmailAddress = "phoneEmailAddress";
inline constexpr const char *RBDefaultFaxModem = "defaultFaxModem";
inline constexpr const char *RBEnableFaxing = "enableFaxing";
inline constexpr const char *RBPhoneWidth = "phoneWidth";
inline constexpr const char *RBPhoneHeight = "phoneHeight";
inline constexpr const char *RBLogData = "logData";
inline constexpr const char *RBDoNotForwardFlag = "doNotForwardFlag";
inline constexpr const char *RBConfirmForwardFlag = "confirmForwardFlag";
inline constexpr const char *RBLimitSearchFlag = "limitSearchFlag";
inline constexpr const char *RBLimitCommandsFlag = "limitCommandsFlag";
inline constexpr const char *RBMaxFileSize = "maxFileSize";
inline constexpr const char *RBMaxFilesReturned = "maxFilesReturned";
inline constexpr const char *RBMaxCommandsPerHour = "maxCommandsPerHour";
inline constexpr const char *RBCustomCommands = "customCommandsArray";
inline constexpr const char *RBSearchDocuments = "searchDocuments";
inline constexpr const char *RBSearchImages = "searchImages";
inline constexpr const char *RBSearchEmails = "searchEmails";
inline constexpr const char *RBSearchArchives = "searchArchives";
inline constexpr const char *RBSearchDiskImages = "searchDiskImages";
inline constexpr const char *RBSearchApplications = "searchApplications";
inline constexpr const char *RBSearchClippings = "searchClippings";
inline constexpr const char *RBSearchScripts = "searchScripts";
inline constexpr const char *RBFirstTimeLaunching = "firstTimeLaunching";
inline constexpr const char *RBConfirmCustomCommands = "confirmCustomCommands";
inline constexpr const char *RBiSightQuality = "iSightQuality";
inline constexpr const char *RBEnableiSightMotion = "enableiSightMotion";
inline constexpr const char *RBiSightSensitivity = "iSightSensitivity";
inline constexpr const char *RBiSightStampColor = "iSightStampColor";

inline constexpr const char *RBEnableiSight = "enableiSight";
inline constexpr const char *RBiSightDateStamp = "iSightDateStamp";
inline constexpr const char *RBSplitLongMessages = "splitLongMessages";
inline constexpr const char *RBLimitNotificationFlag = "limitNotificationFlag";
inline constexpr const char *RBSearchAudios = "searchAudios";
inline constexpr const char *RBSearchVideos = "searchVideos";

// How Wendle reaches the desktop services on Linux.
inline constexpr const char *RBScriptHostCommand = "scriptHostCommand";
// Seconds a custom script may run before it is stopped.
inline constexpr const char *RBCustomCommandTimeout = "customCommandTimeout";
// The owner's mail account: replies by SMTP, commands fetched by IMAP. The
// password commands print the password, so none sits in the settings file.
inline constexpr const char *RBSmtpUrl = "smtpUrl";
inline constexpr const char *RBSmtpUser = "smtpUser";
inline constexpr const char *RBSmtpPasswordCommand = "smtpPasswordCommand";
inline constexpr const char *RBImapUrl = "imapUrl";
inline constexpr const char *RBImapUser = "imapUser";
inline constexpr const char *RBImapPasswordCommand = "imapPasswordCommand";
inline constexpr const char *RBImapPollSeconds = "imapPollSeconds";
// The folder commands are fetched from instead of the URL's (a mail filter may sort them there).
inline constexpr const char *RBImapFolder = "imapFolder";
// A PEM certificate trusted for IMAP and SMTP beside the system's store (a
// server with a certificate of its own).
inline constexpr const char *RBMailTrustedCertificate = "mailTrustedCertificate";
// The owner at the desk sees every command that came from afar, with a
// button that pauses remote commands (enableRemoteCommands off).
inline constexpr const char *RBNotifyOnRemoteCommands = "notifyOnRemoteCommands";
// The camera: a GStreamer source description, and the mail sent on motion
// (at most one per interval, in seconds).
inline constexpr const char *RBCameraSource = "cameraSource";
inline constexpr const char *RBMotionAlertFlag = "motionAlertFlag";
inline constexpr const char *RBMotionAlertInterval = "motionAlertInterval";

enum class SettingType { Boolean, Integer, Float, String, ArgumentVector, Color, Dictionaries };

// What a value must be beyond its type. The numeric rules bound it (Range
// with the row's minimum and maximum); the others name a syntax.
enum class SettingRule {
    Any,
    NonNegative,
    Positive,
    Fraction,
    Range,
    SmtpUrl,
    ImapUrl,
    MailTransport,
    ChatTransport,
    MailAddress,
    OneWord,
    ReadableFile,
    KeyFingerprints,
    // a check on who may command: unreadable reads as on, never as off
    Tightens
};

// Where a key's default comes from: registered at start with the
// application's table, registered beside it by the Linux build, or only
// implied by how an absent key reads (false, empty).
enum class DefaultSource { Registered, Adapter, Implied };

struct SettingBounds {
    SettingRule rule = SettingRule::Any;
    double minimum = 0;
    double maximum = std::numeric_limits<double>::infinity();
    // Why the bounds are where they are, in a few words for the owner.
    const char *reason = nullptr;
};

// One row of the settings table: everything the config command, the
// checks on read and on set, the window, the manual and the completion
// know about a key.
struct SettingInfo {
    QString key;
    SettingType type;
    QVariant defaultValue;
    DefaultSource source;
    // The settings window tab whose control shows the key; null for keys
    // only the command line (or a dedicated control) sets.
    const char *tab;
    const char *description;
    SettingBounds bounds = {};
};

// Every key the owner can set, with its type, default, rule and meaning.
const QList<SettingInfo> &knownSettings();
const SettingInfo *findSetting(const QString &key);

// The defaults the application registers at start, in table order (32 keys).
QList<QPair<QString, QVariant>> registeredDefaults();
// The adapter settings of the Linux build, registered beside them.
QVariantMap adapterDefaults();
// Registers both with the preferences, as every process that reads them does.
void registerSettingDefaults(Preferences &preferences);

} // namespace wendle
