#include "intake/CommandLanguage.h"

#include "intake/CommandActions.h"

// Generated from CommandGrammar.y and CommandScanner.l into the build tree.
#include "CommandGrammar.h"
#define YYSTYPE COMMANDSTYPE
#include "CommandScanner.h"

#include <cstdlib>

namespace wendle {
namespace {

// The public token codes are the grammar's; keep them in step.
static_assert(int(CommandToken::Word) == TOKEN_WORD);
static_assert(int(CommandToken::Email) == TOKEN_EMAIL);
static_assert(int(CommandToken::Number) == TOKEN_NUMBER);
static_assert(int(CommandToken::Launch) == TOKEN_LAUNCH);
static_assert(int(CommandToken::Find) == TOKEN_FIND);
static_assert(int(CommandToken::Reserved) == TOKEN_RESERVED);
static_assert(int(CommandToken::ITunes) == TOKEN_ITUNES);
static_assert(int(CommandToken::IPhoto) == TOKEN_IPHOTO);
static_assert(int(CommandToken::Run) == TOKEN_RUN);
static_assert(int(CommandToken::FileName) == TOKEN_FILENAME);
static_assert(int(CommandToken::Address) == TOKEN_ADDRESS);
static_assert(int(CommandToken::Contents) == TOKEN_CONTENTS);
static_assert(int(CommandToken::Calendar) == TOKEN_CALENDAR);
static_assert(int(CommandToken::Fax) == TOKEN_FAX);
static_assert(int(CommandToken::Snapshot) == TOKEN_SNAPSHOT);
static_assert(int(CommandToken::IChat) == TOKEN_ICHAT);

// Longer first lines are cut to this many bytes. No command comes near it,
// and it bounds the scanner's work: at each position the address rule reads
// ahead through a run of address characters before falling back to a shorter
// match, so a line of n such characters costs n*n steps.
constexpr qsizetype MaxCommandLineBytes = 1024;

// The part of the text the scanner can act on: up to the first NUL (the text
// is a C string), and up to the first line break, since everything after it
// is skipped anyway.
QByteArray commandLine(const QByteArray &text)
{
    qsizetype end = text.size();
    for (const char stop : {'\0', '\n'}) {
        const qsizetype at = text.indexOf(stop);
        if (at >= 0 && at < end)
            end = at;
    }
    return text.left(qMin(end, MaxCommandLineBytes));
}

// One scanner reading one command. The scanner owns a copy of the text (the
// caller's array may go away), starts in the initial mode, and is released
// with everything it holds when the command is done, however it ended.
class CommandScanner {
public:
    CommandScanner(const QByteArray &text, FILE *echoStream) : m_echo(echoStream)
    {
        if (commandlex_init(&m_scanner) != 0) {
            m_scanner = nullptr;
            return;
        }
        commandset_out(echoStream, m_scanner);
        const QByteArray line = commandLine(text);
        command_scan_bytes(line.constData(), int(line.size()), m_scanner);
    }

    // The echo leaves with its command: on a pipe or a file the standard
    // output is fully buffered, and the reader would otherwise see it only
    // when Wendle quits.
    ~CommandScanner()
    {
        // Also deletes the buffer made by command_scan_string().
        if (m_scanner)
            commandlex_destroy(m_scanner);
        std::fflush(m_echo);
    }

    CommandScanner(const CommandScanner &) = delete;
    CommandScanner &operator=(const CommandScanner &) = delete;

    bool isReady() const { return m_scanner != nullptr; }
    yyscan_t handle() const { return m_scanner; }

private:
    FILE *m_echo;
    yyscan_t m_scanner = nullptr;
};

QByteArray takeBytes(char *text)
{
    if (!text)
        return QByteArray();
    QByteArray bytes(text);
    std::free(text);
    return bytes;
}

} // namespace

int runCommandLanguage(const QByteArray &text, CommandActions &actions, FILE *echoStream)
{
    CommandScanner scanner(text, echoStream);
    if (!scanner.isReady()) {
        // Nothing could be allocated: same outcome as the parser running out
        // of stack.
        commanderror(nullptr, actions, "memory exhausted");
        return CommandMemoryExhausted;
    }
    return commandparse(scanner.handle(), actions);
}

QList<ScannedToken> scanCommandTokens(const QByteArray &text, FILE *echoStream)
{
    QList<ScannedToken> tokens;
    CommandScanner scanner(text, echoStream);
    if (!scanner.isReady())
        return tokens;
    for (;;) {
        // Tokens without a value leave the slot alone; clear it each time so
        // only value tokens come back with text.
        COMMANDSTYPE value;
        value.text = nullptr;
        const int code = commandlex(&value, scanner.handle());
        if (code == 0)
            return tokens;
        tokens.append({CommandToken(code), takeBytes(value.text)});
    }
}

} // namespace wendle
