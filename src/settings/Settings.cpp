#include "settings/Settings.h"

#include "intake/SenderChecks.h"
#include "intake/SignedCommands.h"
#include "operations/Launch.h"
#include "platform/chat/ChatTransports.h"
#include "platform/preferences/Preferences.h"
#include "platform/scripthost/ScriptHost.h"

namespace wendle {

namespace {

QVariantList stockQuoteLibrary()
{
    return {QVariantMap{{QStringLiteral("path"), QStringLiteral("/Applications/Wendle/Scripts/Stock Quote.scpt")},
                        {QStringLiteral("shortcut"), QStringLiteral("stk")}}};
}

} // namespace

// The registered rows come first, in the order the application registers
// them; the rest follow by subsystem.
const QList<SettingInfo> &knownSettings()
{
    using T = SettingType;
    using R = SettingRule;
    constexpr DefaultSource Registered = DefaultSource::Registered, Adapter = DefaultSource::Adapter, Implied = DefaultSource::Implied;
    const QString none = QStringLiteral("");
    // A table, one row per line.
    // clang-format off
    static const QList<SettingInfo> settings = {
        {RBComputerEmailAddress, T::String, QStringLiteral("computer@example.com"), Registered, "computer", "the address replies are sent from"},
        {RBRemoteEmailAddress, T::String, QStringLiteral("owner@example.com"), Registered, "ped", "the owner's address: mail from it may give commands", {R::MailAddress}},
        {RBEnableRemoteCommands, T::Boolean, true, Registered, "ped", "take commands at all: off, every command is dropped unanswered"},
        {RBDefaultSalutation, T::String, QStringLiteral("Sent by Wendle!   -Tavo"), Registered, "computer", "the line that closes every mailed reply"},
        {RBPhoneEmailAddress, T::String, QStringLiteral("5551234567@txt.example.com"), Registered, "ped",
         "the phone's mail address: may give commands, gets replies wrapped to the phone", {R::MailAddress}},
        {RBDefaultFaxModem, T::String, QStringLiteral("Internal_Modem"), Registered, "computer", "the CUPS queue faxes go through"},
        {RBEnableFaxing, T::Boolean, true, Registered, "computer", "allow the fax command (stored only; has no effect yet)"},
        {RBPhoneWidth, T::Integer, 20, Registered, "ped", "characters per line of a reply to the phone", {R::Positive}},
        {RBPhoneHeight, T::Integer, 12, Registered, "ped", "lines per screen of a reply to the phone", {R::Positive}},
        {RBLogData, T::Boolean, true, Registered, "computer", "write the activity log (wendle.log)"},
        {RBDoNotForwardFlag, T::Boolean, true, Registered, "sec", "send result lists to the sender only, without the copy address"},
        {RBConfirmForwardFlag, T::Boolean, true, Registered, "sec", "ask for a confirmation code before mailing a found file (stored only; has no effect yet)"},
        {RBLimitSearchFlag, T::Boolean, true, Registered, "sec", "search only the home folder"},
        {RBLimitCommandsFlag, T::Boolean, true, Registered, "sec", "hold commands to maxCommandsPerHour"},
        {RBMaxFileSize, T::Integer, 4, Registered, "sec", "largest file, in megabytes, that is mailed", {R::NonNegative}},
        {RBMaxFilesReturned, T::Integer, 5, Registered, "sec", "lines of a result list", {R::Range, 5, 20}},
        {RBMaxCommandsPerHour, T::Integer, 5, Registered, "sec", "commands taken per hour when limitCommandsFlag is on", {R::NonNegative}},
        {RBCustomCommands, T::Dictionaries, stockQuoteLibrary(), Registered, "custom", "the library of custom commands: a JSON array of {path, shortcut}"},
        {RBSearchDocuments, T::Boolean, true, Registered, "sec", "searches include documents"},
        {RBSearchImages, T::Boolean, true, Registered, "sec", "searches include images"},
        {RBSearchEmails, T::Boolean, false, Registered, "sec", "searches include stored mail"},
        {RBSearchArchives, T::Boolean, false, Registered, "sec", "searches include archives"},
        {RBSearchDiskImages, T::Boolean, false, Registered, "sec", "searches include disk images"},
        {RBSearchApplications, T::Boolean, false, Registered, "sec", "searches include applications"},
        {RBSearchClippings, T::Boolean, false, Registered, "sec", "searches include clippings"},
        {RBSearchScripts, T::Boolean, false, Registered, "sec", "searches include scripts"},
        {RBFirstTimeLaunching, T::Boolean, true, Registered, nullptr, "show the configuration help at the next start"},
        {RBConfirmCustomCommands, T::Boolean, true, Registered, "sec", "ask for a confirmation code before running a custom command"},
        {RBiSightQuality, T::Float, 0.2, Registered, "isight", "JPEG quality of snapshots, 0 to 1", {R::Fraction}},
        {RBEnableiSightMotion, T::Boolean, false, Registered, "isight", "watch the camera for motion"},
        // One check every this many seconds; the motion thresholds follow it up
        // to 10 and stay there for slower watches.
        {RBiSightSensitivity, T::Float, 1.5, Registered, "isight", "seconds between two motion checks", {R::Range, 0.1, 3600}},
        {RBiSightStampColor, T::Color, QStringLiteral("#00ff00"), Registered, "isight", "colour of the date stamped on snapshots"},

        {RBEnableiSight, T::Boolean, false, Implied, "isight", "allow the camera"},
        {RBiSightDateStamp, T::Boolean, false, Implied, "isight", "stamp the date on snapshots"},
        {RBSplitLongMessages, T::Boolean, false, Implied, "ped", "split long replies to the phone into several messages"},
        {RBLimitNotificationFlag, T::Boolean, false, Implied, "sec", "tell the sender when the hourly limit refuses a command"},
        {RBSearchAudios, T::Boolean, false, Implied, "sec", "searches include audio files"},
        {RBSearchVideos, T::Boolean, false, Implied, "sec", "searches include videos"},
        {RBRemoteChatAddress, T::String, none, Implied, "chat", "the owner's chat address: chats from it may give commands"},
        {RBHostChatAddress, T::String, none, Implied, "chat", "the chat account Wendle uses"},
        {RBMailTransport, T::String, QString::fromLatin1(MailTransports.front().name), Adapter, "computer", "how replies are mailed", {R::MailTransport}},
        {RBChatTransport, T::String, QString::fromLatin1(ChatTransports.front().name), Adapter, "chat", "how chat replies are sent", {R::ChatTransport}},
        {RBScriptHostCommand, T::ArgumentVector, defaultScriptHostCommand(), Adapter, "computer",
         "the program the generated scripts are piped to by the script transports"},
        // Later commands wait for a running script, and a mail command should be
        // answered while `wendle deliver` still waits for Wendle (120 s).
        {RBCustomCommandTimeout, T::Integer, 60, Adapter, "custom", "seconds a custom command may run before it is stopped",
         {R::Range, 1, 110, "seconds, under the 120 seconds wendle deliver waits for Wendle"}},
        {RBMusicApplication, T::String, none, Implied, "computer", "the desktop entry or program opened by \"wndl itunes\" (the desktop's choice when empty)"},
        {RBPhotoApplication, T::String, none, Implied, "computer", "the desktop entry or program opened by \"wndl iphoto\" (the desktop's choice when empty)"},
        {RBChatApplication, T::String, none, Implied, "computer", "the desktop entry or program opened by \"wndl ichat\" (the desktop's choice when empty)"},

        {RBSmtpUrl, T::String, none, Implied, "computer", "the SMTP server replies go through", {R::SmtpUrl}},
        {RBSmtpUser, T::String, none, Implied, "computer", "the SMTP login name (none when empty)"},
        {RBSmtpPasswordCommand, T::ArgumentVector, QStringList(), Implied, "computer", "a command that prints the SMTP password (~ and $HOME expand)"},
        {RBImapUrl, T::String, none, Implied, "computer", "the IMAP mailbox commands are fetched from", {R::ImapUrl}},
        {RBImapUser, T::String, none, Implied, "computer", "the IMAP login name"},
        {RBImapPasswordCommand, T::ArgumentVector, QStringList(), Implied, "computer", "a command that prints the IMAP password (~ and $HOME expand)"},
        {RBImapPollSeconds, T::Integer, 60, Adapter, "computer", "seconds between two looks at the mailbox when the server cannot IDLE", {R::Positive}},
        {RBImapFolder, T::String, none, Implied, nullptr, "the IMAP folder commands are fetched from (the URL's folder when empty)"},
        {RBMailTrustedCertificate, T::String, none, Implied, "computer", "a PEM certificate trusted beside the system's for the IMAP and SMTP servers", {R::ReadableFile}},

        {RBStrictSenderMatch, T::Boolean, false, Implied, "sec",
         "a mail command's sender address must be a configured address itself, not merely contain one", {R::Tightens}},
        {RBRequireAuthenticatedSender, T::Boolean, false, Implied, "sec",
         "a mail command needs an Authentication-Results header from authservId showing dkim=pass or spf=pass", {R::Tightens}},
        {RBAuthservId, T::String, none, Implied, "sec", "the name your mail server signs its Authentication-Results headers with"},
        {RBCommandSecret, T::String, none, Implied, "sec", "a word that must follow wndl in every command (none when empty)", {R::OneWord}},
        {RBRequireSignedCommands, T::Boolean, false, Implied, "sec",
         "a mail command runs only when OpenPGP-signed by a key of ownerKeyFingerprints; only the signed text is taken", {R::Tightens}},
        {RBOwnerKeyFingerprints, T::String, none, Implied, "sec",
         "the fingerprints of the owner's OpenPGP keys, which must be in the GnuPG keyring", {R::KeyFingerprints}},
        {RBEncryptReplies, T::Boolean, false, Implied, "sec",
         "every mailed reply goes encrypted (PGP/MIME) to the keys of ownerKeyFingerprints, or not at all", {R::Tightens}},
        {RBMaxCommandAgeMinutes, T::Integer, 0, Implied, "sec",
         "minutes a mail command may be old, by its signature or else its Date header (0: any age)", {R::NonNegative}},

        {RBHostChatPasswordCommand, T::ArgumentVector, QStringList(), Implied, "chat",
         "a command that prints the password of hostChatAddress for the xmpp transport (~ and $HOME expand)"},
        {RBHostChatServer, T::String, none, Implied, "chat", "the XMPP server as host[:port] (found from hostChatAddress when empty)"},
        {RBChatTrustedCertificate, T::String, none, Implied, "chat", "a PEM certificate trusted beside the system's for the XMPP server"},
        {RBMcabberFifo, T::String, QStringLiteral("~/.mcabber/mcabber.fifo"), Adapter, "chat",
         "mcabber's command FIFO (its fifo_name) the mcabber transport writes replies into (~ expands)"},

        {RBNotifyOnRemoteCommands, T::Boolean, true, Adapter, "ped",
         "show a desktop notification for every command from afar, with a button that pauses remote commands"},

        {RBCameraSource, T::String, QStringLiteral("v4l2src"), Adapter, "isight", "the GStreamer source the camera is read from, such as v4l2src device=/dev/video2"},
        {RBMotionAlertFlag, T::Boolean, false, Adapter, "isight", "mail remoteEmailAddress a picture when the motion watch sees motion"},
        {RBMotionAlertInterval, T::Integer, 300, Adapter, "isight", "least seconds between two motion alert mails", {R::NonNegative}},
    };
    // clang-format on
    return settings;
}

const SettingInfo *findSetting(const QString &key)
{
    for (const SettingInfo &info : knownSettings()) {
        if (info.key == key)
            return &info;
    }
    return nullptr;
}

QList<QPair<QString, QVariant>> registeredDefaults()
{
    QList<QPair<QString, QVariant>> table;
    for (const SettingInfo &info : knownSettings()) {
        if (info.source == DefaultSource::Registered)
            table.append({info.key, info.defaultValue});
    }
    return table;
}

QVariantMap adapterDefaults()
{
    QVariantMap table;
    for (const SettingInfo &info : knownSettings()) {
        if (info.source == DefaultSource::Adapter)
            table.insert(info.key, info.defaultValue);
    }
    return table;
}

void registerSettingDefaults(Preferences &preferences)
{
    QVariantMap table;
    for (const auto &[key, value] : registeredDefaults())
        table.insert(key, value);
    preferences.registerDefaults(table);
    preferences.registerDefaults(adapterDefaults());
}

} // namespace wendle
