#include "app/Settings.h"

#include "intake/SenderChecks.h"
#include "operations/Launch.h"
#include "platform/scripthost/ScriptHost.h"

#include <QColor>

namespace wendle {

QByteArray archiveColor(const QColor &color)
{
    if (!color.isValid())
        return {};
    return color.name(QColor::HexArgb).toLatin1();
}

bool unarchiveColor(const QVariant &data, QColor *color)
{
    if (!data.isValid())
        return false;
    const QString text = QString::fromLatin1(data.toByteArray()).trimmed();
    if (text.size() != 9 || !text.startsWith(u'#'))
        return false;
    const QColor decoded = QColor::fromString(text);
    if (!decoded.isValid())
        return false;
    *color = decoded;
    return true;
}

QList<QPair<QString, QVariant>> registeredDefaults()
{
    const QVariantMap stockQuote{
        {QStringLiteral("path"), QStringLiteral("/Applications/Wendle/Scripts/Stock Quote.scpt")},
        {QStringLiteral("shortcut"), QStringLiteral("stk")}};
    QList<QPair<QString, QVariant>> table = {
        {RBComputerEmailAddress, QStringLiteral("computer@example.com")},
        {RBRemoteEmailAddress, QStringLiteral("owner@example.com")},
        {RBEnableRemoteCommands, true},
        {RBDefaultSalutation, QStringLiteral("Sent by Wendle!   -Tavo")},
        {RBPhoneEmailAddress, QStringLiteral("5551234567@txt.example.com")},
        {RBDefaultFaxModem, QStringLiteral("Internal_Modem")},
        {RBEnableFaxing, true},
        {RBPhoneWidth, 20},
        {RBPhoneHeight, 12},
        {RBLogData, true},
        {RBDoNotForwardFlag, true},
        {RBConfirmForwardFlag, true},
        {RBLimitSearchFlag, true},
        {RBLimitCommandsFlag, true},
        {RBMaxFileSize, 4},
        {RBMaxFilesReturned, 5},
        {RBMaxCommandsPerHour, 5},
        {RBCustomCommands, QVariantList{stockQuote}},
        {RBSearchDocuments, true},
        {RBSearchImages, true},
        {RBSearchEmails, false},
        {RBSearchArchives, false},
        {RBSearchDiskImages, false},
        {RBSearchApplications, false},
        {RBSearchClippings, false},
        {RBSearchScripts, false},
        {RBFirstTimeLaunching, true},
        {RBConfirmCustomCommands, true},
        {RBiSightQuality, 0.2},
        {RBEnableiSightMotion, false},
        {RBiSightSensitivity, 1.5},
    };
    const QByteArray green = archiveColor(QColor::fromRgbF(0, 1, 0, 1));
    if (!green.isEmpty())
        table.append({RBiSightStampColor, green});
    return table;
}

QVariantMap adapterDefaults()
{
    return {{RBMailTransport, QStringLiteral("outbox")},
            {RBChatTransport, QStringLiteral("outbox")},
            {RBScriptHostCommand, defaultScriptHostCommand()},
            {RBCustomCommandTimeout, 60},
            {RBImapPollSeconds, 60},
            {RBMailTrustedCertificate, QString()},
            {RBCameraSource, QStringLiteral("v4l2src")},
            {RBMotionAlertFlag, false},
            {RBMotionAlertInterval, 300}};
}

const QList<SettingInfo> &knownSettings()
{
    using T = SettingType;
    static const QList<SettingInfo> settings = {
        {RBComputerEmailAddress, T::String}, {RBRemoteEmailAddress, T::String},
        {RBEnableRemoteCommands, T::Boolean}, {RBDefaultSalutation, T::String},
        {RBPhoneEmailAddress, T::String},    {RBDefaultFaxModem, T::String},
        {RBEnableFaxing, T::Boolean},        {RBPhoneWidth, T::Integer},
        {RBPhoneHeight, T::Integer},         {RBLogData, T::Boolean},
        {RBDoNotForwardFlag, T::Boolean},    {RBConfirmForwardFlag, T::Boolean},
        {RBLimitSearchFlag, T::Boolean},     {RBLimitCommandsFlag, T::Boolean},
        {RBMaxFileSize, T::Integer},         {RBMaxFilesReturned, T::Integer},
        {RBMaxCommandsPerHour, T::Integer},  {RBCustomCommands, T::Dictionaries},
        {RBSearchDocuments, T::Boolean},     {RBSearchImages, T::Boolean},
        {RBSearchEmails, T::Boolean},        {RBSearchArchives, T::Boolean},
        {RBSearchDiskImages, T::Boolean},    {RBSearchApplications, T::Boolean},
        {RBSearchClippings, T::Boolean},     {RBSearchScripts, T::Boolean},
        {RBFirstTimeLaunching, T::Boolean},  {RBConfirmCustomCommands, T::Boolean},
        {RBiSightQuality, T::Float},         {RBEnableiSightMotion, T::Boolean},
        {RBiSightSensitivity, T::Float},     {RBiSightStampColor, T::Color},
        {RBEnableiSight, T::Boolean},        {RBiSightDateStamp, T::Boolean},
        {RBSplitLongMessages, T::Boolean},   {RBLimitNotificationFlag, T::Boolean},
        {RBSearchAudios, T::Boolean},        {RBSearchVideos, T::Boolean},
        {RBRemoteChatAddress, T::String},    {RBHostChatAddress, T::String},
        {RBMailTransport, T::String},        {RBChatTransport, T::String},
        {RBScriptHostCommand, T::ArgumentVector},
        {RBCustomCommandTimeout, T::Integer},
        {RBMusicApplication, T::String},     {RBPhotoApplication, T::String},
        {RBChatApplication, T::String},
        {RBSmtpUrl, T::String},              {RBSmtpUser, T::String},
        {RBSmtpPasswordCommand, T::ArgumentVector},
        {RBImapUrl, T::String},              {RBImapUser, T::String},
        {RBImapPasswordCommand, T::ArgumentVector},
        {RBImapPollSeconds, T::Integer},
        {RBImapFolder, T::String},
        {RBMailTrustedCertificate, T::String},
        {RBStrictSenderMatch, T::Boolean},   {RBRequireAuthenticatedSender, T::Boolean},
        {RBAuthservId, T::String},           {RBCommandSecret, T::String},
        {RBHostChatPasswordCommand, T::ArgumentVector},
        {RBHostChatServer, T::String},       {RBChatTrustedCertificate, T::String},
        {RBCameraSource, T::String},         {RBMotionAlertFlag, T::Boolean},
        {RBMotionAlertInterval, T::Integer},
    };
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

} // namespace wendle
