#include "app/Application.h"
#include "app/ChatScriptCommand.h"
#include "app/ConfigCommand.h"
#include "app/DeliverCommand.h"
#include "app/HelpCommand.h"
#include "app/Controller.h"
#include "app/SendCommand.h"
#include "platform/preferences/SettingsPreferences.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <cstring>

namespace {

const char *Usage =
    "Wendle: work this computer from afar by mail and chat.\n"
    "\n"
    "usage: wendle run [--headless]\n"
    "           Start Wendle for this session (a window when a display is present).\n"
    "       wendle send --mail|--chat --from ADDRESS [--attachment PATH] [--] TEXT...\n"
    "           Hand a message to the running Wendle, as a mail rule or chat handler would.\n"
    "       wendle deliver < MESSAGE\n"
    "           Hand one RFC 5322 message from standard input to the running Wendle\n"
    "           (for procmail, maildrop, Sieve pipe, .forward). Exit 0 handed over,\n"
    "           75 try again later (Wendle not running), 65 unusable message.\n"
    "       wendle config get KEY | set KEY VALUE | unset KEY | list\n"
    "           Read and change the settings.\n"
    "       wendle chat-script\n"
    "           Write the chat handler script for \"remoteChatAddress\" and show how to\n"
    "           make mcabber run it (events_command) on the computer's chat account.\n"
    "       wendle help [PAGE]\n"
    "           Show a page of Wendle's help (computer, ped, sec, chat, custom,\n"
    "           configuring, isight); as plain text when there is no display.\n"
    "       wendle --help\n"
    "\n"
    "Exit status: 0 done, 1 failed (for send: Wendle not running), 2 bad usage.\n"
    "Files: $XDG_CONFIG_HOME/wendle/wendle.conf (settings),\n"
    "       $XDG_DATA_HOME/wendle/ (wendle.log, wendle_old.log, outbox/).\n";

bool isHelp(const char *argument)
{
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const char *command = argv[1];
    if (isHelp(command)) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (std::strcmp(command, "help") == 0)
        return wendle::runHelpCommand(argc, argv);
    if (std::strcmp(command, "run") == 0) {
        bool headless = false;
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--headless") == 0) {
                headless = true;
            } else {
                std::fprintf(stderr, "wendle run: unknown option %s\nusage: wendle run [--headless]\n", argv[i]);
                return 2;
            }
        }
        return wendle::runApplication(argc, argv, headless);
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("wendle"));
    QStringList arguments = QCoreApplication::arguments().mid(2);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.contains(QStringLiteral("--help"))) {
        out << Usage;
        return 0;
    }
    if (std::strcmp(command, "send") == 0)
        return wendle::runSendCommand(arguments, err);
    if (std::strcmp(command, "deliver") == 0) {
        if (!arguments.isEmpty()) {
            err << "usage: wendle deliver < MESSAGE\n";
            return 2;
        }
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly)) {
            err << "wendle deliver: cannot read standard input\n";
            return wendle::TryAgainLaterExitCode;
        }
        return wendle::runDeliverCommand(input, wendle::supportFolder() + QLatin1String("/attachments"), err);
    }
    if (std::strcmp(command, "config") == 0) {
        wendle::SettingsPreferences preferences;
        wendle::Controller::registerDefaults(preferences);
        return wendle::runConfigCommand(preferences, arguments, out, err);
    }
    if (std::strcmp(command, "chat-script") == 0) {
        wendle::SettingsPreferences preferences;
        return wendle::runChatScriptCommand(preferences, wendle::supportFolder(), out, err);
    }
    err << "wendle: unknown command '" << command << "'\n\n" << Usage;
    return 2;
}
