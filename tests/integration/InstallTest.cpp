#include "support/TestFiles.h"
#include "support/WendleInstance.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace wendle::test;

namespace {

// Wendle installed into a temporary prefix with the build's own install
// rules, run from there the way a packaged copy runs.
class InstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *program : {"dbus-run-session", "man", "bash"}) {
            if (QStandardPaths::findExecutable(program).isEmpty())
                GTEST_SKIP() << program << " is not installed; scripts/install-deps installs it";
        }
        ASSERT_TRUE(prefix.isValid() && home.isValid());
        ASSERT_EQ(run(WENDLE_CMAKE, {"--install", WENDLE_BUILD_DIR, "--prefix", prefix.path()}), 0) << output.constData();
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        // Where the bus looks for service files, as for any installed program.
        env.insert("XDG_DATA_DIRS", prefix.filePath("share") + ":/usr/share");
        env.insert("PATH", prefix.filePath("bin") + ':' + env.value("PATH"));
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        return env;
    }

    // Runs a program to the end; its exit code (-1 when it hangs), with
    // standard output and error in `output`.
    int run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
    {
        QByteArray errors;
        const int status = runProcess(program, arguments, env, &output, &errors);
        output += errors;
        return status;
    }
    int run(const QString &program, const QStringList &arguments) { return run(program, arguments, environment()); }

    QString installed(const QString &path) const { return prefix.filePath(path); }

    QTemporaryDir prefix;
    QTemporaryDir home;
    QByteArray output;
};

} // namespace

TEST_F(InstallTest, PutsEveryFileInPlaceAndTheEntriesNameTheInstalledBinaryAndCompletionWorks)
{
    const QString binary = installed("bin/wendle");
    const std::pair<const char *, const char *> files[] = {
        {"share/wendle/messages.json", "\"startup_log\""},
        {"share/bash-completion/completions/wendle", "complete -F _wendle wendle"},
        {"share/applications/org.wendle.Wendle.desktop", "Icon=org.wendle.Wendle\n"},
        {"share/icons/hicolor/scalable/apps/org.wendle.Wendle.svg", "<svg"},
        {"share/wendle/autostart/wendle-autostart.desktop", "run --headless\n"},
        {"share/systemd/user/wendle.service", "Type=dbus\nBusName=org.wendle.Wendle\n"},
        {"share/dbus-1/services/org.wendle.Wendle.service", "Name=org.wendle.Wendle\n"},
    };
    for (const auto &[path, contents] : files)
        EXPECT_TRUE(readFile(installed(path)).contains(contents)) << path;
    // The entries start the full program; the client would only hand over to it.
    const QString daemon = installed("libexec/wendle/wendle-daemon");
    for (const char *entry : {"share/applications/org.wendle.Wendle.desktop", "share/systemd/user/wendle.service",
                              "share/dbus-1/services/org.wendle.Wendle.service", "share/wendle/autostart/wendle-autostart.desktop"})
        EXPECT_TRUE(readFile(installed(entry)).contains('=' + daemon.toUtf8() + " run")) << entry;

    EXPECT_EQ(run(binary, {"--version"}), 0);
    EXPECT_EQ(output, "wendle 0.1\n");
    // The client finds the installed full program for the commands it does not run itself.
    EXPECT_EQ(run(binary, {"help", "run"}), 0);
    EXPECT_TRUE(output.startsWith("usage: wendle run [--headless]\n")) << output.constData();
    EXPECT_EQ(run("man", {"-l", installed("share/man/man1/wendle.1")}), 0);
    EXPECT_TRUE(output.contains("wendle - work this computer from afar by mail and chat")) << output.constData();
    EXPECT_TRUE(output.contains("EXIT STATUS"));

    // The completion, one line of each kind: that every word is in the lists is CommandLineTest's.
    const std::pair<const char *, const char *> completions[] = {
        {"wendle st", "status"},
        {"wendle config ", "get set unset list describe --help"},
        {"wendle config get maxFile", "maxFileSize maxFilesReturned"},
        {"wendle send --at", "--attachment"},
        {"wendle help con", "config configuring"},
    };
    const QString script = QStringLiteral("source /usr/share/bash-completion/bash_completion\n"
                                          "source '%1'\n"
                                          "COMP_LINE=$1; COMP_POINT=${#1}\n"
                                          "read -ra COMP_WORDS <<< \"$1\"\n"
                                          "[[ $1 == *' ' ]] && COMP_WORDS+=('')\n"
                                          "COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))\n"
                                          "_wendle\n"
                                          "echo \"${COMPREPLY[*]}\"\n")
                               .arg(installed("share/bash-completion/completions/wendle"));
    for (const auto &[line, expected] : completions) {
        EXPECT_EQ(run("bash", {"-c", script, "completion", line}), 0) << line;
        EXPECT_EQ(output.trimmed(), expected) << line;
    }
}

TEST_F(InstallTest, SendStartsWendleThroughTheInstalledServiceFile)
{
    // No Wendle runs: the session bus starts it for the first send from the
    // service file, and status then finds it.
    const QString script = QStringLiteral("wendle status; echo \"before: $?\"\n"
                                          "wendle config set remoteEmailAddress owner@example.org || exit 9\n"
                                          "wendle send --mail --from owner@example.org wndl email || exit 10\n"
                                          "wendle status > '%1' || exit 11\n"
                                          "pid=$(sed -n 's/^process: //p' '%1')\n"
                                          "kill \"$pid\"\n"
                                          "for i in $(seq 100); do kill -0 \"$pid\" 2>/dev/null || exit 0; sleep 0.1; done\n"
                                          "kill -9 \"$pid\"; exit 12\n")
                               .arg(home.filePath("status.txt"));
    EXPECT_EQ(run("dbus-run-session", {"--", "bash", "-c", script}), 0) << output.constData();
    EXPECT_TRUE(output.contains("running: no\nbefore: 1\n")) << output.constData();
    EXPECT_TRUE(readFile(home.filePath("status.txt")).startsWith("running: yes\n"));
    const QByteArray log = readFile(home.filePath("data/wendle/wendle.log"));
    EXPECT_TRUE(log.contains("Processing command from owner@example.org")) << log.constData();
    EXPECT_TRUE(log.endsWith(": Wendle shut down"));
}

// The user manager reads /usr/lib and /usr/local/lib whatever the
// environment, and share/systemd/user of the data folders ($XDG_DATA_HOME
// for ~/.local): each prefix gets the folder its unit is found in.
TEST_F(InstallTest, TheUserUnitGoesWhereTheUserManagerLooksForIt)
{
    const std::pair<const char *, const char *> units[] = {
        {"/usr", "/usr/lib/systemd/user/wendle.service"},
        {"/usr/local", "/usr/local/lib/systemd/user/wendle.service"},
        {"/opt/wendle", "/opt/wendle/share/systemd/user/wendle.service"},
    };
    for (const auto &[prefix, unit] : units) {
        QTemporaryDir stage;
        QProcessEnvironment env = environment();
        env.insert("DESTDIR", stage.path());
        ASSERT_EQ(run(WENDLE_CMAKE, {"--install", WENDLE_BUILD_DIR, "--prefix", prefix}, env), 0) << output.constData();
        EXPECT_TRUE(readFile(stage.path() + unit).contains(QByteArray(prefix) + "/libexec/wendle/wendle-daemon run --headless")) << unit;
    }
    // Where the data folders lead it, the user manager finds the unit of ~/.local and the like.
    if (run("systemd-analyze", {"--user", "unit-paths"}) != 0)
        GTEST_SKIP() << "systemd-analyze cannot list the user unit folders here: " << output.constData();
    EXPECT_TRUE(output.contains(installed("share/systemd/user").toUtf8() + '\n')) << output.constData();
}

TEST_F(InstallTest, TheInstalledEntriesPassTheirValidators)
{
    QStringList missing;
    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty()) {
        missing << "desktop-file-validate (desktop-file-utils)";
    } else {
        // Not even a hint: a menu shows the entry once, under one main category.
        for (const char *entry : {"share/applications/org.wendle.Wendle.desktop", "share/wendle/autostart/wendle-autostart.desktop"}) {
            EXPECT_EQ(run("desktop-file-validate", {installed(entry)}), 0) << entry;
            EXPECT_EQ(output, "") << entry;
        }
    }
    // The manual page the unit names must be found too.
    QProcessEnvironment env = environment();
    env.insert("MANPATH", installed("share/man") + ':');
    env.insert("XDG_RUNTIME_DIR", home.path());
    const int verified = run("systemd-analyze", {"--user", "verify", installed("share/systemd/user/wendle.service")}, env);
    if (verified == 0)
        EXPECT_EQ(output, "") << "warnings about the unit";
    else if (QStandardPaths::findExecutable("systemd-analyze").isEmpty() || output.contains("Failed to initialize manager"))
        missing << "systemd-analyze cannot run a user manager here: " + QString::fromUtf8(output);
    else
        ADD_FAILURE() << "systemd-analyze --user verify: " << output.constData();
    if (!missing.isEmpty())
        GTEST_SKIP() << "not checked: " << missing.join("; ").toStdString();
}

// `make install` then `make uninstall`: nothing of what the install's
// manifest names is left, and nothing else was put in the prefix.
TEST_F(InstallTest, UninstallRemovesEveryFileTheManifestNames)
{
    QTemporaryDir target;
    const QString make = QStringLiteral("PREFIX=") + target.path();
    const QStringList options{"-C", WENDLE_SOURCE_RESOURCES "/..", QStringLiteral("BUILD=") + WENDLE_BUILD_DIR, make};
    ASSERT_EQ(run("make", options + QStringList{"install"}), 0) << output.constData();
    const QString manifest = target.filePath("share/wendle/install_manifest.txt");
    QStringList listed = QString::fromUtf8(readFile(manifest)).split('\n', Qt::SkipEmptyParts);
    QStringList present;
    for (QDirIterator it(target.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        present << it.next();
    EXPECT_TRUE(listed.contains(target.filePath("bin/wendle")) && listed.contains(target.filePath("libexec/wendle/wendle-daemon"))
                && listed.contains(manifest))
        << listed.join(QLatin1Char(10)).toStdString();
    present.sort();
    listed.sort();
    EXPECT_EQ(present, listed);

    ASSERT_EQ(run("make", options + QStringList{"uninstall"}), 0) << output.constData();
    for (const QString &path : listed)
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target.filePath("share/wendle")));
    EXPECT_FALSE(QFileInfo::exists(target.filePath("libexec/wendle")));
    EXPECT_TRUE(output.contains(home.filePath("config/wendle").toUtf8())) << "the folders that stay: " << output.constData();
    EXPECT_NE(run("make", options + QStringList{"uninstall"}), 0) << "a second uninstall finds nothing to remove";
}

// Building and running Wendle installs no server nor test tool: those are for the tests.
TEST(InstallDeps, TheRunSetHoldsNoServer)
{
    const QString script = QStringLiteral(WENDLE_SOURCE_RESOURCES "/../scripts/install-deps");
    QByteArray runSet, everything;
    ASSERT_EQ(runProcess(script, {"--run-only", "--print"}, QProcessEnvironment::systemEnvironment(), &runSet), 0);
    ASSERT_EQ(runProcess(script, {"--print"}, QProcessEnvironment::systemEnvironment(), &everything), 0);
    const QStringList run = QString::fromUtf8(runSet).split(u'\n', Qt::SkipEmptyParts);
    const QStringList all = QString::fromUtf8(everything).split(u'\n', Qt::SkipEmptyParts);
    for (const char *server : {"cups-daemon", "dovecot-imapd", "opensmtpd", "prosody", "recoll", "plocate", "go-sendxmpp", "libgtest-dev",
                               "desktop-file-utils"}) {
        EXPECT_FALSE(run.contains(server)) << server;
        EXPECT_TRUE(all.contains(server)) << server;
    }
    for (const QString &package : run)
        EXPECT_TRUE(all.contains(package)) << package.toStdString();
}
