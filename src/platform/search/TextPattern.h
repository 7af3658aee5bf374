#pragma once

#include "platform/search/SearchQuery.h"
#include "platform/search/TextFolding.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace wendle::search {

// A quoted query value ready to test UTF-8 texts. Immutable once built, so walker
// threads share one.
//
// Whole-value mode (no w): the folded text must equal the value, where '*' matches
// any run of characters and '?' one character.
// Word mode (w): the value must match a run of whole words inside the text: the match
// starts where a word starts and ends where a word ends. Each run of non-word
// characters in the value (spaces, punctuation) matches any run of non-word
// characters, so 'tax return'w finds "tax_return.pdf" and "Tax, Return"; leading and
// trailing ones are dropped. A value without any word never matches.
class TextPattern {
public:
    TextPattern() = default;
    TextPattern(const Pattern &pattern, const ValueModifiers &modifiers);

    bool matches(std::string_view text) const;
    // Word mode: how many word positions start a match, up to limit. Whole-value
    // mode: 1 or 0.
    int countMatches(std::string_view text, int limit) const;
    // Characters the value spells out (not wildcards): the share of a name they
    // cover says how closely the name matches.
    int literalLength() const { return m_literalLength; }
    // Whole-value mode with a value that starts with plain characters: the start of
    // a text alone can rule a match out, without reading the rest of the file.
    bool isAnchoredAtStart() const;
    // False when the start of the text already contradicts the value; true when it
    // may match (or is too short to tell).
    bool mayStartWith(std::string_view head) const;
    Folding folding() const { return m_folding; }
    // The runs of plain characters every matching text contains, folded for case
    // and diacritics (UTF-8): what an index of folded texts can look up.
    std::vector<std::string> requiredRuns() const;
    // Folded the same way: the plain characters every matching text starts with;
    // empty unless the value is anchored at the start.
    std::string leadingRun() const;
    bool wordMode() const { return m_words; }

private:
    struct Token {
        enum class Type : unsigned char { Char, AnyChar, AnyRun, Gap };
        Type type = Type::Char;
        char32_t c = 0;
    };

    std::vector<Token> m_tokens;
    Folding m_folding;
    bool m_words = false;
    int m_literalLength = 0;
    // The longest run of plain ASCII letters in the value (folded), and whether the
    // value needs any other character: on a pure-ASCII text a missing run rules a
    // match out with one fast byte search, before any decoding.
    std::string m_asciiRun;
    std::array<std::size_t, 256> m_skip{};
    bool m_needsNonAscii = false;

    void addToken(Token::Type type, char32_t c = 0);
    void trimGaps();
    void findAsciiRun();
    bool containsAsciiRun(std::string_view text) const;
    bool ruledOut(std::string_view text) const;
    bool matchAt(std::string_view text, std::size_t start) const;
    bool step(const Token &token, std::string_view text, std::size_t &pos) const;
    bool atEnd(std::string_view text, std::size_t pos) const;
    template <typename Visit> void forEachWordStart(std::string_view text, Visit visit) const;
};

} // namespace wendle::search
