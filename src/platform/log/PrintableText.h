#pragma once

#include <QString>

namespace wendle::text {

// Remote text made safe for one log or console line: control characters
// (line breaks included), line and paragraph separators and bidirectional
// overrides each become U+FFFD, so a sender cannot write lines of its own.
QString printableLine(const QString &text);
// The same for a text of several lines: line feeds and tabs stay.
QString printableText(const QString &text);

} // namespace wendle::text
