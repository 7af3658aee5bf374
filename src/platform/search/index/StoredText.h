#pragma once

#include <QByteArray>

#include <optional>
#include <string_view>

struct sqlite3;

// How the index keeps a file's folded text: compressed, and no longer than it
// chooses to keep.
namespace wendle::search {

// The longest start of text of at most `bytes` that ends between two characters.
std::string_view keptPart(std::string_view text, std::size_t bytes);
QByteArray packedText(std::string_view text);
// Nothing when the bytes are no packed text.
std::optional<QByteArray> unpackedText(const void *data, int bytes);

// The SQL functions the trigger that forgets a file's rows calls: folded(name)
// folds a name as it was indexed, inflated(body) unpacks a kept text.
void addStoredTextFunctions(sqlite3 *db);

} // namespace wendle::search
