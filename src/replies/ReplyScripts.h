#pragma once

#include <QString>

// The scripts that make the desktop's mail and chat programs send a reply.
// They are the contract with the `script` transports and what a failure
// report shows, so they are built here to the letter.
namespace wendle {

// Escapes text for a double-quoted script string literal: backslash and
// double quote get a backslash, so no reply can end the literal early.
QString escapeScriptLiteral(const QString &text);

// ccAddress and attachmentPath are left out when empty; the caller decides
// whether they qualify.
QString mailReplyScript(const QString &text, const QString &recipient, const QString &sender, const QString &ccAddress,
                        const QString &attachmentPath);

// colonPath is the file's path with ':' for '/', without a leading colon;
// empty when no file goes with the reply.
QString chatReplyScript(const QString &handle, const QString &message, const QString &colonPath);

// A file path as one word of a POSIX shell script that stays plain ASCII:
// in single quotes, or, for bytes outside printable ASCII (and '%'), made by
// printf from octal escapes.
QString shellPathWord(const QString &path);

// The chat handler script: the template formatted with the owner's account
// for both of its placeholders, and the marker @WENDLE_PROGRAM@ replaced by
// the wendle program the script calls (as shellPathWord gives it).
QString chatHandlerScript(const QString &scriptTemplate, const QString &remoteAccount, const QString &program);

} // namespace wendle
