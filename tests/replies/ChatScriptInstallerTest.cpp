#include "replies/ReplyScripts.h"
#include "settings/Settings.h"
#include "support/ControllerFixture.h"
#include "support/EnvironmentOverride.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <QProcess>

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Duplicate =
    QStringLiteral("Duplicate iChat Accounts|Do not set the Host Chat account to the same account used for the Remote Chat account.  "
                   "Please try another chat account and try again.");
const QString NoAccount = QStringLiteral(
    "No Chat Account|Enter your own chat address in \"Your account\" first: the script takes commands from that account only.");
const QString Created =
    QStringLiteral("iChat Script Created|The custom iChat script has been created.  Please configure iChat to run the \"WendleChat\" "
                   "script whenever the \"Text Invitation\" and \"Message Received\" events occur.");
const QString Failed =
    QStringLiteral("Couldn't Create Customized iChat Script|Could not create the customized iChat script.  You will need to edit the "
                   "script from the installation disk, or try again.");
const QString NotCreatedLine =
    QStringLiteral("Wendle Error: Could not create the customized iChat script.  You will need to edit the script from the "
                   "installation disk, or try again.");

using Field = ChatAccountField;
using Step = std::function<void(Controller &)>;

const auto type = [](Field field) -> Step { return [field](Controller &c) { c.controlTextDidChange(field); }; };
const auto leave = [](Field field) -> Step { return [field](Controller &c) { c.controlTextDidEndEditing(field); }; };
const Step Force = [](Controller &c) { c.forceChatScript(); };
const Step TypeHost = type(Field::Host), TypeRemote = type(Field::Remote), TypeOther = type(Field::Other);
const Step LeaveHost = leave(Field::Host), LeaveRemote = leave(Field::Remote), LeaveOther = leave(Field::Other);

using ChatScriptInstallerTest = ControllerFixture;

} // namespace

TEST_F(ChatScriptInstallerTest, FieldsAndButtonFollowTheAccountRules)
{
    // An account of nullptr is not set.
    struct Case {
        const char *name, *remote, *host;
        std::vector<Step> steps;
        QStringList alerts;
        bool written;
    };
    const Case cases[] = {
        {"four characters typed and left", "a@bc", "me@host.example", {TypeRemote, LeaveRemote}, {}, false},
        {"five characters typed and left", "a@b.c", "me@host.example", {TypeRemote, LeaveRemote}, {Created}, true},
        {"left without typing", "owner@example.test", nullptr, {LeaveRemote}, {}, false},
        {"typed once, left twice", "owner@example.test", nullptr, {TypeRemote, LeaveRemote, LeaveRemote}, {Created}, true},
        {"host typed equal to remote", "same@example.test", "same@example.test", {TypeHost, LeaveHost}, {Duplicate}, false},
        {"host typed, different", "owner@example.test", "me@example.test", {TypeHost, LeaveHost}, {}, false},
        {"remote typed equal to host", "same@example.test", "same@example.test", {TypeRemote, LeaveRemote}, {Duplicate}, false},
        {"accounts differ only in case", "Same@example.test", "same@example.test", {TypeRemote, LeaveRemote}, {Created}, true},
        {"another field", "owner@example.test", nullptr, {TypeOther, LeaveOther, LeaveRemote}, {}, false},
        {"button, any length", "a", nullptr, {Force}, {Created}, true},
        {"button, duplicate", "same@example.test", "same@example.test", {Force}, {Duplicate}, false},
        {"button, both unset", nullptr, nullptr, {Force}, {NoAccount}, false},
        {"button, account outside ASCII", "ownér@example.test", nullptr, {Force}, {Failed}, false},
        {"button, account with a quote", "o'wner@example.test", nullptr, {Force}, {Failed}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(controller->chatScriptPath());
        alerts.alerts.clear();
        alerts.styles.clear();
        controller = std::make_unique<Controller>(platform);
        for (const auto &[key, value] : {std::pair{RBRemoteChatAddress, c.remote}, std::pair{RBHostChatAddress, c.host}})
            if (value)
                preferences.setValue(key, QString::fromUtf8(value));
            else
                preferences.remove(key);
        for (const Step &step : c.steps)
            step(*controller);
        EXPECT_EQ(alerts.alerts, c.alerts);
        EXPECT_EQ(QFileInfo::exists(controller->chatScriptPath()), c.written);
        if (c.alerts == QStringList{Failed}) {
            EXPECT_EQ(alerts.styles, QList<AlertStyle>{AlertStyle::Critical});
            EXPECT_EQ(console.lines.last(), NotCreatedLine);
            EXPECT_EQ(logEntries().last(), NotCreatedLine);
        }
    }
    EXPECT_EQ(alerts.buttonTitles.first(), QStringLiteral("OK"));
}

TEST_F(ChatScriptInstallerTest, TheScriptHandsOnlyTheOwnersMessagesToWendle)
{
    preferences.setValue(RBRemoteChatAddress, QStringLiteral("Owner@Example.test"));
    ASSERT_TRUE(controller->createChatScript());
    const QString script = controller->chatScriptPath();
    EXPECT_EQ(readFile(script).count("'Owner@Example.test'"), 2);
    // The program that wrote the script is the one it calls.
    const QString program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    EXPECT_TRUE(readFile(script).contains("\nprogram='" + program.toUtf8() + "'\n")) << program.toStdString();
    EXPECT_TRUE(QFileInfo(script).isExecutable());

    // A stand-in for wendle records the arguments it is called with.
    const QString calls = supportDir.filePath(QStringLiteral("calls"));
    const QString recorder = supportDir.filePath(QStringLiteral("wendle-recorder"));
    ASSERT_TRUE(writeFile(recorder, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done >> \"$CALLS\"\necho >> \"$CALLS\"\n"));
    QFile::setPermissions(recorder, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::WriteOwner);
    const EnvironmentOverride wendle("WENDLE", recorder), callsFile("CALLS", calls);

    // The arguments ("FILE" stands for the message file), the message, and
    // whether it is handed over.
    const std::tuple<QStringList, QByteArray, bool> events[] = {
        {{"MSG", "IN", "owner@example.TEST/phone", "FILE"}, "wndl find named \"x\" $(rm -rf ~) `id`", true},
        {{"MSG", "IN", "Owner@Example.test", "FILE"}, "wndl 473\n", true},
        {{"MSG", "IN", "eve@example.test", "FILE"}, "wndl email", false},
        {{"MSG", "IN", "owner@example.test.evil", "FILE"}, "wndl email", false},
        {{"MSG", "OUT", "owner@example.test"}, "", false},
        {{"STATUS", "O", "owner@example.test"}, "", false},
        {{"MSG", "IN", "owner@example.test"}, "", false},
    };
    QByteArray expected;
    for (const auto &[event, body, handedOver] : events) {
        const QString messageFile = supportDir.filePath(QStringLiteral("event-file"));
        ASSERT_TRUE(writeFile(messageFile, body));
        QStringList arguments = event;
        arguments.replaceInStrings(QStringLiteral("FILE"), messageFile);
        QProcess process;
        process.start(script, arguments);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 0) << arguments.join(u' ').toStdString();
        if (event.contains(QStringLiteral("FILE"))) {
            EXPECT_FALSE(QFileInfo::exists(messageFile)) << "the message file is the script's to remove";
        }
        if (handedOver)
            expected += "[send][--chat][--from][Owner@Example.test][--][" + body.trimmed() + "]\n";
    }
    EXPECT_EQ(readFile(calls), expected);
}

// Whatever the program's path holds, the script stays ASCII and the shell
// reads the path back byte for byte.
TEST(ChatScriptProgramPath, TheShellReadsThePathBack)
{
    const QString paths[] = {
        "/usr/local/bin/wendle",
        "/home/o'neil/my build/wendle",
        QString::fromUtf8("/home/j\xc3\xb6rg/100%@/wendle"),
        "/tmp/back\\slash/$HOME/`id`/wendle",
    };
    for (const QString &path : paths) {
        const QString word = shellPathWord(path);
        EXPECT_TRUE(std::all_of(word.cbegin(), word.cend(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; }))
            << word.toStdString();
        EXPECT_FALSE(word.contains(u'%')) << word.toStdString();
        QProcess shell;
        shell.start("/bin/sh", {"-c", "program=" + word + "\nprintf '%s' \"$program\""});
        ASSERT_TRUE(shell.waitForFinished(10000));
        EXPECT_EQ(shell.readAllStandardOutput(), QFile::encodeName(path)) << word.toStdString();
    }
}
