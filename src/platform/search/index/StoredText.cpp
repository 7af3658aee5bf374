#include "platform/search/index/StoredText.h"

#include "platform/search/TextFolding.h"

#include <sqlite3.h>

namespace wendle::search {

// The longest start of text of at most `bytes` that ends between two characters.
std::string_view keptPart(std::string_view text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
        --bytes;
    return text.substr(0, bytes);
}

QByteArray packedText(std::string_view text)
{
    // zlib's quickest level: a third of the text's size, at a fraction of the cost of indexing it.
    return qCompress(reinterpret_cast<const uchar *>(text.data()), qsizetype(text.size()), 1);
}

std::optional<QByteArray> unpackedText(const void *data, int bytes)
{
    if (!data || bytes <= 0)
        return std::nullopt;
    QByteArray text = qUncompress(static_cast<const uchar *>(data), qsizetype(bytes));
    if (text.isNull())
        return std::nullopt;
    return text;
}

namespace {

// The SQL functions the trigger that forgets a file's rows calls.
void foldedFunction(sqlite3_context *context, int, sqlite3_value **values)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(values[0]));
    std::string folded;
    if (text)
        appendFolded(std::string_view(text, std::size_t(sqlite3_value_bytes(values[0]))), folded);
    sqlite3_result_text(context, folded.data(), int(folded.size()), SQLITE_TRANSIENT);
}

void inflatedFunction(sqlite3_context *context, int, sqlite3_value **values)
{
    const std::optional<QByteArray> text = unpackedText(sqlite3_value_blob(values[0]), sqlite3_value_bytes(values[0]));
    if (!text) {
        // Forgetting the text with other values than it was indexed with would
        // spoil the table: the statement fails instead.
        sqlite3_result_error(context, "a kept text cannot be read", -1);
        return;
    }
    sqlite3_result_text(context, text->constData(), int(text->size()), SQLITE_TRANSIENT);
}

} // namespace

void addStoredTextFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_create_function(db, "folded", 1, flags, nullptr, foldedFunction, nullptr, nullptr);
    sqlite3_create_function(db, "inflated", 1, flags, nullptr, inflatedFunction, nullptr, nullptr);
}

} // namespace wendle::search
