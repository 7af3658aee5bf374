#include "app/ConfigCommand.h"
#include "app/SettingRules.h"
#include "app/Settings.h"
#include "platform/chat/ChatAdapters.h"
#include "platform/preferences/SettingsPreferences.h"
#include "platform/scripthost/ShellWords.h"
#include "support/ControllerFixture.h"

#include <QColor>

using namespace wendle;
using namespace wendle::test;

namespace {

// `wendle config ARGUMENTS`: its exit code; what it printed goes to out and err.
int config(Preferences &prefs, const QStringList &arguments, QString *out = nullptr, QString *err = nullptr)
{
    QString ignored;
    QTextStream outStream(out ? out : &ignored), errStream(err ? err : &ignored);
    return runConfigCommand(prefs, arguments, outStream, errStream);
}

} // namespace

TEST(Settings, FreshAccountReadsRegisteredDefaultsFromTheIniFile)
{
    QTemporaryDir dir;
    SettingsPreferences prefs(dir.filePath(QStringLiteral("wendle.conf")));
    Controller::registerDefaults(prefs);
    // One value of each type; what the defaults mean, the Controller's tests show.
    EXPECT_TRUE(prefs.boolValue(RBLogData));
    EXPECT_FALSE(prefs.boolValue(RBEnableiSight));
    EXPECT_TRUE(prefs.stringValue(RBRemoteChatAddress).isNull());
    EXPECT_EQ(prefs.intValue(RBPhoneWidth), 20);
    EXPECT_DOUBLE_EQ(prefs.doubleValue(RBiSightSensitivity), 1.5);
    QColor color;
    ASSERT_TRUE(unarchiveColor(prefs.value(RBiSightStampColor), &color));
    EXPECT_EQ(color, QColor::fromRgbF(0, 1, 0, 1));

    // Another process stores a value: this one sees it at the next read.
    SettingsPreferences other(dir.filePath(QStringLiteral("wendle.conf")));
    other.setValue(RBLogData, false);
    other.setValue(RBMaxFilesReturned, 12);
    EXPECT_FALSE(prefs.boolValue(RBLogData));
    EXPECT_EQ(prefs.intValue(RBMaxFilesReturned), 12);
    other.remove(RBLogData);
    EXPECT_TRUE(prefs.boolValue(RBLogData));
}

TEST(ConfigCommand, SetReadsValuesByTheKeysType)
{
    QTemporaryDir dir;
    SettingsPreferences prefs(dir.filePath(QStringLiteral("wendle.conf")));
    Controller::registerDefaults(prefs);
    struct Case { QStringList arguments; int exitCode; QString getKey; QString shown; };
    const Case cases[] = {
        {{"set", "limitNotificationFlag", "yes"}, 0, "limitNotificationFlag", "true"},
        {{"set", "logData", "0"}, 0, "logData", "false"},
        {{"set", "logData", "maybe"}, 2, "logData", "false"},
        {{"set", "maxCommandsPerHour", "7"}, 0, "maxCommandsPerHour", "7"},
        {{"set", "maxCommandsPerHour", "seven"}, 2, "maxCommandsPerHour", "7"},
        {{"set", "iSightQuality", "0.5"}, 0, "iSightQuality", "0.5"},
        {{"set", "scriptHostCommand", "my-host --flag 'two words'"}, 0, "scriptHostCommand", "my-host --flag 'two words'"},
        {{"set", "remoteChatAddress", "me@jabber.example"}, 0, "remoteChatAddress", "me@jabber.example"},
        {{"set", "iSightStampColor", "#80ff0000"}, 0, "iSightStampColor", "#80ff0000"},
        {{"set", "noSuchKey", "1"}, 2, "maxCommandsPerHour", "7"},
        {{"set", "maxCommandsPerHour", "-1"}, 2, "maxCommandsPerHour", "7"},
        {{"set", "phoneWidth", "0"}, 2, "phoneWidth", "20"},
        {{"set", "iSightQuality", "1.5"}, 2, "iSightQuality", "0.5"},
        {{"set", "mailTransport", "smtps"}, 2, "mailTransport", "outbox"},
        {{"set", "mailTransport", "smtp"}, 0, "mailTransport", "smtp"},
        {{"set", "chatTransport", "xmpp"}, 0, "chatTransport", "xmpp"},
        {{"set", "smtpUrl", "http://mail.example.com"}, 2, "mailTransport", "smtp"},
        {{"set", "imapUrl", "imaps://"}, 2, "mailTransport", "smtp"},
        {{"set", "imapUrl", "imaps://mail.example.com/INBOX"}, 0, "imapUrl", "imaps://mail.example.com/INBOX"},
        {{"set", "imapUrl", ""}, 0, "imapUrl", ""},
        {{"unset", "maxCommandsPerHour"}, 0, "maxCommandsPerHour", "5"},
        {{"frobnicate"}, 2, "phoneWidth", "20"},
    };
    for (const Case &c : cases) {
        QString errors, shown;
        EXPECT_EQ(config(prefs, c.arguments, nullptr, &errors), c.exitCode) << c.arguments.join(u' ').toStdString();
        EXPECT_EQ(c.exitCode == 0, errors.isEmpty()) << errors.toStdString();
        EXPECT_EQ(config(prefs, {QStringLiteral("get"), c.getKey}, &shown), 0);
        EXPECT_EQ(shown, c.shown + u'\n') << c.arguments.join(u' ').toStdString();
    }
    EXPECT_EQ(argumentVector(prefs, QStringLiteral("scriptHostCommand")), (QStringList{"my-host", "--flag", "two words"}));
}

// A value stored by hand, or before its rule, that breaks the rule reads as
// the default; what guards who may give commands never reads wider.
TEST(SettingRules, StoredValuesThatBreakTheirRuleAreNotUsed)
{
    MemoryPreferences prefs;
    Controller::registerDefaults(prefs);
    struct Case { const char *key; QVariant stored; QString read; };
    const Case cases[] = {
        {RBCustomCommandTimeout, "99999999", "60"},
        {RBCustomCommandTimeout, "30", "30"},
        {RBMotionAlertInterval, -1, "300"},
        {RBiSightSensitivity, "nan", "1.5"},
        {RBiSightSensitivity, "inf", "1.5"},
        {RBMaxFileSize, "inf", "4"},
        {RBRemoteEmailAddress, ".", ""},
        {RBRemoteEmailAddress, "me@owner.example", "me@owner.example"},
        {RBCommandSecret, "open sesame", "open sesame"},
    };
    for (const Case &c : cases) {
        prefs.setValue(c.key, c.stored);
        EXPECT_EQ(checkedSettingValue(prefs, c.key).toString(), c.read) << c.key << " " << c.stored.toString().toStdString();
    }
}

TEST(ConfigCommand, DescribesAndListsKeysAndSuggestsTheClosestForATypo)
{
    MemoryPreferences prefs;
    Controller::registerDefaults(prefs);
    prefs.setValue(RBPhoneWidth, 30);
    struct Case { QStringList arguments; int exitCode; QString output; QString errors; };
    const Case cases[] = {
        {{"describe", "maxFileSize"}, 0, "maxFileSize: integer (0 or more): largest file, in megabytes, that is mailed\nvalue: 4  (default)\n", ""},
        {{"describe", "mailTransport"}, 0, "mailTransport: text (outbox, smtp or script): how replies are mailed\nvalue: outbox  (default)\n", ""},
        {{"get", "maxFileSise"}, 2, "", "wendle config: unknown setting 'maxFileSise'; did you mean maxFileSize? (see: wendle config list)\n"},
        {{"set", "imapurl", "x"}, 2, "", "wendle config: unknown setting 'imapurl'; did you mean imapUrl, smtpUrl? (see: wendle config list)\n"},
        {{"describe", "zzzzzzzzzzzz"}, 2, "", "wendle config: unknown setting 'zzzzzzzzzzzz' (see: wendle config list)\n"},
        {{"describe"}, 2, "", "wendle config: wrong number of arguments for describe\nusage: wendle config get KEY | set KEY VALUE | unset KEY | list | describe KEY\n"},
    };
    for (const Case &c : cases) {
        QString output, errors;
        EXPECT_EQ(config(prefs, c.arguments, &output, &errors), c.exitCode) << c.arguments.join(u' ').toStdString();
        EXPECT_EQ(output, c.output);
        EXPECT_EQ(errors, c.errors);
    }
    QString listed;
    ASSERT_EQ(config(prefs, {QStringLiteral("list")}, &listed), 0);
    for (const char *line : {"logData = true  (default)\n    boolean: write the activity log (wendle.log)\n", "phoneWidth = 30\n",
                             "phoneHeight = 12  (default)\n", "remoteChatAddress =   (not set)\n", "scriptHostCommand = osascript -  (default)\n"})
        EXPECT_TRUE(listed.contains(QLatin1String(line))) << line << " in " << listed.toStdString();
}

TEST(ShellWords, SplitsLikeAShellWithoutExpanding)
{
    struct Case { const char *line; std::optional<QStringList> words; };
    const Case cases[] = {
        {"osascript -", QStringList{"osascript", "-"}},
        {"  a   b\tc ", QStringList{"a", "b", "c"}},
        {"'two words' \"it's\" back\\ slash", QStringList{"two words", "it's", "back slash"}},
        {"\"a \\\"q\\\" \\n\"", QStringList{"a \"q\" \\n"}},
        {"'$HOME' x''y", QStringList{"$HOME", "xy"}},
        {"''", QStringList{""}},
        {"", QStringList{}},
        {"'open", std::nullopt},
        {"\"open", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(splitShellWords(QString::fromUtf8(c.line)), c.words) << c.line;
}
