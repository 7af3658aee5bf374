#pragma once

#include <string>
#include <string_view>
#include <vector>

class QMimeType;

namespace wendle::search {

// The words a kind comparison such as kMDItemKind = '*document'cd is matched
// against, for one type of the MIME database: "document", "text", "image",
// "disk image"... The same in every locale, so a search means the same files under
// LANG=de_DE as under LANG=C. A type has several words ("text" and "document" for
// a web page) or none.
std::vector<std::string> kindWordsOf(const QMimeType &type);
bool isKindWord(std::string_view word);

} // namespace wendle::search
