#pragma once

#include <QString>

namespace wendle {

// The readable text of an HTML body, for messages that carry no plain-text
// part, read by libxml2's HTML parser without any GUI: scripts, styles, the
// head and comments dropped, blocks and <br> on lines of their own,
// character references decoded, each line trimmed and at most one blank
// line between paragraphs. What the mail programs mark as the message being
// answered (a <blockquote>, Gmail's, Yahoo's, Thunderbird's, Proton's and
// Zimbra's quote containers, everything from Outlook's reply header on)
// comes out as "> " lines, the way a plain-text answer quotes it.
QString htmlToText(const QString &html);

} // namespace wendle
