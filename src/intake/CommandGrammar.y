/* The grammar of the command language: which token sequences make a command,
 * and which remote command (intake/RemoteCommands.h) each one calls.
 *
 * Traps worth knowing before touching this file:
 * - The parser is LALR(1) with default reductions, so an action runs as soon
 *   as its form is complete. After EMAIL, SNAPSHOT or CALENDAR NUMBER WORD the
 *   parser has to read one more token to know whether the form goes on; every
 *   other form runs its action without looking ahead. Anything after a
 *   complete command is then a syntax error, reported although the action has
 *   already run (⟨wndl email extra⟩ checks the mail, then reports).
 * - There is no error recovery: the first error ends the parse, so a command
 *   produces at most one report.
 * - Values are malloc'ed copies made by the scanner. An action owns the values
 *   of its right-hand side and frees them (takeText); the %destructor frees
 *   whatever an error or abort leaves on the stack or in the lookahead.
 */

%code top {
/* The parse stack starts with room for 200 entries and may double up to
 * 10000; no form is longer than four tokens, so it never grows. */
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000
}

%code requires {
#include "intake/CommandActions.h"

#ifndef YY_TYPEDEF_YY_SCANNER_T
#define YY_TYPEDEF_YY_SCANNER_T
typedef void *yyscan_t;
#endif
}

%code provides {
int commandlex(COMMANDSTYPE *value, yyscan_t scanner);
void commanderror(yyscan_t scanner, wendle::CommandActions &actions, const char *message);
}

%code {
#include <QString>

#include <cstdlib>

using wendle::commandCall;
using wendle::RemoteCommand;

namespace {

// Decodes a value the scanner made and releases it.
QString takeText(char *text)
{
    const QString decoded = QString::fromLatin1(text);
    std::free(text);
    return decoded;
}

} // namespace
}

%define api.pure full
%define api.prefix {command}
%define api.token.prefix {TOKEN_}
%define lr.type lalr
%define lr.default-reduction most
%define parse.error simple

%lex-param {yyscan_t scanner}
%parse-param {yyscan_t scanner} {wendle::CommandActions &actions}

%union {
    char *text;
}

/* Declared in this order with fixed codes: the codes are part of the
 * scanner's contract. RESERVED (263) is never produced. */
%token <text> WORD     258
%token        EMAIL    259
%token <text> NUMBER   260
%token        LAUNCH   261
%token        FIND     262
%token        RESERVED 263
%token        ITUNES   264
%token        IPHOTO   265
%token        RUN      266
%token <text> FILENAME 267
%token <text> ADDRESS  268
%token <text> CONTENTS 269
%token        CALENDAR 270
%token        FAX      271
%token        SNAPSHOT 272
%token        ICHAT    273

%destructor { std::free($$); } <text>

%expect 0
%start command

%%

command
    : find_command
    | email_command
    | confirm_command
    | itunes_command
    | iphoto_command
    | ichat_command
    | calendar_command
    | fax_command
    | snapshot_command
    | LAUNCH WORD    { actions.runCommand(commandCall<RemoteCommand::CustomCommand>(takeText($2))); }
    | LAUNCH ITUNES  { actions.runCommand(commandCall<RemoteCommand::LaunchiTunes>()); }
    | LAUNCH IPHOTO  { actions.runCommand(commandCall<RemoteCommand::LaunchiPhoto>()); }
    ;

find_command
    : FIND FILENAME  { actions.runCommand(commandCall<RemoteCommand::FindFilename>(takeText($2), QString())); }
    | FIND CONTENTS  { actions.runCommand(commandCall<RemoteCommand::FindContents>(takeText($2), QString())); }
    | FIND ADDRESS FILENAME
        {
            const QString address = takeText($2);
            actions.runCommand(commandCall<RemoteCommand::FindFilename>(takeText($3), address));
        }
    | FIND ADDRESS CONTENTS
        {
            const QString address = takeText($2);
            actions.runCommand(commandCall<RemoteCommand::FindContents>(takeText($3), address));
        }
    ;

email_command
    : EMAIL          { actions.runCommand(commandCall<RemoteCommand::CheckEmailWithCcTo>(QString())); }
    | EMAIL ADDRESS  { actions.runCommand(commandCall<RemoteCommand::CheckEmailWithCcTo>(takeText($2))); }
    ;

confirm_command
    : NUMBER  { actions.runCommand(commandCall<RemoteCommand::ConfirmCommand>(takeText($1))); }
    ;

itunes_command
    : ITUNES  { actions.runCommand(commandCall<RemoteCommand::LaunchiTunes>()); }
    ;

iphoto_command
    : IPHOTO  { actions.runCommand(commandCall<RemoteCommand::LaunchiPhoto>()); }
    ;

ichat_command
    : ICHAT  { actions.runCommand(commandCall<RemoteCommand::LaunchiChat>()); }
    ;

calendar_command
    : CALENDAR NUMBER WORD NUMBER
        {
            const QString day = takeText($2);
            const QString month = takeText($3);
            actions.runCommand(commandCall<RemoteCommand::GetScheduleForDay>(day, month, takeText($4)));
        }
    | CALENDAR NUMBER WORD
        {
            const QString day = takeText($2);
            actions.runCommand(commandCall<RemoteCommand::GetScheduleForDay>(day, takeText($3), QString()));
        }
    | CALENDAR WORD
        {
            actions.runCommand(commandCall<RemoteCommand::GetScheduleForDay>(QString(), takeText($2), QString()));
        }
    ;

fax_command
    : FAX NUMBER FILENAME
        {
            const QString number = takeText($2);
            actions.runCommand(commandCall<RemoteCommand::FindFileForFaxing>(takeText($3), number));
        }
    | FAX NUMBER CONTENTS
        {
            const QString number = takeText($2);
            actions.runCommand(commandCall<RemoteCommand::FindContentsForFaxing>(takeText($3), number));
        }
    ;

snapshot_command
    : SNAPSHOT          { actions.runCommand(commandCall<RemoteCommand::TakeSnapshotAndEmailTo>(QString())); }
    | SNAPSHOT ADDRESS  { actions.runCommand(commandCall<RemoteCommand::TakeSnapshotAndEmailTo>(takeText($2))); }
    ;

%%

// Every parse failure ("syntax error", "memory exhausted") ends here: one
// console line, then the report to the sender.
void commanderror(yyscan_t, wendle::CommandActions &actions, const char *message)
{
    actions.writeConsoleLine(QStringLiteral("Wendle Command Received with Error: ")
                             + QString::fromLatin1(message));
    actions.reportSyntaxError();
}
