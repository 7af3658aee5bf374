#pragma once

#include <QString>

namespace wendle {

// The readable text of an HTML body, for messages that carry no plain-text
// part: scripts, styles, the head and comments dropped, block ends (br, p, div,
// li, tr, headings) turned into line breaks, other tags removed, character
// references decoded, blank runs collapsed. Not a renderer: enough to find a
// command line in a phone's HTML-only mail.
QString htmlToText(const QString &html);

} // namespace wendle
