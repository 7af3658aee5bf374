#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Character-level helpers for comparing file names and contents, which reach us as
// UTF-8 bytes straight from the file system: decoding and folding happen on the fly,
// so matching a name never allocates.
namespace wendle::search {

struct Folding {
    bool ignoreCase = false;
    bool ignoreDiacritics = false;
};

inline constexpr char32_t kEndOfText = 0xFFFFFFFF;

// Decodes the code point at text[pos] and moves pos past it. A malformed byte reads
// as U+FFFD and moves one byte, so a damaged name still compares.
char32_t decodeUtf8(std::string_view text, std::size_t &pos);

// The code point as a comparison sees it: case folded for ignoreCase; reduced to its
// base letter for ignoreDiacritics (é -> e, ł -> l), where a combining mark vanishes
// and 0 is returned.
char32_t foldCodePoint(char32_t c, Folding folding);

// The next folded code point at or after pos, skipping the ones that vanish;
// kEndOfText at the end.
inline char32_t nextFolded(std::string_view text, std::size_t &pos, Folding folding)
{
    while (pos < text.size()) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            ++pos;
            return folding.ignoreCase && byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
        }
        if (const char32_t c = foldCodePoint(decodeUtf8(text, pos), folding))
            return c;
    }
    return kEndOfText;
}

// Letters, digits and the marks that sit on them. Underscores and punctuation
// separate words, so "tax_return" holds the words "tax" and "return".
bool isWordCodePoint(char32_t c);

// Folded code points in text.
std::size_t foldedLength(std::string_view text, Folding folding);

bool isAscii(std::string_view text);

// Appends the text folded for case and diacritics, as UTF-8: the form an index
// keeps, so that one lookup serves every comparison.
void appendFolded(std::string_view text, std::string &out);
// A surrogate or a value past U+10FFFF is no character: it is written as U+FFFD.
void appendUtf8(char32_t c, std::string &out);

} // namespace wendle::search
