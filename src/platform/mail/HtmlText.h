#pragma once

#include <QString>

namespace wendle {

// The readable text of an HTML body, for messages that carry no plain-text
// part, as QTextDocument reads it: scripts, styles, the head and comments
// dropped, blocks and <br> on lines of their own, character references
// decoded, each line trimmed and at most one blank line between paragraphs.
QString htmlToText(const QString &html);

} // namespace wendle
