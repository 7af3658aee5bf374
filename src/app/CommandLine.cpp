#include "app/CommandLine.h"

#include "app/Application.h"
#include "app/ChatScriptCommand.h"
#include "app/ConfigCommand.h"
#include "app/DeliverCommand.h"
#include "app/DeliveredMessage.h"
#include "app/GeneratedReference.h"
#include "app/HelpCommand.h"
#include "app/IndexCommand.h"
#include "app/MailReportCommand.h"
#include "app/RemoteSwitch.h"
#include "app/SendCommand.h"
#include "app/StatusCommand.h"
#include "app/SubcommandParser.h"
#include "platform/preferences/SettingsPreferences.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <optional>
#include <unistd.h>

namespace wendle {

namespace {

using Handler = std::function<int(const QStringList &arguments, QTextStream &out, QTextStream &err)>;

struct Subcommand {
    QString name;
    QString synopsis;
    QString summary;
    // What the shell completes after the name (see CommandWords).
    QStringList words;
    Handler handler;
};

int runDeliver(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (const auto done = parseDeliverArguments(arguments, out, err))
        return *done;
    SettingsPreferences preferences;
    registerSettingDefaults(preferences);
    return runDeliverCommand(STDIN_FILENO, preferences, supportFolder() + QLatin1String("/attachments"), err);
}

int runChatScript(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    SubcommandParser command(QStringLiteral("chat-script"), QStringLiteral("chat-script"),
                             QStringLiteral("Write the chat handler script for \"remoteChatAddress\" and show how to\n"
                                            "make mcabber run it (events_command) on the computer's chat account."));
    if (const auto done = command.parseWithoutArguments(arguments, out, err))
        return *done;
    SettingsPreferences preferences;
    return runChatScriptCommand(preferences, supportFolder(), out, err);
}

QString version()
{
    return QStringLiteral(WENDLE_VERSION);
}

int runRun(int &argc, char **argv, const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    SubcommandParser command(QStringLiteral("run"), QStringLiteral("run [--headless]"),
                             QStringLiteral("Start Wendle for this session: a window when a display is present,\n"
                                            "otherwise in the background. One instance per session."));
    const QCommandLineOption headless(QStringLiteral("headless"), QStringLiteral("Run without a window."));
    command.parser.addOption(headless);
    if (const auto done = command.parse(arguments, out, err))
        return *done;
    if (!command.parser.positionalArguments().isEmpty())
        return command.usageError(QStringLiteral("unexpected argument ") + command.parser.positionalArguments().first(), err);
    out.flush();
    err.flush();
    return runApplication(argc, argv, command.parser.isSet(headless));
}

int runMailReport(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    SettingsPreferences preferences;
    return runMailReportCommand(preferences, arguments, out, err);
}

// The commands, in the order the usage lists them; the manual page and the
// completion are written from this table.
QList<Subcommand> subcommandTable(int &argc, char **argv)
{
    return {
        {QStringLiteral("run"),
         QStringLiteral("run [--headless]"),
         QStringLiteral("start Wendle for this session (a window when a display is present)"),
         {"--headless"},
         [&argc, argv](const QStringList &arguments, QTextStream &out, QTextStream &err) {
             return runRun(argc, argv, arguments, out, err);
         }},
        {QStringLiteral("send"),
         QStringLiteral("send --mail|--chat --from ADDRESS [--attachment PATH] [--] TEXT..."),
         QStringLiteral("hand a message to the running Wendle, as a mail rule or chat handler would"),
         {"--mail", "--chat", "--from=ADDRESS", "--attachment=FILE", "--"},
         runSendCommand},
        {QStringLiteral("deliver"),
         QStringLiteral("deliver < MESSAGE"),
         QStringLiteral("hand one RFC 5322 message on standard input to the running Wendle"),
         {},
         runDeliver},
        {QStringLiteral("status"),
         QStringLiteral("status"),
         QStringLiteral("show whether Wendle runs and the state of its connections"),
         {},
         runStatusCommand},
        {QStringLiteral("pause"),
         QStringLiteral("pause"),
         QStringLiteral("drop every command by mail and chat until wendle resume (stored)"),
         {},
         [](const QStringList &arguments, QTextStream &out, QTextStream &err) {
             return runRemoteSwitchCommand(false, arguments, out, err);
         }},
        {QStringLiteral("resume"),
         QStringLiteral("resume"),
         QStringLiteral("take commands by mail and chat again"),
         {},
         [](const QStringList &arguments, QTextStream &out, QTextStream &err) {
             return runRemoteSwitchCommand(true, arguments, out, err);
         }},
        {QStringLiteral("chat-script"),
         QStringLiteral("chat-script"),
         QStringLiteral("write the chat handler script for remoteChatAddress and show how mcabber runs it"),
         {},
         runChatScript},
        {QStringLiteral("mail-report"),
         QStringLiteral("mail-report --width N --maildir DIR"),
         QStringLiteral("print the new mail report the mail check sends (IMAP when set up, else DIR)"),
         {"--width=N", "--maildir=DIR"},
         runMailReport},
        {QStringLiteral("config"),
         QStringLiteral("config get|set|unset|describe KEY [VALUE] | list"),
         QStringLiteral("read, change and explain the settings"),
         {"get", "set", "unset", "list", "describe"},
         runConfigSubcommand},
        {QStringLiteral("index"),
         QStringLiteral("index status|rebuild"),
         QStringLiteral("show the search index, or have it built anew"),
         {"status", "rebuild"},
         runIndexCommand},
    };
}

QString usageText(const QList<Subcommand> &subcommands)
{
    QString text = QStringLiteral("Wendle: work this computer from afar by mail and chat.\n\n"
                                  "usage: wendle COMMAND [OPTIONS] [ARGUMENTS]\n"
                                  "       wendle COMMAND --help\n"
                                  "       wendle --version\n\nCommands:\n");
    for (const Subcommand &subcommand : subcommands)
        text += QStringLiteral("  wendle %1\n      %2\n").arg(subcommand.synopsis, subcommand.summary);
    text += QStringLiteral("  wendle help [COMMAND|PAGE]\n      this text, a command's options, or a page of the help book: %1\n")
                .arg(helpPageNames());
    text += QStringLiteral("\nExit status: 0 done, 1 failed (for send: Wendle not running), 2 bad usage.\n"
                           "Files: $XDG_CONFIG_HOME/wendle/wendle.conf (settings),\n"
                           "       $XDG_DATA_HOME/wendle/ (wendle.log, wendle_old.log, outbox/),\n"
                           "       $XDG_CACHE_HOME/wendle/search-index.sqlite (the search index; safe to delete).\n");
    return text;
}

// The options before the command's name.
struct GlobalOptions {
    GlobalOptions();

    QCommandLineParser parser;
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    const QCommandLineOption showVersion{{QStringLiteral("V"), QStringLiteral("version")}, QStringLiteral("Show the version.")};
    // The build writes the completion script and the manual's generated
    // sections with these, from the same tables the program reads.
    QCommandLineOption printCompletion{QStringLiteral("print-completion"), QStringLiteral("Print the bash completion script.")};
    QCommandLineOption printManual{QStringLiteral("print-manual-sections"), QStringLiteral("Print the manual's settings and help pages.")};
};

GlobalOptions::GlobalOptions()
{
    parser.setApplicationDescription(QStringLiteral("Wendle: work this computer from afar by mail and chat."));
    printCompletion.setFlags(QCommandLineOption::HiddenFromHelp);
    printManual.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({help, showVersion, printCompletion, printManual});
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
}

// --version, --help and the build's options: answered here, without a command.
std::optional<int> answerGlobalOption(const GlobalOptions &options, const QList<Subcommand> &subcommands, QTextStream &out)
{
    if (options.parser.isSet(options.showVersion)) {
        out << "wendle " << version() << '\n';
        return 0;
    }
    if (options.parser.isSet(options.printCompletion)) {
        QList<CommandWords> commands;
        for (const Subcommand &subcommand : subcommands)
            commands.append({subcommand.name, subcommand.words});
        out << completionScript(commands);
        return 0;
    }
    if (options.parser.isSet(options.printManual)) {
        out << manualSections();
        return 0;
    }
    if (options.parser.isSet(options.help)) {
        out << usageText(subcommands);
        return 0;
    }
    return std::nullopt;
}

bool isSubcommand(const QList<Subcommand> &subcommands, const QString &name)
{
    return std::any_of(subcommands.cbegin(), subcommands.cend(), [&name](const Subcommand &subcommand) { return subcommand.name == name; });
}

// "wendle help" and "wendle help COMMAND" read like the options; any other
// word is a page of the help book. Changes name and arguments into the
// command whose help is asked for, or answers at once.
std::optional<int> answerHelp(int &argc, char **argv, const QList<Subcommand> &subcommands, QString &name, QStringList &arguments,
                              QTextStream &out, QTextStream &err)
{
    if (arguments.isEmpty()) {
        out << usageText(subcommands);
        return 0;
    }
    name = arguments.takeFirst();
    if (isSubcommand(subcommands, name)) {
        arguments = {QStringLiteral("--help")};
        return std::nullopt;
    }
    if (!arguments.isEmpty()) {
        err << "usage: wendle help [COMMAND|PAGE]\n";
        return UsageExitCode;
    }
    out.flush();
    err.flush();
    return runHelpCommand(argc, argv, name);
}

int runSubcommand(int &argc, char **argv, const QList<Subcommand> &subcommands, const QString &name, const QStringList &arguments,
                  QTextStream &out, QTextStream &err)
{
    for (const Subcommand &subcommand : subcommands) {
        if (subcommand.name != name)
            continue;
        if (name == QLatin1String("run"))
            return subcommand.handler(arguments, out, err);
        // Everything but `run` needs no more than the core application.
        QCoreApplication app(argc, argv);
        return subcommand.handler(arguments, out, err);
    }
    err << "wendle: unknown command '" << name << "'\n\n" << usageText(subcommands);
    return UsageExitCode;
}

} // namespace

int runCommandLine(int &argc, char **argv)
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    const QList<Subcommand> subcommands = subcommandTable(argc, argv);

    QFile outFile, errFile;
    outFile.open(stdout, QIODevice::WriteOnly);
    errFile.open(stderr, QIODevice::WriteOnly);
    QTextStream out(&outFile), err(&errFile);

    GlobalOptions options;
    if (!options.parser.parse(QStringList{QStringLiteral("wendle")} + words)) {
        err << "wendle: " << options.parser.errorText() << "\n\n" << usageText(subcommands);
        return UsageExitCode;
    }
    if (const auto done = answerGlobalOption(options, subcommands, out))
        return *done;
    QStringList arguments = options.parser.positionalArguments();
    if (arguments.isEmpty()) {
        err << usageText(subcommands);
        return UsageExitCode;
    }
    QString name = arguments.takeFirst();
    if (name == QLatin1String("help")) {
        if (const auto done = answerHelp(argc, argv, subcommands, name, arguments, out, err))
            return *done;
    }
    return runSubcommand(argc, argv, subcommands, name, arguments, out, err);
}

} // namespace wendle
