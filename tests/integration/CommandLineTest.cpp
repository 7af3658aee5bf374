#include "support/WendleInstance.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

using namespace wendle::test;

namespace {

class CommandLineTest : public SessionTest {};

} // namespace

TEST_F(CommandLineTest, HelpVersionAndBadUsageWithoutARunningInstance)
{
    const std::tuple<QStringList, int, const char *, const char *> cases[] = {
        {{"--version"}, 0, "wendle 0.1\n", ""},
        {{"--help"}, 0, "  wendle status\n      show whether Wendle runs", ""},
        {{"help", "send"}, 0, "usage: wendle send --mail|--chat --from ADDRESS [--attachment PATH] [--] TEXT...\n", ""},
        {{"run", "--help"}, 0, "  --headless", ""},
        {{"send", "--help"}, 0, "  --attachment <PATH>", ""},
        {{"deliver", "--help"}, 0, "usage: wendle deliver < MESSAGE\n", ""},
        {{"status", "--help"}, 0, "usage: wendle status\n", ""},
        {{"config", "--help"}, 0, "usage: wendle config get KEY | set KEY VALUE", ""},
        {{}, 2, "", "usage: wendle COMMAND"},
        {{"bogus"}, 2, "", "wendle: unknown command 'bogus'"},
        {{"--bogus"}, 2, "", "wendle: Unknown option 'bogus'."},
        {{"run", "--headless", "extra"}, 2, "", "wendle run: unexpected argument extra"},
        {{"send", "--mail", "--chat", "--from", "a@b", "wndl"}, 2, "", "wendle send: give exactly one of --mail and --chat"},
        {{"send", "--mail", "--from", "a@b", "--from", "c@d", "wndl"}, 2, "", "wendle send: --from given more than once"},
        {{"send", "--mail", "wndl"}, 2, "", "wendle send: --from ADDRESS is missing"},
        {{"send", "--mail", "--from"}, 2, "", "wendle send: Missing value after '--from'."},
        {{"send", "--mail", "--from", "a@b", "--"}, 2, "", "wendle send: no message text"},
        {{"send", "--from", "a@b", "wndl"}, 2, "", "wendle send: give exactly one of --mail and --chat"},
        {{"send", "--mail", "--from", "a@b", "wndl", "email"}, 1, "", "wendle send: Wendle is not running"},
        {{"status"}, 1, "running: no\n", ""},
        {{"deliver", "now"}, 2, "", "wendle deliver: takes no arguments"},
        {{"resume", "--help"}, 0, "usage: wendle resume\n", ""},
        {{"pause", "now"}, 2, "", "wendle pause: takes no arguments"},
        // Help pages read as text without a display.
        {{"help", "sec"}, 0, "The Security tab", ""},
        {{"help", "nonsense"}, 2, "", "the pages are: computer, ped, sec, chat, custom, configuring, isight"},
    };
    for (const auto &[arguments, exitCode, printed, said] : cases) {
        QByteArray output, errors;
        EXPECT_EQ(session.runWendle(arguments, &output, &errors), exitCode) << arguments.join(' ').toStdString();
        EXPECT_TRUE(output.contains(printed)) << arguments.join(' ').toStdString() << ": " << output.constData();
        EXPECT_TRUE(errors.contains(said)) << arguments.join(' ').toStdString() << ": " << errors.constData();
        EXPECT_FALSE(output.contains("<h1>")) << arguments.join(' ').toStdString();
    }
}

// Text after the options goes as it is; status describes the instance and
// names the code Wendle waits for in the words of the command that asked for it.
TEST_F(CommandLineTest, TextAfterTheOptionsIsSentAsItIsAndStatusDescribesTheInstance)
{
    // A value stored by hand that breaks its rule is named once at start, in
    // the log (config list shows it too: ConfigCommand's test); Wendle goes on
    // with the default.
    const QString conf = session.home() + "/.config/wendle/wendle.conf";
    writeFile(conf, readFile(conf) + "maxCommandsPerHour=abc\nphoneWidth=-5\n");
    for (int i = 1; i <= 4; ++i)
        ASSERT_TRUE(writeFile(session.home() + QStringLiteral("/Documents/budget %1.txt").arg(i), "figures"));
    ASSERT_TRUE(writeFile(session.home() + "/Documents/resume.txt", "Dear sir"));
    ASSERT_TRUE(writeFile(session.home() + "/bin/backup.scpt", "#!/bin/sh\necho done\n"));
    QFile::setPermissions(session.home() + "/bin/backup.scpt", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(
        session.configure({{"limitCommandsFlag", "no"},
                           {"customCommandsArray", "[{\"path\": \"" + session.home() + "/bin/backup.scpt\", \"shortcut\": \"backup\"}]"}}));
    ASSERT_TRUE(session.startDaemon());
    const QStringList sends[] = {
        {"send", "--mail", "--from", "owner@example.org", "--", "wndl", "find", "named", "--help"},
        {"send", "--from", "owner@example.org", "--mail", "wndl", "find", "named", "-x", "--chat"},
    };
    for (const QStringList &arguments : sends)
        EXPECT_EQ(session.runWendle(arguments), 0) << arguments.join(' ').toStdString();
    // `wendle send` returns once Wendle has the message; the search follows.
    // It finds nothing, so no code is awaited.
    EXPECT_TRUE(waitFor([&] { return session.logText().count("files named: ") == 2; }));
    for (const char *word : {"--help", "-x", "--chat"})
        EXPECT_TRUE(session.logText().contains(word)) << word << " in " << session.logText().toStdString();

    const auto status = [&] {
        QByteArray output;
        EXPECT_EQ(session.runWendle({"status"}, &output), 0);
        return QString::fromUtf8(output);
    };
    const QString idle = status();
    EXPECT_TRUE(idle.startsWith("running: yes\nprocess: ")) << idle.toStdString();
    for (const char *line : {"\nmail: commands through wendle deliver (no imapUrl); replies by outbox\n", "\nchat: outbox\n",
                             "\nreplies waiting: 0\n", "\nwaiting for a confirmation: nothing\n", "\nsearch index: "})
        EXPECT_TRUE(idle.contains(line)) << line << " in " << idle.toStdString();

    const std::pair<const char *, const char *> cases[] = {
        {"wndl find named budget", "a list of 4 files named budget; reply with wndl (\\d\\d) and a line number"},
        {"wndl fax 5551234 named resume", "a list of 1 file named resume to fax to 5551234; reply with wndl (\\d\\d) and a line number"},
        {"wndl launch backup", "the custom command backup, reply with wndl (\\d\\d)"},
    };
    for (const auto &[command, words] : cases) {
        ASSERT_EQ(session.send("owner@example.org", command), 0);
        const QRegularExpression line(QStringLiteral("\nwaiting for a confirmation: %1\n").arg(words));
        QString awaiting;
        EXPECT_TRUE(waitFor([&] { return line.match(awaiting = status()).hasMatch(); })) << command << "\n" << awaiting.toStdString();
        // The code named is the one the owner was sent.
        const QString code = line.match(awaiting).captured(1);
        EXPECT_TRUE(!code.isEmpty() && QString::fromUtf8(readFile(session.outboxFiles().last())).contains(code)) << command;
    }
    EXPECT_EQ(session.stopDaemon(), 0);
    const QString log = session.logText();
    EXPECT_EQ(log.count("the setting maxCommandsPerHour=abc is not used (expected a whole number); using \"5\""), 1) << log.toStdString();
    EXPECT_EQ(log.count("the setting phoneWidth=-5 is not used (expected more than 0); using \"20\""), 1) << log.toStdString();
    EXPECT_EQ(log.count("is not used"), 2) << log.toStdString();
}

// Without a bus every command that talks to Wendle names the variable to set,
// with the exit code its callers act on (a mail system retries on 75).
TEST_F(CommandLineTest, WithoutABusCommandsNameTheVariableToSet)
{
    const QByteArray message = "From: owner@example.org\r\nSubject: x\r\n\r\nwndl email\r\n";
    const std::tuple<const char *, QStringList, int, const char *> cases[] = {
        {nullptr,
         {"send", "--mail", "--from", "owner@example.org", "wndl", "email"},
         1,
         "wendle send: cannot reach the D-Bus session bus: DBUS_SESSION_BUS_ADDRESS is not set"},
        {nullptr, {"deliver"}, 75, "wendle deliver: cannot reach the D-Bus session bus: DBUS_SESSION_BUS_ADDRESS is not set"},
        {nullptr, {"status"}, 1, "wendle status: cannot reach the D-Bus session bus: DBUS_SESSION_BUS_ADDRESS is not set"},
        {nullptr, {"index", "rebuild"}, 0, "wendle index: cannot reach the D-Bus session bus: DBUS_SESSION_BUS_ADDRESS is not set"},
        {nullptr, {"run", "--headless"}, 1, "cannot connect to the D-Bus session bus (DBUS_SESSION_BUS_ADDRESS is not set"},
        {"unix:path=/nonexistent/bus",
         {"send", "--chat", "--from", "owner@example.org", "wndl", "email"},
         1,
         "the bus at DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus does not answer"},
        {"unix:path=/nonexistent/bus", {"status"}, 1, "the bus at DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"},
    };
    for (const auto &[address, arguments, exitCode, said] : cases) {
        QProcessEnvironment environment = session.environment();
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        if (address)
            environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
        // A runtime folder without a bus in it, as on a machine with no login session.
        environment.insert("XDG_RUNTIME_DIR", session.home());
        QByteArray errors;
        EXPECT_EQ(runProcess(WENDLE_BINARY, arguments, environment, nullptr, &errors, message), exitCode)
            << arguments.join(' ').toStdString();
        EXPECT_TRUE(errors.contains(said)) << arguments.join(' ').toStdString() << ": " << errors.constData();
        // Not libdbus's own words about X11 autolaunch, which point nowhere useful.
        EXPECT_FALSE(errors.contains("X11")) << errors.constData();
    }
}

TEST_F(CommandLineTest, ASettingsFileThatIsAFolderIsNamedAndNothingIsStored)
{
    const QString conf = session.home() + "/.config/wendle/wendle.conf";
    ASSERT_TRUE(QFile::remove(conf) && QDir().mkpath(conf));
    for (const QStringList &arguments : {QStringList{"config", "list"}, QStringList{"config", "set", "phoneWidth", "30"}}) {
        QByteArray errors;
        EXPECT_EQ(session.runWendle(arguments, nullptr, &errors), 1) << arguments.join(' ').toStdString();
        EXPECT_EQ(errors.toStdString(), ("wendle config: " + conf + " is a folder, not a settings file\n").toStdString());
    }
}

// A settings folder its owner cannot write: nothing is stored, and config says so.
TEST_F(CommandLineTest, ASettingsFolderThatCannotBeWrittenStoresNothingAndSaysSo)
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
        GTEST_SKIP() << "needs root and setpriv to act as a user the folder refuses";
    QTemporaryDir home;
    ASSERT_TRUE(QDir().mkpath(home.filePath("config/wendle")));
    for (const QString &folder : {home.path(), home.filePath("config"), home.filePath("config/wendle")})
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    QProcessEnvironment environment = session.environment();
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    QByteArray errors;
    EXPECT_EQ(runProcess("setpriv",
                         {"--reuid=65534", "--regid=65534", "--clear-groups", WENDLE_BINARY, "config", "set", "phoneWidth", "30"},
                         environment, nullptr, &errors),
              1);
    EXPECT_EQ(
        errors.toStdString(),
        ("wendle config: nothing was stored: cannot read or write " + home.filePath("config/wendle/wendle.conf") + "\n").toStdString());
}

// The completion and the manual page name every command, setting and help page.
TEST_F(CommandLineTest, CompletionAndManualNameEveryCommandSettingAndHelpPage)
{
    QByteArray usage, listed, pagesError, completion;
    session.runWendle({"--help"}, &usage);
    session.runWendle({"config", "list"}, &listed);
    session.runWendle({"help", "nonsense"}, nullptr, &pagesError);
    ASSERT_EQ(session.runWendle({"--print-completion"}, &completion), 0);
    const QByteArray manual = readFile(QFileInfo(WENDLE_BINARY).path() + "/reference/wendle.1");
    ASSERT_FALSE(manual.isEmpty());
    const auto roff = [](QString word) { return word.replace('-', "\\-").toUtf8(); };

    QStringList commands, keys;
    for (const QString &line : QString::fromUtf8(usage).split('\n')) {
        if (line.startsWith("  wendle "))
            commands << line.section(' ', 3, 3);
    }
    for (const QString &line : QString::fromUtf8(listed).split('\n')) {
        if (line.contains(" = ") && !line.startsWith(' '))
            keys << line.section(' ', 0, 0);
    }
    const QStringList pages = QString::fromUtf8(pagesError).section("the pages are: ", 1).trimmed().split(", ");
    ASSERT_EQ(commands.size(), 11) << usage.constData();
    ASSERT_GT(keys.size(), 60);
    ASSERT_EQ(pages.size(), 7);
    const QString wordList = QString::fromUtf8(completion);
    for (const QString &command : commands) {
        EXPECT_TRUE(wordList.contains(QRegularExpression("commands=\"[^\"]*\\b" + command + "\\b"))) << command.toStdString();
        EXPECT_TRUE(manual.contains(".B wendle " + roff(command) + '\n')) << command.toStdString();
    }
    for (const QString &key : keys) {
        const QString keyWords = wordList.section("== @(get|set|unset|describe) ]]; then\n", 1).section("-W \"", 1).section('"', 0, 0);
        EXPECT_TRUE(keyWords.split(' ').contains(key)) << key.toStdString();
        EXPECT_TRUE(manual.contains(".B " + key.toUtf8() + '\n')) << key.toStdString();
    }
    for (const QString &page : pages) {
        EXPECT_TRUE(wordList.contains(QRegularExpression("help\\)\\n[^\\n]*\\b" + page + "\\b"))) << page.toStdString();
        EXPECT_TRUE(manual.contains("\\fB" + page.toUtf8() + "\\fR")) << page.toStdString();
    }
    // Each option a command's help names is completed for it.
    for (const QString &command : commands) {
        QByteArray help;
        session.runWendle({command, "--help"}, &help);
        const QString arm = wordList.section("\n    " + command + ")\n", 1).section("\n        ;;\n", 0, 0);
        const QRegularExpression option("^\\s+(?:-\\w, )?(--[\\w-]+)", QRegularExpression::MultilineOption);
        for (auto match = option.globalMatch(QString::fromUtf8(help)); match.hasNext();) {
            const QString name = match.next().captured(1);
            const QStringList offered = arm.section("-W \"", 1).section('"', 0, 0).split(' ');
            EXPECT_TRUE(offered.contains(name)) << command.toStdString() << " " << name.toStdString() << " in " << arm.toStdString();
        }
    }
}

// What a mail system or a script starts for every message loads none of the
// daemon's libraries: `wendle` itself no Qt at all, wendle-client Qt Core
// and DBus alone. The full program beside them has them all.
TEST(ClientPrograms, LoadOnlyTheLibrariesTheirCommandsNeed)
{
    const QString folder = QFileInfo(WENDLE_BINARY).path();
    const QByteArrayList daemonOnly{"libQt6Gui",  "libQt6Widgets", "libgstreamer", "libpoppler",
                                    "libstrophe", "libsqlite3",    "libgmime",     "libcurl"};
    const std::tuple<QString, QByteArrayList, QByteArrayList> cases[] = {
        {WENDLE_BINARY, daemonOnly + QByteArrayList{"libQt6Core", "libQt6DBus"}, {"libdbus-1"}},
        {folder + "/wendle-client", daemonOnly, {"libQt6Core", "libQt6DBus"}},
        {folder + "/wendle-daemon", {}, daemonOnly},
    };
    for (const auto &[program, absent, present] : cases) {
        QByteArray libraries;
        ASSERT_EQ(runProcess("ldd", {program}, QProcessEnvironment::systemEnvironment(), &libraries), 0) << program.toStdString();
        for (const QByteArray &library : absent)
            EXPECT_FALSE(libraries.contains(library)) << program.toStdString() << " loads " << library.constData();
        for (const QByteArray &library : present)
            EXPECT_TRUE(libraries.contains(library)) << program.toStdString() << " lacks " << library.constData();
    }
}
