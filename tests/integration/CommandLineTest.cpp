#include "support/WendleInstance.h"

#include <QRegularExpression>

using namespace wendle::test;

namespace {

class CommandLineTest : public SessionTest {};

} // namespace

TEST_F(CommandLineTest, HelpVersionAndBadUsageWithoutARunningInstance)
{
    struct Case { QStringList arguments; int exitCode; const char *output; const char *errors; };
    const Case cases[] = {
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
        // Help pages read as text without a display.
        {{"help", "sec"}, 0, "The Security tab", ""},
        {{"help", "nonsense"}, 2, "", "the pages are: computer, ped, sec, chat, custom, configuring, isight"},
    };
    for (const Case &c : cases) {
        QByteArray output, errors;
        EXPECT_EQ(session.runWendle(c.arguments, &output, &errors), c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(output.contains(c.output)) << c.arguments.join(' ').toStdString() << ": " << output.constData();
        EXPECT_TRUE(errors.contains(c.errors)) << c.arguments.join(' ').toStdString() << ": " << errors.constData();
        EXPECT_FALSE(output.contains("<h1>")) << c.arguments.join(' ').toStdString();
    }
}

TEST_F(CommandLineTest, TextAfterTheOptionsIsSentAsItIsAndStatusDescribesTheInstance)
{
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
    const QString log = session.logText();
    for (const char *word : {"--help", "-x", "--chat"})
        EXPECT_TRUE(log.contains(QStringLiteral("files named: ")) && log.contains(word)) << word << " in " << log.toStdString();

    QByteArray output;
    EXPECT_EQ(session.runWendle({"status"}, &output), 0);
    const QString status = QString::fromUtf8(output);
    EXPECT_TRUE(status.startsWith("running: yes\nprocess: ")) << output.constData();
    for (const char *line : {"\nmail: commands through wendle deliver (no imapUrl); replies by outbox\n", "\nchat: outbox\n",
                             "\nreplies waiting: 0\n", "\nwaiting for a confirmation: nothing\n", "\nsearch index: "})
        EXPECT_TRUE(status.contains(line)) << line << " in " << output.constData();
    EXPECT_EQ(session.stopDaemon(), 0);
}

// The code Wendle waits for, in the words of the commands that asked for it.
TEST_F(CommandLineTest, StatusSaysWhatTheAwaitedCodeWouldDo)
{
    for (int i = 1; i <= 4; ++i)
        ASSERT_TRUE(writeFile(session.home() + QStringLiteral("/Documents/budget %1.txt").arg(i), "figures"));
    ASSERT_TRUE(writeFile(session.home() + "/Documents/resume.txt", "Dear sir"));
    ASSERT_TRUE(writeFile(session.home() + "/bin/backup.scpt", "#!/bin/sh\necho done\n"));
    QFile::setPermissions(session.home() + "/bin/backup.scpt", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(session.configure({{"limitCommandsFlag", "no"},
                                   {"customCommandsArray", "[{\"path\": \"" + session.home() + "/bin/backup.scpt\", \"shortcut\": \"backup\"}]"}}));
    ASSERT_TRUE(session.startDaemon());
    struct Case { const char *command; const char *words; };
    const Case cases[] = {
        {"wndl find named budget", "a list of 4 files named budget; reply with wndl (\\d\\d) and a line number"},
        {"wndl fax 5551234 named resume", "a list of 1 file named resume to fax to 5551234; reply with wndl (\\d\\d) and a line number"},
        {"wndl launch backup", "the custom command backup, reply with wndl (\\d\\d)"},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(session.send("owner@example.org", c.command), 0);
        const QRegularExpression line(QStringLiteral("\nwaiting for a confirmation: %1\n").arg(c.words));
        QString status;
        EXPECT_TRUE(waitFor([&] {
            QByteArray output;
            session.runWendle({"status"}, &output);
            status = QString::fromUtf8(output);
            return line.match(status).hasMatch();
        })) << c.command << "\n" << status.toStdString();
        // The code named is the one the owner was sent.
        const QString code = line.match(status).captured(1);
        EXPECT_TRUE(!code.isEmpty() && QString::fromUtf8(readFile(session.outboxFiles().last())).contains(code)) << c.command;
    }
    EXPECT_EQ(session.stopDaemon(), 0);
}
