#include "app/CheckedPreferences.h"
#include "app/ColorSetting.h"
#include "app/ConfigCommand.h"
#include "platform/chat/ChatAdapters.h"
#include "platform/preferences/SettingsPreferences.h"
#include "platform/scripthost/ShellWords.h"
#include "settings/ColorText.h"
#include "settings/SettingRules.h"
#include "settings/Settings.h"
#include "support/ControllerFixture.h"
#include "support/TestFiles.h"

#include <QColor>
#include <QSettings>

#include <cmath>

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

// `wendle config` reads and writes colours without Qt's GUI library: every
// word QColor takes, and none it refuses, gives the text QColor writes.
TEST(Settings, ColourTextReadsAndWritesWhatQColorDoes)
{
    QStringList words = QColor::colorNames();
    for (const QString &name : QColor::colorNames())
        words << name.toUpper() << " " + name.left(3) + " \t" + name.mid(3);
    words += {QString(),       "#",      "#0f8",    "#00FF80",         "#8000ff80", "#ff00ff80",  "#fff000fff",
              "#123456789abc", "#80808", "#gg0000", "#12345678901234", "nocolour",  "gr\u00e9en", "green\u4e00",
              "#00ff0\u4e00",  "7fff00"};
    for (int i = 0; i < 2000; ++i) {
        const int digits = QList<int>{3, 6, 8, 9, 12}.at(i % 5);
        QString word = "#";
        for (int d = 0; d < digits; ++d)
            word += QStringLiteral("0123456789abcdefABCDEF").at((i * 7919 + d * 104729) % 22);
        words << word;
    }
    for (const QString &word : words) {
        const QColor color = QColor::fromString(word);
        EXPECT_EQ(colorTextFromWords(word), color.isValid() ? archiveColor(color) : QString()) << word.toStdString();
        // A stored colour is "#RRGGBB" or "#AARRGGBB", blanks around it aside.
        const QString text = word.trimmed();
        const QColor stored = (text.size() == 7 || text.size() == 9) && text.startsWith(u'#') ? QColor::fromString(text) : QColor();
        EXPECT_EQ(colorTextFromStored(word), stored.isValid() ? archiveColor(stored) : QString()) << word.toStdString();
    }
}

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
    // the arguments, the exit code, then the key read back and what it shows
    const std::tuple<QStringList, int, QString, QString> cases[] = {
        {{"set", "limitNotificationFlag", "yes"}, 0, "limitNotificationFlag", "true"},
        {{"set", "logData", "0"}, 0, "logData", "false"},
        {{"set", "logData", "maybe"}, 2, "logData", "false"},
        {{"set", "maxCommandsPerHour", "7"}, 0, "maxCommandsPerHour", "7"},
        {{"set", "iSightQuality", "0.5"}, 0, "iSightQuality", "0.5"},
        {{"set", "scriptHostCommand", "my-host --flag 'two words'"}, 0, "scriptHostCommand", "my-host --flag 'two words'"},
        {{"set", "remoteChatAddress", "me@jabber.example"}, 0, "remoteChatAddress", "me@jabber.example"},
        {{"set", "iSightStampColor", "#80ff0000"}, 0, "iSightStampColor", "#80ff0000"},
        {{"set", "iSightStampColor", "#ff00ff00"}, 0, "iSightStampColor", "#00ff00"},
        {{"set", "noSuchKey", "1"}, 2, "maxCommandsPerHour", "7"},
        {{"set", "mailTransport", "smtps"}, 2, "mailTransport", "outbox"},
        {{"set", "mailTransport", "smtp"}, 0, "mailTransport", "smtp"},
        {{"set", "chatTransport", "xmpp"}, 0, "chatTransport", "xmpp"},
        {{"set", "smtpUrl", "http://mail.example.com"}, 2, "mailTransport", "smtp"},
        {{"set", "imapUrl", "imaps://"}, 2, "mailTransport", "smtp"},
        {{"set", "imapUrl", "imaps://mail.example.com/INBOX"}, 0, "imapUrl", "imaps://mail.example.com/INBOX"},
        {{"set", "imapUrl", ""}, 0, "imapUrl", ""},
        {{"set", "chatTransport", " XMPP "}, 0, "chatTransport", "xmpp"},
        {{"set", "chatTransport", "Mcabber"}, 0, "chatTransport", "mcabber"},
        {{"set", "mailTransport", "Script"}, 0, "mailTransport", "script"},
        {{"set", "maxFilesReturned", "20"}, 0, "maxFilesReturned", "20"},
        {{"set", "iSightSensitivity", "50"}, 0, "iSightSensitivity", "50"},
        {{"set", "remoteEmailAddress", " me@owner.example "}, 0, "remoteEmailAddress", "me@owner.example"},
        {{"set", "customCommandsArray", "[{\"path\": \"/s/x.sh\", \"shortcut\": \"x\"}]"},
         0,
         "customCommandsArray",
         "[{\"path\":\"/s/x.sh\",\"shortcut\":\"x\"}]"},
        {{"set", "iSightStampColor", "red"}, 0, "iSightStampColor", "#ff0000"},
        {{"unset", "maxCommandsPerHour"}, 0, "maxCommandsPerHour", "5"},
        {{"frobnicate"}, 2, "phoneWidth", "20"},
    };
    for (const auto &[arguments, exitCode, key, value] : cases) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        QString errors, shown;
        EXPECT_EQ(config(prefs, arguments, nullptr, &errors), exitCode);
        EXPECT_EQ(exitCode == 0, errors.isEmpty()) << errors.toStdString();
        EXPECT_EQ(config(prefs, {"get", key}, &shown), 0);
        EXPECT_EQ(shown, value + u'\n');
    }
    EXPECT_EQ(argumentVector(prefs, QStringLiteral("scriptHostCommand")), (QStringList{"my-host", "--flag", "two words"}));

    // A value that can never work, or would let nearly anybody give commands,
    // is refused with the reason and leaves the stored value as it was (each
    // number at and past its bounds: SettingsTable below).
    const char *address = "one mail address such as you@example.com, or empty for nobody";
    const char *secret = "one word without spaces, or empty for none";
    const char *refusals[][3] = {
        {"commandSecret", "open sesame", secret},
        {"commandSecret", "open\tsesame", secret},
        {"commandSecret", "Open-Sesame", nullptr},
        {"remoteEmailAddress", ".", address},
        {"remoteEmailAddress", "Owner <me@owner.example>", address},
        {"phoneEmailAddress", "5551234567", address},
        {"phoneEmailAddress", "a@b@example.com", address},
        {"phoneEmailAddress", "", nullptr},
        {"customCommandTimeout", "99999999", "1 to 110 (seconds, under the 120 seconds wendle deliver waits for Wendle)"},
        {"iSightSensitivity", "1e-300", "0.1 to 3600"},
        {"iSightQuality", "nan", "0 to 1"},
        {"motionAlertInterval", "-1", "0 or more"},
        {"maxFileSize", "inf", "a whole number"},
    };
    for (const auto &[key, value, reason] : refusals) {
        SCOPED_TRACE(std::string(key) + ' ' + value);
        QString before, after, errors;
        config(prefs, {"get", key}, &before);
        EXPECT_EQ(config(prefs, {"set", key, value}, nullptr, &errors), reason ? 2 : 0);
        EXPECT_EQ(errors,
                  reason ? QStringLiteral("wendle config: cannot set %1 to \"%2\": expected %3\n").arg(key, value, reason) : QString());
        config(prefs, {"get", key}, &after);
        EXPECT_EQ(after, reason ? before : QString::fromUtf8(value) + u'\n');
    }
}

// A value stored by hand, or before its rule, that breaks the rule reads as
// the default; what guards who may give commands never reads wider. Numbers
// past their bounds are SettingsTable's.
TEST(SettingRules, StoredValuesThatBreakTheirRuleAreNotUsed)
{
    MemoryPreferences prefs;
    Controller::registerDefaults(prefs);
    // the key, the value stored, what it reads as
    const std::tuple<const char *, QVariant, QString> cases[] = {
        {RBCustomCommandTimeout, "30", "30"},
        {RBRemoteEmailAddress, ".", ""},
        {RBRemoteEmailAddress, "me@owner.example", "me@owner.example"},
        {RBCommandSecret, "open sesame", "open sesame"},
        {RBPhoneWidth, "12.5", "20"},
        {RBLogData, "maybe", "true"},
        // A check on who may command stays on when mistyped, whatever its default.
        {RBRequireSignedCommands, "ture", "true"},
        {RBStrictSenderMatch, "on", "true"},
        {RBEncryptReplies, "no", "no"},
        {RBChatTransport, " xmpp", "outbox"},
        {RBiSightStampColor, "greenish", "#00ff00"},
        {RBCustomCommands, "[{\"path\": \"/s/x.sh\"", ""},
        {RBPhoneEmailAddress, "not an address", ""},
    };
    for (const auto &[key, stored, read] : cases) {
        prefs.setValue(key, stored);
        EXPECT_EQ(checkedSettingValue(prefs, key).toString(), read) << key << " " << stored.toString().toStdString();
    }
    EXPECT_EQ(checkedSettingValue(prefs, RBCustomCommands).toList(), findSetting(RBCustomCommands)->defaultValue.toList());
}

// Every row can be explained and checked, its default passes its own rule,
// and each number is taken at its bounds and refused beyond them.
TEST(SettingsTable, EveryKeyHasADescriptionARuleAndItsBounds)
{
    MemoryPreferences prefs;
    Controller::registerDefaults(prefs);
    EXPECT_EQ(registeredDefaults().size(), 32);
    // The choices of the transport settings are the transport tables' names.
    EXPECT_EQ(settingChoices(RBMailTransport), mailTransportNames());
    EXPECT_EQ(settingChoices(RBChatTransport), chatTransportNames());
    for (const SettingInfo &info : knownSettings()) {
        const std::string key = info.key.toStdString();
        EXPECT_FALSE(settingDescription(info.key).isEmpty()) << key;
        EXPECT_EQ(checkSettingValue(info.key, info.defaultValue), QString()) << key;
        const bool numeric = info.type == SettingType::Integer || info.type == SettingType::Float;
        if (!numeric)
            continue;
        EXPECT_NE(info.bounds.rule, SettingRule::Any) << key;
        EXPECT_FALSE(settingAllowedValues(info.key).isEmpty()) << key;
        const auto [minimum, maximum] = settingRange(info);
        const double step = info.type == SettingType::Integer ? 1 : 0.01;
        QStringList taken = {QString::number(minimum)}, refused = {QString::number(minimum - step), "nan", "inf", "ten"};
        if (std::isfinite(maximum))
            taken << QString::number(maximum), refused << QString::number(maximum + step);
        for (const QString &value : taken)
            EXPECT_EQ(config(prefs, {"set", info.key, value}), 0) << key << " " << value.toStdString();
        for (const QString &value : refused) {
            QString errors;
            EXPECT_EQ(config(prefs, {"set", info.key, value}, nullptr, &errors), 2) << key << " " << value.toStdString();
            EXPECT_TRUE(errors.startsWith(QStringLiteral("wendle config: cannot set %1 to \"%2\": expected ").arg(info.key, value)))
                << errors.toStdString();
            prefs.setValue(info.key, value);
            EXPECT_EQ(checkedSettingValue(prefs, info.key), prefs.registeredDefaults().value(info.key))
                << key << " " << value.toStdString();
        }
        prefs.remove(info.key);
    }
}

// Files written before lists and colours were stored as text still read,
// and the next write leaves only text behind.
TEST(SettingsFile, OldEncodedValuesReadAndAreWrittenBackAsText)
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("wendle.conf"));
    const QVariantList library = {QVariantMap{{"path", "/s/x.sh"}, {"shortcut", "x"}}};
    {
        QSettings old(fileName, QSettings::IniFormat);
        old.setValue(RBCustomCommands, library);
        old.setValue(RBiSightStampColor, QByteArray("#ff0000ff"));
    }
    ASSERT_TRUE(readFile(fileName).contains("@Variant(")) << readFile(fileName).constData();
    SettingsPreferences stored(fileName);
    CheckedPreferences prefs(stored);
    Controller::registerDefaults(prefs);
    EXPECT_EQ(prefs.value(RBCustomCommands).toList(), library);
    QColor color;
    ASSERT_TRUE(unarchiveColor(prefs.value(RBiSightStampColor), &color));
    EXPECT_EQ(color, QColor(Qt::blue));
    EXPECT_TRUE(settingProblemLines(stored).isEmpty()) << settingProblemLines(stored).join(u'\n').toStdString();

    prefs.setValue(RBCustomCommands, prefs.value(RBCustomCommands));
    prefs.setValue(RBiSightStampColor, prefs.value(RBiSightStampColor));
    const QByteArray text = readFile(fileName);
    EXPECT_TRUE(text.contains("customCommandsArray=\"[{\\\"path\\\":\\\"/s/x.sh\\\",\\\"shortcut\\\":\\\"x\\\"}]\"\n")) << text.constData();
    EXPECT_TRUE(text.contains("iSightStampColor=#0000ff\n")) << text.constData();
    EXPECT_FALSE(text.contains("@")) << text.constData();
    EXPECT_EQ(prefs.value(RBCustomCommands).toList(), library);
}

// Lines QSettings cannot read are named at start and survive its writes;
// values it reads that break their rule are named once each.
TEST(SettingsFile, UnreadableLinesAreReportedAndKept)
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("wendle.conf"));
    writeFile(fileName, "[General]\n; the owner's note\nmaxCommandsPerHour=abc\nphoneWidth=-5\nsomething I typed\n"
                        "defaultSalutation=Gr\xfc\xdf Gott\nlogData=true\nrequireSignedCommands=ture\n");
    SettingsPreferences stored(fileName);
    Controller::registerDefaults(stored);
    const QStringList report = settingsFileReport(stored);
    const QStringList expected = {
        fileName + " line 6 is not UTF-8 text: defaultSalutation=Gr\ufffd\ufffd Gott",
        fileName + " line 5 is not KEY=VALUE (kept, not used): something I typed",
        "the setting maxCommandsPerHour=abc is not used (expected a whole number); using \"5\"",
        "the setting phoneWidth=-5 is not used (expected more than 0); using \"20\"",
        "the setting requireSignedCommands=ture is not used (expected true/false, yes/no or 1/0); using \"true\"",
    };
    ASSERT_EQ(report.size(), expected.size()) << report.join(u'\n').toStdString();
    for (const QString &line : expected)
        EXPECT_TRUE(report.contains("Wendle Error: " + line)) << line.toStdString() << " in " << report.join(u'\n').toStdString();

    stored.setValue(RBLogData, false);
    const QByteArray text = readFile(fileName);
    for (const char *kept : {"; the owner's note\n", "something I typed\n", "maxCommandsPerHour=abc\n", "logData=false\n"})
        EXPECT_TRUE(text.contains(kept)) << kept << " in " << text.constData();

    QTemporaryDir folder;
    SettingsPreferences aFolder(folder.path());
    EXPECT_EQ(settingsFileReport(aFolder), QStringList{QStringLiteral("Wendle Error: %1 is a folder, not a settings file; "
                                                                      "Wendle uses the default settings and cannot keep changes")
                                                           .arg(folder.path())});
}

TEST(ConfigCommand, DescribesAndListsKeysAndSuggestsTheClosestForATypo)
{
    MemoryPreferences prefs;
    Controller::registerDefaults(prefs);
    prefs.setValue(RBPhoneWidth, 30);
    // What a command prints goes to the output when it succeeds, to the errors when it fails (2).
    const std::tuple<QStringList, int, QString> cases[] = {
        {{"describe", "maxFileSize"},
         0,
         "maxFileSize: integer (0 or more): largest file, in megabytes, that is mailed\nvalue: 4  (default)\n"},
        {{"describe", "mailTransport"},
         0,
         "mailTransport: text (outbox, smtp or script): how replies are mailed\nvalue: outbox  (default)\n"},
        {{"get", "maxFileSise"}, 2, "wendle config: unknown setting 'maxFileSise'; did you mean maxFileSize? (see: wendle config list)\n"},
        {{"set", "imapurl", "x"},
         2,
         "wendle config: unknown setting 'imapurl'; did you mean imapUrl, smtpUrl? (see: wendle config list)\n"},
        {{"describe", "zzzzzzzzzzzz"}, 2, "wendle config: unknown setting 'zzzzzzzzzzzz' (see: wendle config list)\n"},
        {{"describe"},
         2,
         "wendle config: wrong number of arguments for describe\nusage: wendle config get KEY | set KEY VALUE | unset KEY | list | describe KEY\n"},
    };
    for (const auto &[arguments, exitCode, printed] : cases) {
        QString output, errors;
        EXPECT_EQ(config(prefs, arguments, &output, &errors), exitCode) << arguments.join(u' ').toStdString();
        EXPECT_EQ(output, exitCode == 0 ? printed : QString());
        EXPECT_EQ(errors, exitCode == 0 ? QString() : printed);
    }
    prefs.setValue(RBMaxCommandsPerHour, "abc");
    prefs.setValue(RBRemoteEmailAddress, ".");
    QString listed;
    ASSERT_EQ(config(prefs, {QStringLiteral("list")}, &listed), 0);
    EXPECT_FALSE(listed.contains("(not set)"));
    EXPECT_EQ(listed.count("\n    "), knownSettings().size());
    for (const char *line :
         {"logData = true  (default)\n    boolean: write the activity log (wendle.log)\n", "phoneWidth = 30\n",
          "phoneHeight = 12  (default)\n", "remoteChatAddress =   (default)\n", "enableiSight = false  (default)\n",
          "scriptHostCommand = osascript -  (default)\n",
          "maxCommandsPerHour = abc  (invalid, using the default 5: expected a whole number)\n",
          "remoteEmailAddress = .  (invalid, using nobody: expected one mail address such as you@example.com, or empty for nobody)\n"})
        EXPECT_TRUE(listed.contains(QLatin1String(line))) << line << " in " << listed.toStdString();
}

TEST(ShellWords, SplitsLikeAShellWithoutExpanding)
{
    const std::pair<const char *, std::optional<QStringList>> cases[] = {
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
    for (const auto &[line, words] : cases)
        EXPECT_EQ(splitShellWords(QString::fromUtf8(line)), words) << line;
}
