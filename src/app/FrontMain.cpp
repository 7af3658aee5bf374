// The `wendle` that users, mail rules and chat handlers start. It links no
// Qt at all: `wendle --version`, `wendle deliver`, which a mail system runs
// for every message, and the plain form of `wendle send` that mail rules and
// chat handlers use are answered here with libdbus alone, in about a
// millisecond of work. Every other command line goes, unchanged, to one of
// two programs started in this process: wendle-client (Qt Core and DBus:
// send with anything more, status, config, and any command line that starts
// with an option) or wendle-daemon, the full program (run, help, index, ...).
#include "platform/trace/RoadTrace.h"

#include <dbus/dbus.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using wendle::traceStep;

// As DeliverCommand.h and InboundMessage.h say them.
constexpr int DeliveredExitCode = 0;
constexpr int BadMessageExitCode = 65;
constexpr int TryAgainLaterExitCode = 75;
constexpr size_t MaxMessageBytes = 50 * 1024 * 1024;
constexpr unsigned long long MostBytesDrained = 4ULL * 1024 * 1024 * 1024;
constexpr int DeliverTimeoutMs = 120000;

// Beside this program in the build folder; under libexec/wendle once installed.
std::string helperPath(const char *name)
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder = length > 0 ? std::string(self, size_t(length)) : std::string();
    folder = folder.substr(0, folder.rfind('/'));
    for (const std::string &candidate : {folder + '/' + name, folder + "/" WENDLE_HELPERS_FROM_BINDIR "/" + name}) {
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::string(WENDLE_INSTALLED_HELPERS "/") + name;
}

[[noreturn]] void runHelper(const char *name, char **argv, int failureCode)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const std::string program = helperPath(name);
    ::execv(program.c_str(), argv);
    std::fprintf(stderr, "wendle: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    ::_exit(failureCode);
}

void printLines(const char *text)
{
    const char *line = text;
    while (true) {
        const char *end = std::strchr(line, '\n');
        std::fprintf(stderr, "wendle deliver: %.*s\n", int(end ? end - line : int(std::strlen(line))), line);
        if (!end)
            break;
        line = end + 1;
    }
}

// The session bus as the Qt programs find it: DBUS_SESSION_BUS_ADDRESS, else
// the user's bus in the runtime folder (never X11 autolaunch). False when
// there is none; the full program then says why, as it always did.
bool findSessionBus()
{
    const char *address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return true;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string socket = (runtime && *runtime ? std::string(runtime) : "/run/user/" + std::to_string(::getuid())) + "/bus";
    struct stat status;
    if (::stat(socket.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode))
        return false;
    std::string value = "unix:path=";
    for (const unsigned char c : socket) {
        if (std::isalnum(c) || std::strchr("-._/*", c)) {
            value += char(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            value += escaped;
        }
    }
    return ::setenv("DBUS_SESSION_BUS_ADDRESS", value.c_str(), 1) == 0;
}

// The whole input into a sealed file in memory, read to its end; past the
// bound the rest is read and dropped. -1 with errno when it cannot be read
// or held; *tooLarge when it was larger than a message may be.
int readInput(bool *tooLarge, bool *unreadable)
{
    const int file = ::memfd_create("wendle-message", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (file < 0)
        return -1;
    static char piece[64 * 1024];
    size_t kept = 0;
    unsigned long long beyond = 0;
    while (true) {
        const ssize_t got = ::read(STDIN_FILENO, piece, sizeof piece);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(file);
            *unreadable = true;
            errno = error;
            return -1;
        }
        if (got == 0)
            break;
        if (beyond == 0 && kept + size_t(got) <= MaxMessageBytes) {
            for (ssize_t at = 0; at < got;) {
                const ssize_t wrote = ::write(file, piece + at, size_t(got - at));
                if (wrote < 0 && errno == EINTR)
                    continue;
                if (wrote <= 0) {
                    const int error = errno;
                    ::close(file);
                    errno = error;
                    return -1;
                }
                at += wrote;
            }
            kept += size_t(got);
            continue;
        }
        beyond += size_t(got);
        if (beyond >= MostBytesDrained)
            break;
    }
    if (beyond > 0) {
        ::close(file);
        *tooLarge = true;
        return -1;
    }
    // Sealed, so Wendle reads exactly what was read here.
    ::fcntl(file, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    ::lseek(file, 0, SEEK_SET);
    return file;
}

// `wendle deliver`: the message's bytes to the running Wendle (or the one
// the bus starts), which reads it and answers what to print; without a
// Wendle the full program reads it itself, from the same bytes.
int deliver(char **argv)
{
    if (!findSessionBus())
        runHelper("wendle-daemon", argv, TryAgainLaterExitCode);
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!bus) {
        dbus_error_free(&error);
        runHelper("wendle-daemon", argv, TryAgainLaterExitCode);
    }
    dbus_connection_set_exit_on_disconnect(bus, false);
    traceStep("client: bus connected");

    bool tooLarge = false, unreadable = false;
    const int file = readInput(&tooLarge, &unreadable);
    if (tooLarge) {
        std::fprintf(stderr, "wendle deliver: the message is larger than %zu MB; it was not handed to Wendle\n", MaxMessageBytes >> 20);
        return BadMessageExitCode;
    }
    if (file < 0) {
        std::fprintf(stderr,
                     unreadable ? "wendle deliver: cannot read standard input: %s\n"
                                : "wendle deliver: cannot hold the message for Wendle: %s\n",
                     std::strerror(errno));
        return TryAgainLaterExitCode;
    }
    DBusMessage *call =
        dbus_message_new_method_call("org.wendle.Wendle", "/org/wendle/Wendle", "org.wendle.Wendle.Inbound", "DeliverMessage");
    if (!call || !dbus_message_append_args(call, DBUS_TYPE_UNIX_FD, &file, DBUS_TYPE_INVALID)) {
        std::fprintf(stderr, "wendle deliver: cannot hold the message for Wendle: %s\n", std::strerror(ENOMEM));
        return TryAgainLaterExitCode;
    }
    traceStep("client: call sent");
    DBusMessage *reply = dbus_connection_send_with_reply_and_block(bus, call, DeliverTimeoutMs, &error);
    traceStep("client: call answered");
    if (!reply) {
        if (error.name && std::strcmp(error.name, DBUS_ERROR_SERVICE_UNKNOWN) == 0) {
            // No Wendle runs and none can be started.
            if (::dup2(file, STDIN_FILENO) < 0)
                return TryAgainLaterExitCode;
            runHelper("wendle-daemon", argv, TryAgainLaterExitCode);
        }
        printLines(error.message ? error.message : "");
        return error.name && std::strcmp(error.name, "org.wendle.Wendle.Error.BadMessage") == 0 ? BadMessageExitCode
                                                                                                : TryAgainLaterExitCode;
    }
    char **notes = nullptr;
    int count = 0;
    if (dbus_message_get_args(reply, &error, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING, &notes, &count, DBUS_TYPE_INVALID)) {
        for (int i = 0; i < count; ++i)
            printLines(notes[i]);
        dbus_free_string_array(notes);
    }
    return DeliveredExitCode;
}

void appendEntry(DBusMessageIter *dictionary, const char *key, const char *value)
{
    DBusMessageIter entry, variant;
    dbus_message_iter_open_container(dictionary, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, DBUS_TYPE_STRING_AS_STRING, &variant);
    dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &value);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(dictionary, &entry);
}

// `wendle send --mail|--chat --from ADDRESS [--] TEXT...` exactly so, as
// wendle-client reads it (after the first word of the text every word is
// text); false for any other form, which wendle-client reads instead.
bool plainSend(int argc, char **argv, bool *chat, std::string *from, std::string *text)
{
    int mail = 0, chats = 0, froms = 0;
    int i = 2;
    for (; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--mail") {
            ++mail;
        } else if (word == "--chat") {
            ++chats;
        } else if (word == "--from" && i + 1 < argc) {
            ++froms;
            *from = argv[++i];
        } else if (word == "--") {
            ++i;
            break;
        } else if (!word.empty() && word[0] == '-') {
            return false;
        } else {
            break;
        }
    }
    if (mail + chats != 1 || froms != 1 || i >= argc)
        return false;
    for (int w = i; w < argc; ++w) {
        if (w > i)
            *text += ' ';
        *text += argv[w];
    }
    // Text that is not UTF-8 reaches Wendle as the client mends it.
    *chat = chats == 1;
    return dbus_validate_utf8(from->c_str(), nullptr) && dbus_validate_utf8(text->c_str(), nullptr);
}

int send(char **argv, bool chat, const std::string &from, const std::string &text)
{
    if (!findSessionBus())
        runHelper("wendle-client", argv, 1);
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!bus) {
        dbus_error_free(&error);
        runHelper("wendle-client", argv, 1);
    }
    dbus_connection_set_exit_on_disconnect(bus, false);
    traceStep("client: bus connected");
    DBusMessage *call = dbus_message_new_method_call("org.wendle.Wendle", "/org/wendle/Wendle", "org.wendle.Wendle.Inbound",
                                                     chat ? "InboundChat" : "InboundMessage");
    DBusMessageIter arguments, dictionary;
    dbus_message_iter_init_append(call, &arguments);
    dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{sv}", &dictionary);
    appendEntry(&dictionary, "FromAddress", from.c_str());
    appendEntry(&dictionary, "MessageText", text.c_str());
    dbus_message_iter_close_container(&arguments, &dictionary);
    traceStep("client: call sent");
    DBusMessage *reply = dbus_connection_send_with_reply_and_block(bus, call, 120000, &error);
    traceStep("client: call answered");
    if (reply)
        return 0;
    if (error.name && std::strcmp(error.name, DBUS_ERROR_SERVICE_UNKNOWN) == 0)
        std::fputs("wendle send: Wendle is not running (start it with: wendle run)\n", stderr);
    else
        std::fprintf(stderr, "wendle send: %s\n", error.message ? error.message : "");
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    traceStep("client: started");
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--version" || first == "-V")) {
        std::fputs("wendle " WENDLE_VERSION "\n", stdout);
        return 0;
    }
    if (argc == 2 && first == "deliver")
        return deliver(argv);
    if (first == "send") {
        bool chat = false;
        std::string from, text;
        if (plainSend(argc, argv, &chat, &from, &text))
            return send(argv, chat, from, text);
    }
    // After the first word that is no option every word is the command's:
    // that word names the command. A line that starts with an option is read
    // by the client, as the full program would read it.
    if (first == "send" || first == "deliver" || first == "status" || first == "config" || (argc > 1 && first[0] == '-'))
        runHelper("wendle-client", argv, 1);
    runHelper("wendle-daemon", argv, 1);
}
