#pragma once

#include <QString>

namespace wendle {

// Whether the text is one bare address, local@domain, with nothing around
// it: no blanks, brackets, commas or a second "@", and a domain of
// non-empty dot-separated labels.
bool isOneMailAddress(const QString &text);

} // namespace wendle
