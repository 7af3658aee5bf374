#include "platform/search/TextFolding.h"

#include <QChar>
#include <QString>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

namespace wendle::search {

namespace {

bool isDiacriticMark(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing;
}

// Letters with a stroke have no decomposition, yet owners type them without it.
char32_t strokedBase(char32_t c)
{
    switch (c) {
    case U'ø': return U'o';
    case U'Ø': return U'O';
    case U'ł': return U'l';
    case U'Ł': return U'L';
    case U'đ': return U'd';
    case U'Đ': return U'D';
    case U'ħ': return U'h';
    case U'Ħ': return U'H';
    default: return c;
    }
}

char32_t computeBase(char32_t c)
{
    if (isDiacriticMark(c))
        return 0;
    while (QChar::decompositionTag(c) == QChar::Canonical) {
        const QString parts = QChar::decomposition(c);
        if (parts.isEmpty())
            break;
        const char32_t first =
            parts.at(0).isHighSurrogate() && parts.size() > 1 ? QChar::surrogateToUcs4(parts.at(0), parts.at(1)) : parts.at(0).unicode();
        if (first == c)
            break;
        c = first;
    }
    return strokedBase(c);
}

// Base letters of the Basic Multilingual Plane, computed once: QChar::decomposition
// allocates, far too slow to call per character of a file's content.
const std::array<char16_t, 0x10000> &baseTable()
{
    static std::unique_ptr<std::array<char16_t, 0x10000>> table;
    static std::once_flag once;
    std::call_once(once, [] {
        table = std::make_unique<std::array<char16_t, 0x10000>>();
        for (char32_t c = 0; c < 0x10000; ++c) {
            const bool surrogate = c >= 0xD800 && c < 0xE000;
            const char32_t base = surrogate ? c : computeBase(c);
            (*table)[c] = base < 0x10000 ? char16_t(base) : char16_t(c);
        }
    });
    return *table;
}

} // namespace

char32_t decodeUtf8(std::string_view text, std::size_t &pos)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(pos);
    int length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + length > text.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char next = at(pos + i);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        c = (c << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
        ++pos;
        return 0xFFFD;
    }
    pos += length;
    return c;
}

char32_t foldCodePoint(char32_t c, Folding folding)
{
    if (folding.ignoreDiacritics) {
        c = c < 0x10000 ? char32_t(baseTable()[c]) : computeBase(c);
        if (c == 0)
            return 0;
    }
    return folding.ignoreCase ? QChar::toCaseFolded(c) : c;
}

bool isWordCodePoint(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

std::size_t foldedLength(std::string_view text, Folding folding)
{
    std::size_t length = 0;
    for (std::size_t pos = 0; nextFolded(text, pos, folding) != kEndOfText;)
        ++length;
    return length;
}

bool isAscii(std::string_view text)
{
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ULL)
            return false;
    }
    for (; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    }
    return true;
}

void appendUtf8(char32_t c, std::string &out)
{
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        c = 0xFFFD;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void appendFolded(std::string_view text, std::string &out)
{
    constexpr Folding full{true, true};
    for (std::size_t pos = 0;;) {
        const char32_t c = nextFolded(text, pos, full);
        if (c == kEndOfText)
            return;
        appendUtf8(c, out);
    }
}

} // namespace wendle::search
