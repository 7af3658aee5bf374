// wendle-client, which `wendle` starts for the commands that only talk to
// the running Wendle or read the settings (send, status, config, --version)
// in the forms `wendle` does not answer itself: they run here, on Qt Core and DBus alone, so
// that they start in a few milliseconds. Everything else (run, help, index,
// ...) is the full program's, wendle-daemon beside this one: it is started
// in this process, with the same arguments, before anything here changed
// the process.
#include "app/ConfigCommand.h"
#include "app/SendCommand.h"
#include "app/StatusCommand.h"
#include "app/SubcommandParser.h"
#include "platform/process/OwnerUmask.h"
#include "platform/process/RuntimeFolder.h"
#include "platform/trace/RoadTrace.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using namespace wendle;

// The full program, beside this one in the build folder and once installed.
std::string fullProgramPath()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return WENDLE_INSTALLED_HELPERS "/wendle-daemon";
    const std::string path(self, size_t(length));
    return path.substr(0, path.rfind('/')) + "/wendle-daemon";
}

// Never returns: the full program takes over this process, its arguments,
// its standard input (unread) and its environment.
[[noreturn]] void runFullProgram(char **argv, int failureCode)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const std::string program = fullProgramPath();
    ::execv(program.c_str(), argv);
    std::fprintf(stderr, "wendle: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    ::_exit(failureCode);
}

enum class Road { Version, Send, Status, Config, FullProgram };

// The global options as the full program reads them, so that a command line
// goes to the same command there and here.
Road roadOf(const QStringList &words, QStringList *arguments)
{
    QCommandLineParser global;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption showVersion({QStringLiteral("V"), QStringLiteral("version")}, QStringLiteral("Show the version."));
    const QCommandLineOption printCompletion(QStringLiteral("print-completion"), QString());
    const QCommandLineOption printManual(QStringLiteral("print-manual-sections"), QString());
    global.addOptions({help, showVersion, printCompletion, printManual});
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!global.parse(QStringList{QStringLiteral("wendle")} + words))
        return Road::FullProgram;
    if (global.isSet(showVersion))
        return Road::Version;
    if (global.isSet(printCompletion) || global.isSet(printManual) || global.isSet(help))
        return Road::FullProgram;
    *arguments = global.positionalArguments();
    if (arguments->isEmpty())
        return Road::FullProgram;
    const QString name = arguments->takeFirst();
    if (name == QLatin1String("send"))
        return Road::Send;
    if (name == QLatin1String("status"))
        return Road::Status;
    if (name == QLatin1String("config"))
        return Road::Config;
    return Road::FullProgram;
}

} // namespace

int main(int argc, char **argv)
{
    traceStep("client: started");
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    QStringList arguments;
    const Road road = roadOf(words, &arguments);
    if (road == Road::FullProgram)
        runFullProgram(argv, 1);
    if (road == Road::Version) {
        std::fputs("wendle " WENDLE_VERSION "\n", stdout);
        return 0;
    }

    // As the full program does before anything is written.
    keepOwnFilesPrivate();
    provideRuntimeFolder();
    QCoreApplication::setApplicationName(QStringLiteral("wendle"));
    QFile outFile, errFile;
    outFile.open(stdout, QIODevice::WriteOnly);
    errFile.open(stderr, QIODevice::WriteOnly);
    QTextStream out(&outFile), err(&errFile);
    QCoreApplication app(argc, argv);
    switch (road) {
    case Road::Send: return runSendCommand(arguments, out, err);
    case Road::Status: return runStatusCommand(arguments, out, err);
    default: return runConfigSubcommand(arguments, out, err);
    }
}
