#include "platform/search/index/StoredText.h"

#include "platform/search/TextFolding.h"

#include <QtEndian>

#include <lz4.h>
#include <sqlite3.h>

namespace wendle::search {

namespace {

// A packed text is its length (4 bytes, big-endian), then the LZ4 block.
constexpr int SizeBytes = 4;
// Far above the text the index keeps of a file.
constexpr quint32 MostUnpackedBytes = 64u << 20;

} // namespace

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
    // LZ4: about half the text's size, and unpacked at memory speed, which
    // matters because a search by name reads the kept text of most files too
    // (zlib took searches by name from 0.48 to 0.66 s at 50,000 files).
    const int size = int(text.size());
    const int bound = LZ4_compressBound(size);
    QByteArray packed(SizeBytes + bound, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(size), packed.data());
    const int written = LZ4_compress_default(text.data(), packed.data() + SizeBytes, size, bound);
    packed.truncate(SizeBytes + written);
    return packed;
}

std::optional<QByteArray> unpackedText(const void *data, int bytes)
{
    if (!data || bytes < SizeBytes)
        return std::nullopt;
    const quint32 size = qFromBigEndian<quint32>(data);
    // A damaged row must not make the search allocate gigabytes.
    if (size > MostUnpackedBytes)
        return std::nullopt;
    QByteArray text(qsizetype(size), Qt::Uninitialized);
    const int unpacked = LZ4_decompress_safe(static_cast<const char *>(data) + SizeBytes, text.data(), bytes - SizeBytes, int(size));
    if (unpacked != int(size))
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
