#pragma once

#include <QByteArray>
#include <QList>

#include <cstdio>

namespace wendle {

class CommandActions;

// Token codes of the command language, exactly as the grammar declares them.
// Reserved (263) is declared but never produced by the scanner.
enum class CommandToken : int {
    EndOfInput = 0,
    Word = 258,
    Email = 259,
    Number = 260,
    Launch = 261,
    Find = 262,
    Reserved = 263,
    ITunes = 264,
    IPhoto = 265,
    Run = 266,
    FileName = 267,
    Address = 268,
    Contents = 269,
    Calendar = 270,
    Fax = 271,
    Snapshot = 272,
    IChat = 273,
};

// What runCommandLanguage returns (the parser's own result codes).
enum CommandParseResult : int {
    CommandAccepted = 0,
    CommandSyntaxError = 1,
    CommandMemoryExhausted = 2,
};

// One token as the scanner hands it to the parser. The value is the exact
// matched text for WORD, NUMBER, FILENAME, ADDRESS and CONTENTS, and a null
// QByteArray for every other token.
struct ScannedToken {
    CommandToken code;
    QByteArray value;

    friend bool operator==(const ScannedToken &a, const ScannedToken &b)
    {
        return a.code == b.code && a.value.isNull() == b.value.isNull() && a.value == b.value;
    }
};

// Scans and parses one command and runs its action on `actions`.
//
// `text` is the lower-cased command starting at "wndl". It is read like a C
// string: it ends at its first NUL byte, and every other byte is allowed.
// Each call uses a scanner of its own, so every command starts in the initial
// mode whatever the previous one ended in.
//
// Characters that start no token (spaces, punctuation, bytes from 128 up) are
// echoed unchanged to `echoStream` and otherwise dropped; the stream is
// flushed when the command is done. The default is the standard output; pass
// a stream on /dev/null to silence them, or a memory stream to look at them.
//
// Returns CommandAccepted, CommandSyntaxError or CommandMemoryExhausted. On
// the last two, actions.writeConsoleLine() and actions.reportSyntaxError()
// have been called once each; an action whose form was already complete has
// run before that (⟨wndl email extra⟩ checks the mail, then reports).
int runCommandLanguage(const QByteArray &text, CommandActions &actions, FILE *echoStream = stdout);

// Runs the scanner alone over `text` (same rules as above) and returns every
// token up to the end of input, which is not included.
QList<ScannedToken> scanCommandTokens(const QByteArray &text, FILE *echoStream = stdout);

} // namespace wendle
