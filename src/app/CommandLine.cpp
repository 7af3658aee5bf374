#include "app/CommandLine.h"

#include "app/Application.h"
#include "app/ChatScriptCommand.h"
#include "app/ConfigCommand.h"
#include "app/Controller.h"
#include "app/DeliverCommand.h"
#include "app/DeliveredMessage.h"
#include "app/GeneratedReference.h"
#include "app/HelpCommand.h"
#include "app/IndexCommand.h"
#include "app/MailReportCommand.h"
#include "app/RemoteSwitch.h"
#include "app/SendCommand.h"
#include "app/Settings.h"
#include "app/SubcommandParser.h"
#include "app/StatusCommand.h"
#include "platform/preferences/SettingsPreferences.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <functional>
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

} // namespace

int runCommandLine(int &argc, char **argv)
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);

    const QList<Subcommand> subcommands = {
        {QStringLiteral("run"), QStringLiteral("run [--headless]"), QStringLiteral("start Wendle for this session (a window when a display is present)"), {"--headless"},
         [&argc, argv](const QStringList &arguments, QTextStream &out, QTextStream &err) {
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
         }},
        {QStringLiteral("send"), QStringLiteral("send --mail|--chat --from ADDRESS [--attachment PATH] [--] TEXT..."),
         QStringLiteral("hand a message to the running Wendle, as a mail rule or chat handler would"), {"--mail", "--chat", "--from=ADDRESS", "--attachment=FILE", "--"},
         [](const QStringList &arguments, QTextStream &out, QTextStream &err) { return runSendCommand(arguments, out, err); }},
        {QStringLiteral("deliver"), QStringLiteral("deliver < MESSAGE"), QStringLiteral("hand one RFC 5322 message on standard input to the running Wendle"), {}, runDeliver},
        {QStringLiteral("status"), QStringLiteral("status"), QStringLiteral("show whether Wendle runs and the state of its connections"), {}, runStatusCommand},
        {QStringLiteral("pause"), QStringLiteral("pause"), QStringLiteral("drop every command by mail and chat until wendle resume (stored)"), {},
         [](const QStringList &arguments, QTextStream &out, QTextStream &err) { return runRemoteSwitchCommand(false, arguments, out, err); }},
        {QStringLiteral("resume"), QStringLiteral("resume"), QStringLiteral("take commands by mail and chat again"), {},
         [](const QStringList &arguments, QTextStream &out, QTextStream &err) { return runRemoteSwitchCommand(true, arguments, out, err); }},
        {QStringLiteral("chat-script"), QStringLiteral("chat-script"),
         QStringLiteral("write the chat handler script for remoteChatAddress and show how mcabber runs it"), {}, runChatScript},
        {QStringLiteral("mail-report"), QStringLiteral("mail-report --width N --maildir DIR"),
         QStringLiteral("print the new mail report the mail check sends (IMAP when set up, else DIR)"), {"--width=N", "--maildir=DIR"},
         [](const QStringList &arguments, QTextStream &out, QTextStream &err) {
             SettingsPreferences preferences;
             return runMailReportCommand(preferences, arguments, out, err);
         }},
        {QStringLiteral("config"), QStringLiteral("config get|set|unset|describe KEY [VALUE] | list"), QStringLiteral("read, change and explain the settings"), {"get", "set", "unset", "list", "describe"}, runConfigSubcommand},
        {QStringLiteral("index"), QStringLiteral("index status|rebuild"), QStringLiteral("show the search index, or have it built anew"), {"status", "rebuild"}, runIndexCommand},
    };

    QCommandLineParser global;
    global.setApplicationDescription(QStringLiteral("Wendle: work this computer from afar by mail and chat."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption showVersion({QStringLiteral("V"), QStringLiteral("version")}, QStringLiteral("Show the version."));
    // The build writes the completion script and the manual's generated
    // sections with these, from the same tables the program reads.
    QCommandLineOption printCompletion(QStringLiteral("print-completion"), QStringLiteral("Print the bash completion script."));
    QCommandLineOption printManual(QStringLiteral("print-manual-sections"), QStringLiteral("Print the manual's settings and help pages."));
    printCompletion.setFlags(QCommandLineOption::HiddenFromHelp);
    printManual.setFlags(QCommandLineOption::HiddenFromHelp);
    global.addOptions({help, showVersion, printCompletion, printManual});
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);

    QFile outFile, errFile;
    outFile.open(stdout, QIODevice::WriteOnly);
    errFile.open(stderr, QIODevice::WriteOnly);
    QTextStream out(&outFile), err(&errFile);

    auto usage = [&]() {
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
    };

    if (!global.parse(QStringList{QStringLiteral("wendle")} + words)) {
        err << "wendle: " << global.errorText() << "\n\n" << usage();
        return UsageExitCode;
    }
    if (global.isSet(showVersion)) {
        out << "wendle " << version() << '\n';
        return 0;
    }
    if (global.isSet(printCompletion)) {
        QList<CommandWords> commands;
        for (const Subcommand &subcommand : subcommands)
            commands.append({subcommand.name, subcommand.words});
        out << completionScript(commands);
        return 0;
    }
    if (global.isSet(printManual)) {
        out << manualSections();
        return 0;
    }
    QStringList positional = global.positionalArguments();
    if (global.isSet(help)) {
        out << usage();
        return 0;
    }
    if (positional.isEmpty()) {
        err << usage();
        return UsageExitCode;
    }
    QString name = positional.takeFirst();
    // "wendle help" and "wendle help COMMAND" read like the options.
    if (name == QLatin1String("help")) {
        if (positional.isEmpty()) {
            out << usage();
            return 0;
        }
        name = positional.takeFirst();
        const bool isCommand = std::any_of(subcommands.cbegin(), subcommands.cend(),
                                           [&name](const Subcommand &subcommand) { return subcommand.name == name; });
        if (!isCommand) {
            if (!positional.isEmpty()) {
                err << "usage: wendle help [COMMAND|PAGE]\n";
                return UsageExitCode;
            }
            out.flush();
            err.flush();
            return runHelpCommand(argc, argv, name);
        }
        positional = {QStringLiteral("--help")};
    }
    for (const Subcommand &subcommand : subcommands) {
        if (subcommand.name != name)
            continue;
        if (name == QLatin1String("run"))
            return subcommand.handler(positional, out, err);
        // Everything but `run` needs no more than the core application.
        QCoreApplication app(argc, argv);
        return subcommand.handler(positional, out, err);
    }
    err << "wendle: unknown command '" << name << "'\n\n" << usage();
    return UsageExitCode;
}

} // namespace wendle
