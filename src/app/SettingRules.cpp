#include "app/SettingRules.h"

#include "operations/Launch.h"

#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include <algorithm>

namespace wendle {

namespace {

enum class Rule { Any, NonNegative, Positive, Fraction, SmtpUrl, ImapUrl, MailTransport, ChatTransport, ReadableFile };

struct Described {
    const char *description;
    Rule rule = Rule::Any;
};

const QHash<QString, Described> &descriptions()
{
    static const QHash<QString, Described> table = {
        {RBComputerEmailAddress, {"the address replies are sent from"}},
        {RBRemoteEmailAddress, {"the owner's address: mail from it may give commands"}},
        {RBEnableRemoteCommands, {"take commands at all"}},
        {RBDefaultSalutation, {"the line that closes every mailed reply"}},
        {RBPhoneEmailAddress, {"the phone's mail address: may give commands, gets replies wrapped to the phone"}},
        {RBDefaultFaxModem, {"the CUPS queue faxes go through"}},
        {RBEnableFaxing, {"allow the fax command"}},
        {RBPhoneWidth, {"characters per line of a reply to the phone", Rule::Positive}},
        {RBPhoneHeight, {"lines per screen of a reply to the phone", Rule::Positive}},
        {RBLogData, {"write the activity log (wendle.log)"}},
        {RBDoNotForwardFlag, {"never mail files larger than maxFileSize"}},
        {RBConfirmForwardFlag, {"ask for a confirmation code before mailing a found file"}},
        {RBLimitSearchFlag, {"search only the home folder"}},
        {RBLimitCommandsFlag, {"hold commands to maxCommandsPerHour"}},
        {RBMaxFileSize, {"largest file, in megabytes, that is mailed", Rule::NonNegative}},
        {RBMaxFilesReturned, {"lines of a result list (5 to 20; other values count as 5)", Rule::NonNegative}},
        {RBMaxCommandsPerHour, {"commands taken per hour when limitCommandsFlag is on", Rule::NonNegative}},
        {RBCustomCommands, {"the library of custom commands: a JSON array of {path, shortcut}"}},
        {RBSearchDocuments, {"searches include documents"}},
        {RBSearchImages, {"searches include images"}},
        {RBSearchEmails, {"searches include stored mail"}},
        {RBSearchArchives, {"searches include archives"}},
        {RBSearchDiskImages, {"searches include disk images"}},
        {RBSearchApplications, {"searches include applications"}},
        {RBSearchClippings, {"searches include clippings"}},
        {RBSearchScripts, {"searches include scripts"}},
        {RBSearchAudios, {"searches include audio files"}},
        {RBSearchVideos, {"searches include videos"}},
        {RBFirstTimeLaunching, {"show the configuration help at the next start"}},
        {RBConfirmCustomCommands, {"ask for a confirmation code before running a custom command"}},
        {RBiSightQuality, {"JPEG quality of snapshots, 0 to 1", Rule::Fraction}},
        {RBEnableiSightMotion, {"watch the camera for motion"}},
        {RBiSightSensitivity, {"seconds between two motion checks", Rule::Positive}},
        {RBiSightStampColor, {"colour of the date stamped on snapshots"}},
        {RBEnableiSight, {"allow the camera"}},
        {RBiSightDateStamp, {"stamp the date on snapshots"}},
        {RBSplitLongMessages, {"split long replies to the phone into several messages"}},
        {RBLimitNotificationFlag, {"tell the sender when the hourly limit refuses a command"}},
        {RBRemoteChatAddress, {"the owner's chat address: chats from it may give commands"}},
        {RBHostChatAddress, {"the chat account Wendle uses"}},
        {RBMailTransport, {"how replies are mailed", Rule::MailTransport}},
        {RBChatTransport, {"how chat replies are sent", Rule::ChatTransport}},
        {RBScriptHostCommand, {"the program the generated scripts are piped to by the script transports"}},
        {RBCustomCommandTimeout, {"seconds a custom command may run before it is stopped", Rule::Positive}},
        {RBMusicApplication, {"the desktop entry or program opened by \"wndl itunes\""}},
        {RBPhotoApplication, {"the desktop entry or program opened by \"wndl iphoto\""}},
        {RBChatApplication, {"the desktop entry or program opened by \"wndl ichat\""}},
        {RBSmtpUrl, {"the SMTP server replies go through", Rule::SmtpUrl}},
        {RBSmtpUser, {"the SMTP login name (none when empty)"}},
        {RBSmtpPasswordCommand, {"a command that prints the SMTP password (~ and $HOME expand)"}},
        {RBImapUrl, {"the IMAP mailbox commands are fetched from", Rule::ImapUrl}},
        {RBImapUser, {"the IMAP login name"}},
        {RBImapPasswordCommand, {"a command that prints the IMAP password (~ and $HOME expand)"}},
        {RBImapFolder, {"the IMAP folder commands are fetched from (the URL's folder when empty)"}},
        {RBImapPollSeconds, {"seconds between two looks at the mailbox when the server cannot IDLE", Rule::Positive}},
        {RBMailTrustedCertificate, {"a PEM certificate trusted for IMAP and SMTP beside the system's", Rule::ReadableFile}},
    };
    return table;
}

Rule ruleOf(const QString &key)
{
    return descriptions().value(key).rule;
}

QString checkUrl(const QString &text, const QString &plain)
{
    if (text.isEmpty())
        return QString(); // empty turns the road off
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() && (scheme == plain || scheme == plain + u's'))
        return QString();
    return QStringLiteral("expected a %1:// or %1s:// address with a host, such as %1s://mail.example.com").arg(plain);
}

int editDistance(const QString &a, const QString &b)
{
    QList<int> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

QString settingDescription(const QString &key)
{
    const auto it = descriptions().constFind(key);
    return it == descriptions().cend() ? QString() : QString::fromUtf8(it->description);
}

QString settingTypeName(SettingType type)
{
    switch (type) {
    case SettingType::Boolean:
        return QStringLiteral("boolean");
    case SettingType::Integer:
        return QStringLiteral("integer");
    case SettingType::Float:
        return QStringLiteral("number");
    case SettingType::String:
        return QStringLiteral("text");
    case SettingType::ArgumentVector:
        return QStringLiteral("command line");
    case SettingType::Color:
        return QStringLiteral("colour");
    case SettingType::Dictionaries:
        return QStringLiteral("JSON array");
    }
    return QString();
}

QString settingAllowedValues(const QString &key)
{
    switch (ruleOf(key)) {
    case Rule::Any:
        return QString();
    case Rule::NonNegative:
        return QStringLiteral("0 or more");
    case Rule::Positive:
        return QStringLiteral("more than 0");
    case Rule::Fraction:
        return QStringLiteral("0 to 1");
    case Rule::SmtpUrl:
        return QStringLiteral("smtp:// or smtps:// address, or empty");
    case Rule::ImapUrl:
        return QStringLiteral("imap:// or imaps:// address, or empty");
    case Rule::MailTransport:
        return QStringLiteral("outbox, smtp or script");
    case Rule::ChatTransport:
        return QStringLiteral("outbox, script or xmpp");
    case Rule::ReadableFile:
        return QStringLiteral("a readable file, or empty");
    }
    return QString();
}

QString checkSettingValue(const QString &key, const QVariant &value)
{
    const Rule rule = ruleOf(key);
    switch (rule) {
    case Rule::Any:
        return QString();
    case Rule::NonNegative:
    case Rule::Positive:
    case Rule::Fraction: {
        const double number = value.toDouble();
        const bool fits = rule == Rule::NonNegative ? number >= 0 : rule == Rule::Positive ? number > 0 : number >= 0 && number <= 1;
        return fits ? QString() : QStringLiteral("expected ") + settingAllowedValues(key);
    }
    case Rule::SmtpUrl:
        return checkUrl(value.toString().trimmed(), QStringLiteral("smtp"));
    case Rule::ImapUrl:
        return checkUrl(value.toString().trimmed(), QStringLiteral("imap"));
    case Rule::MailTransport:
    case Rule::ChatTransport: {
        const QStringList names = rule == Rule::MailTransport
            ? QStringList{QStringLiteral("outbox"), QStringLiteral("smtp"), QStringLiteral("script")}
            : QStringList{QStringLiteral("outbox"), QStringLiteral("script"), QStringLiteral("xmpp")};
        return names.contains(value.toString().trimmed()) ? QString() : QStringLiteral("expected ") + settingAllowedValues(key);
    }
    case Rule::ReadableFile: {
        const QFileInfo file(value.toString().trimmed());
        return file.filePath().isEmpty() || (file.isFile() && file.isReadable()) ? QString()
                                                                                 : QStringLiteral("expected ") + settingAllowedValues(key);
    }
    }
    return QString();
}

QStringList similarSettingKeys(const QString &key)
{
    QList<QPair<int, QString>> scored;
    const QString lowered = key.toLower();
    for (const SettingInfo &info : knownSettings()) {
        const QString candidate = info.key.toLower();
        // A third of the name may be wrong; a fragment of a name counts too.
        const int distance = editDistance(lowered, candidate);
        if (distance <= std::max<qsizetype>(2, candidate.size() / 3) || (lowered.size() >= 4 && candidate.contains(lowered)))
            scored.append({distance, info.key});
    }
    std::sort(scored.begin(), scored.end());
    QStringList keys;
    for (const auto &entry : scored.mid(0, 3))
        keys << entry.second;
    return keys;
}

} // namespace wendle
