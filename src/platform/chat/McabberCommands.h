#pragma once

#include <QByteArrayList>
#include <QString>

#include <climits>

// mcabber's own command for sending a chat message, as its command FIFO
// takes it: one line per command, `/say_to -q -e <jid> <text>`.
//
// -q keeps mcabber's window where its user left it. -e lets one command
// carry a whole reply of several lines: mcabber turns the two characters
// "\n" into a line feed (and "\t" into a tab), and "\\n" into the two
// characters "\n". Its decoder has no way to write a backslash followed by
// "t", or a backslash right before a line feed, so those get a word joiner
// (U+2060, invisible) after the backslash. mcabber drops the blanks at both
// ends of the text, so leading or trailing blanks are held in place by a word
// joiner too.
//
// A long reply becomes several commands, cut at line feeds where it can:
// every command fits in PIPE_BUF bytes, so the kernel writes it whole or not
// at all (a full pipe never gets half a command, nor another writer's bytes in
// the middle of one), and mcabber 1.1 shows each FIFO command in its status
// window, which it does not survive for lines of more than about 8 KiB.
namespace wendle::mcabber {

inline constexpr qsizetype MaxCommandBytes = PIPE_BUF;

// Why the address cannot stand in a command (empty, blanks, quotes,
// backslashes or control characters), or an empty string when it can.
QString addressProblem(const QString &jid);

// The text as a chat message can carry it: CR LF, CR and the Unicode line
// and paragraph separators become line feeds (mcabber's FIFO reader ends a
// line at each of them); other control characters, noncharacters and
// unpaired surrogates are dropped (XML, and so XMPP, cannot carry them).
QString chatText(const QString &text);

// The commands, each ending in a line feed, that send text to jid; none
// for an empty text. The address must pass addressProblem.
QByteArrayList sayToCommands(const QString &jid, const QString &text);

} // namespace wendle::mcabber
