#include "platform/search/TextPattern.h"

#include <algorithm>

namespace wendle::search {

namespace {

constexpr std::size_t kNone = std::size_t(-1);
// Below this size a text is cheaper to match than to prefilter.
constexpr std::size_t kPrefilterFrom = 256;

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

} // namespace

TextPattern::TextPattern(const Pattern &pattern, const ValueModifiers &modifiers)
    : m_folding{modifiers.ignoreCase, modifiers.ignoreDiacritics}
    , m_words(modifiers.words)
{
    for (const PatternPiece &piece : pattern) {
        if (piece.type == PatternPiece::Type::AnyRun) {
            addToken(Token::Type::AnyRun);
            continue;
        }
        if (piece.type == PatternPiece::Type::AnyChar) {
            addToken(Token::Type::AnyChar);
            continue;
        }
        const QByteArray utf8 = piece.text.toUtf8();
        const std::string_view text(utf8.constData(), std::size_t(utf8.size()));
        for (std::size_t pos = 0;;) {
            const char32_t c = nextFolded(text, pos, m_folding);
            if (c == kEndOfText)
                break;
            if (m_words && !isWordCodePoint(c))
                addToken(Token::Type::Gap);
            else
                addToken(Token::Type::Char, c);
        }
    }
    if (m_words)
        trimGaps();
    m_literalLength = int(std::count_if(m_tokens.begin(), m_tokens.end(), [](const Token &t) { return t.type == Token::Type::Char; }));
    findAsciiRun();
}

void TextPattern::addToken(Token::Type type, char32_t c)
{
    // "**" is one run and so is ", " in word mode; merging keeps the matcher linear.
    const bool mergeable = type == Token::Type::AnyRun || type == Token::Type::Gap;
    if (mergeable && !m_tokens.empty() && m_tokens.back().type == type)
        return;
    m_tokens.push_back({type, c});
}

void TextPattern::trimGaps()
{
    while (!m_tokens.empty() && m_tokens.back().type == Token::Type::Gap)
        m_tokens.pop_back();
    const auto firstKept = std::find_if(m_tokens.begin(), m_tokens.end(), [](const Token &t) { return t.type != Token::Type::Gap; });
    m_tokens.erase(m_tokens.begin(), firstKept);
    const bool hasWord = std::any_of(m_tokens.begin(), m_tokens.end(), [](const Token &t) { return t.type == Token::Type::Char; });
    if (!hasWord)
        m_tokens.clear(); // an empty word pattern never matches
}

void TextPattern::findAsciiRun()
{
    std::string run;
    for (const Token &token : m_tokens) {
        const bool ascii = token.type == Token::Type::Char && token.c < 0x80;
        if (token.type == Token::Type::Char && !ascii)
            m_needsNonAscii = true;
        if (ascii)
            run += char(token.c);
        else
            run.clear();
        if (run.size() > m_asciiRun.size())
            m_asciiRun = run;
    }
    m_skip.fill(std::max<std::size_t>(m_asciiRun.size(), 1));
    for (std::size_t i = 0; i + 1 < m_asciiRun.size(); ++i)
        m_skip[static_cast<unsigned char>(m_asciiRun[i])] = m_asciiRun.size() - 1 - i;
}

// Horspool search for the ASCII run, folding ASCII letters on the fly when case is
// ignored (the run itself is already folded).
bool TextPattern::containsAsciiRun(std::string_view text) const
{
    const std::size_t length = m_asciiRun.size();
    const bool fold = m_folding.ignoreCase;
    const auto byteAt = [&](std::size_t i) { return fold ? asciiLower(text[i]) : text[i]; };
    for (std::size_t at = 0; at + length <= text.size();) {
        const char last = byteAt(at + length - 1);
        if (last == m_asciiRun.back()) {
            std::size_t i = 0;
            while (i + 1 < length && byteAt(at + i) == m_asciiRun[i])
                ++i;
            if (i + 1 >= length)
                return true;
        }
        at += m_skip[static_cast<unsigned char>(last)];
    }
    return false;
}

bool TextPattern::ruledOut(std::string_view text) const
{
    if (text.size() < kPrefilterFrom || (m_asciiRun.empty() && !m_needsNonAscii))
        return false;
    if (!m_needsNonAscii && containsAsciiRun(text))
        return false;
    // Folding keeps ASCII text ASCII, so a pure-ASCII text cannot hold the run.
    return isAscii(text);
}

std::vector<std::string> TextPattern::requiredRuns() const
{
    constexpr Folding full{true, true};
    std::vector<std::string> runs(1);
    for (const Token &token : m_tokens) {
        if (token.type != Token::Type::Char) {
            if (!runs.back().empty())
                runs.emplace_back();
            continue;
        }
        if (const char32_t c = foldCodePoint(token.c, full))
            appendUtf8(c, runs.back());
    }
    if (runs.back().empty())
        runs.pop_back();
    return runs;
}

std::string TextPattern::leadingRun() const
{
    if (!isAnchoredAtStart())
        return {};
    const std::vector<std::string> runs = requiredRuns();
    return runs.empty() ? std::string() : runs.front();
}

bool TextPattern::isAnchoredAtStart() const
{
    return !m_words && !m_tokens.empty() && m_tokens.front().type == Token::Type::Char;
}

bool TextPattern::mayStartWith(std::string_view head) const
{
    std::size_t pos = 0;
    for (const Token &token : m_tokens) {
        if (token.type != Token::Type::Char)
            return true;
        const char32_t c = nextFolded(head, pos, m_folding);
        if (c == kEndOfText)
            return true;
        if (c != token.c)
            return false;
    }
    return true;
}

bool TextPattern::matches(std::string_view text) const
{
    if (isAnchoredAtStart() && !mayStartWith(text))
        return false; // cheaper than any prefilter
    if (m_words && m_tokens.empty())
        return false;
    if (ruledOut(text))
        return false;
    if (!m_words)
        return matchAt(text, 0);
    bool found = false;
    forEachWordStart(text, [&](std::size_t start) {
        found = matchAt(text, start);
        return !found;
    });
    return found;
}

int TextPattern::countMatches(std::string_view text, int limit) const
{
    if (!m_words)
        return matches(text) ? 1 : 0;
    if (m_tokens.empty() || ruledOut(text))
        return 0;
    int count = 0;
    forEachWordStart(text, [&](std::size_t start) {
        if (matchAt(text, start))
            ++count;
        return count < limit;
    });
    return count;
}

template <typename Visit> void TextPattern::forEachWordStart(std::string_view text, Visit visit) const
{
    bool previousIsWord = false;
    for (std::size_t pos = 0;;) {
        const std::size_t start = pos;
        const char32_t c = nextFolded(text, pos, m_folding);
        if (c == kEndOfText)
            return;
        const bool isWord = isWordCodePoint(c);
        if (isWord && !previousIsWord && !visit(start))
            return;
        previousIsWord = isWord;
    }
}

// Wildcard matching with one backtrack point, the last '*': when what follows it
// fails, the '*' swallows one more character and the rest is retried. Gaps consume
// a maximal run, so they never need backtracking of their own.
bool TextPattern::matchAt(std::string_view text, std::size_t start) const
{
    std::size_t pos = start;
    std::size_t index = 0;
    std::size_t starIndex = kNone;
    std::size_t starPos = 0;
    for (;;) {
        if (index < m_tokens.size()) {
            const Token &token = m_tokens[index];
            if (token.type == Token::Type::AnyRun) {
                if (index + 1 == m_tokens.size())
                    return true; // a trailing '*' takes whatever is left, up to the end
                starIndex = index++;
                starPos = pos;
                continue;
            }
            if (step(token, text, pos)) {
                ++index;
                continue;
            }
        } else if (atEnd(text, pos)) {
            return true;
        }
        if (starIndex == kNone || nextFolded(text, starPos, m_folding) == kEndOfText)
            return false;
        pos = starPos;
        index = starIndex + 1;
    }
}

bool TextPattern::step(const Token &token, std::string_view text, std::size_t &pos) const
{
    std::size_t next = pos;
    const char32_t c = nextFolded(text, next, m_folding);
    if (c == kEndOfText)
        return false;
    switch (token.type) {
    case Token::Type::Char:
        if (c != token.c)
            return false;
        break;
    case Token::Type::AnyChar: break;
    case Token::Type::Gap:
        if (isWordCodePoint(c))
            return false;
        for (std::size_t after = next;;) {
            const char32_t more = nextFolded(text, after, m_folding);
            if (more == kEndOfText || isWordCodePoint(more))
                break;
            next = after;
        }
        break;
    case Token::Type::AnyRun: return false;
    }
    pos = next;
    return true;
}

bool TextPattern::atEnd(std::string_view text, std::size_t pos) const
{
    const char32_t c = nextFolded(text, pos, m_folding);
    if (!m_words)
        return c == kEndOfText;
    return c == kEndOfText || !isWordCodePoint(c);
}

} // namespace wendle::search
