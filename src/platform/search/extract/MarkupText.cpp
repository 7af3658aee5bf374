// The text of web pages and RTF documents: markup dropped, characters decoded,
// blocks separated so that words of different paragraphs never run together.

#include "platform/search/extract/TextExtraction.h"

#include "platform/search/TextFolding.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace wendle::search {

namespace {

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view word)
{
    if (at + word.size() > text.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i])
            return false;
    }
    return true;
}

// Position just after the first case-insensitive `end` at or after `from`.
std::size_t skipPast(std::string_view text, std::size_t from, std::string_view end)
{
    for (std::size_t at = from; at < text.size(); ++at) {
        if (startsWithNoCase(text, at, end))
            return at + end.size();
    }
    return text.size();
}

// The character an HTML entity at text[at] ('&') stands for; `length` gets its size.
// Zero when it is no entity we know: the '&' then stays as it is.
char32_t htmlEntity(std::string_view text, std::size_t at, std::size_t &length)
{
    const std::size_t semicolon = text.find(';', at);
    if (semicolon == std::string_view::npos || semicolon - at > 10)
        return 0;
    const std::string_view name = text.substr(at + 1, semicolon - at - 1);
    length = semicolon - at + 1;
    if (name.starts_with('#')) {
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        const std::string digits(name.substr(hex ? 2 : 1));
        if (digits.empty() || digits.size() > 7)
            return 0;
        char *end = nullptr;
        const unsigned long value = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
        return *end == '\0' && value > 0 ? char32_t(std::min<unsigned long>(value, 0x10FFFF)) : 0;
    }
    static const std::pair<std::string_view, char32_t> named[] = {
        {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},     {"apos", '\''},    {"nbsp", ' '},
        {"eacute", 0xE9},  {"egrave", 0xE8},  {"agrave", 0xE0},  {"auml", 0xE4},    {"ouml", 0xF6},    {"uuml", 0xFC},
        {"Auml", 0xC4},    {"Ouml", 0xD6},    {"Uuml", 0xDC},    {"szlig", 0xDF},   {"ccedil", 0xE7},  {"euro", 0x20AC},
        {"ndash", 0x2013}, {"mdash", 0x2014}, {"rsquo", 0x2019}, {"lsquo", 0x2018}, {"hellip", 0x2026}};
    for (const auto &[entity, c] : named) {
        if (entity == name)
            return c;
    }
    return 0;
}

// Windows-1252, the code page nearly every RTF file declares, for \'hh escapes.
char32_t windows1252(unsigned char byte)
{
    static const char16_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                      0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? high[byte - 0x80] : byte;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

} // namespace

void htmlToText(std::string_view html, std::size_t maxTextBytes, std::string &text)
{
    static const std::string_view blocks[] = {"p",  "br", "div", "li",    "tr",         "td",  "th",    "h1", "h2", "h3",
                                              "h4", "h5", "h6",  "title", "blockquote", "pre", "table", "ul", "ol", "hr"};
    text.clear();
    std::size_t at = 0;
    while (at < html.size() && text.size() < maxTextBytes) {
        const char c = html[at];
        if (c == '&') {
            std::size_t length = 0;
            if (const char32_t decoded = htmlEntity(html, at, length)) {
                appendUtf8(decoded, text);
                at += length;
                continue;
            }
        }
        if (c != '<') {
            text += c;
            ++at;
            continue;
        }
        if (html.substr(at, 4) == "<!--") {
            at = skipPast(html, at + 4, "-->");
            continue;
        }
        std::size_t nameStart = at + 1 + (at + 1 < html.size() && html[at + 1] == '/');
        std::size_t nameEnd = nameStart;
        while (nameEnd < html.size() && std::isalnum(static_cast<unsigned char>(html[nameEnd])))
            ++nameEnd;
        const char opener = at + 1 < html.size() ? html[at + 1] : ' ';
        if (nameEnd == nameStart && opener != '!' && opener != '?' && opener != '/') {
            text += c; // "a < b" is text, not a tag
            ++at;
            continue;
        }
        std::string name(html.substr(nameStart, nameEnd - nameStart));
        std::transform(name.begin(), name.end(), name.begin(), [](char x) { return char(std::tolower(x)); });
        at = skipPast(html, at, ">");
        if (html[nameStart - 1] != '/' && (name == "script" || name == "style")) {
            at = skipPast(html, at, "</" + name);
            at = skipPast(html, at, ">");
            continue;
        }
        if (std::find(std::begin(blocks), std::end(blocks), name) != std::end(blocks))
            text += '\n';
    }
    if (text.size() > maxTextBytes)
        text.resize(maxTextBytes);
}

bool rtfToText(std::string_view rtf, std::size_t maxTextBytes, std::string &text)
{
    static const std::string_view skippedGroups[] = {"fonttbl",    "colortbl",
                                                     "stylesheet", "info",
                                                     "pict",       "object",
                                                     "header",     "footer",
                                                     "headerl",    "headerr",
                                                     "footerl",    "footerr",
                                                     "themedata",  "colorschememapping",
                                                     "datastore",  "latentstyles",
                                                     "listtable",  "listoverridetable",
                                                     "rsidtbl",    "generator",
                                                     "xmlnstbl",   "filetbl",
                                                     "revtbl",     "bkmkstart",
                                                     "bkmkend"};
    static const std::string_view breaks[] = {"par", "line", "sect", "page", "row", "cell", "tab"};
    text.clear();
    if (!rtf.starts_with("{\\rtf"))
        return false;
    struct Group {
        bool skipped = false;
        int fallbackLength = 1; // characters after \uN that stand in for it
    };
    std::vector<Group> groups{Group{}};
    int fallbackLeft = 0;
    const auto emit = [&](char32_t c) {
        if (fallbackLeft > 0) {
            --fallbackLeft;
            return;
        }
        if (!groups.back().skipped)
            appendUtf8(c, text);
    };
    std::size_t at = 0;
    while (at < rtf.size() && text.size() < maxTextBytes) {
        const char c = rtf[at++];
        if (c == '{') {
            if (groups.size() > 1000)
                return !text.empty(); // nesting this deep is no document
            groups.push_back(groups.back());
            continue;
        }
        if (c == '}') {
            if (groups.size() > 1)
                groups.pop_back();
            continue;
        }
        if (c == '\r' || c == '\n')
            continue;
        if (c != '\\') {
            emit(static_cast<unsigned char>(c));
            continue;
        }
        if (at >= rtf.size())
            break;
        const char next = rtf[at];
        if (!std::isalpha(static_cast<unsigned char>(next))) {
            ++at;
            if (next == '*') {
                groups.back().skipped = true;
            } else if (next == '\'' && at + 1 < rtf.size() && hexValue(rtf[at]) >= 0 && hexValue(rtf[at + 1]) >= 0) {
                emit(windows1252(static_cast<unsigned char>(hexValue(rtf[at]) * 16 + hexValue(rtf[at + 1]))));
                at += 2;
            } else if (next == '~') {
                emit(' ');
            } else if (next == '_') {
                emit('-');
            } else if (next == '\\' || next == '{' || next == '}') {
                emit(char32_t(next));
            } else if (next == '\n' || next == '\r') {
                emit('\n');
            }
            continue;
        }
        const std::size_t wordStart = at;
        while (at < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[at])))
            ++at;
        const std::string_view word = rtf.substr(wordStart, at - wordStart);
        const std::size_t numberStart = at;
        if (at < rtf.size() && rtf[at] == '-')
            ++at;
        while (at < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[at])) && at - numberStart < 10)
            ++at;
        const bool hasNumber = at > numberStart;
        const long number = hasNumber ? std::strtol(std::string(rtf.substr(numberStart, at - numberStart)).c_str(), nullptr, 10) : 0;
        if (at < rtf.size() && rtf[at] == ' ')
            ++at; // the delimiter belongs to the control word
        if (word == "u" && hasNumber) {
            fallbackLeft = 0;
            emit(char32_t(number < 0 ? number + 65536 : number));
            fallbackLeft = groups.back().fallbackLength;
        } else if (word == "uc") {
            groups.back().fallbackLength = int(std::clamp(number, 0L, 10L));
        } else if (word == "bin") {
            at += std::size_t(std::clamp(number, 0L, long(rtf.size() - at)));
        } else if (std::find(std::begin(skippedGroups), std::end(skippedGroups), word) != std::end(skippedGroups)) {
            groups.back().skipped = true;
        } else if (std::find(std::begin(breaks), std::end(breaks), word) != std::end(breaks)) {
            emit(word == "tab" || word == "cell" ? ' ' : '\n');
        }
    }
    if (text.size() > maxTextBytes)
        text.resize(maxTextBytes);
    return true;
}

} // namespace wendle::search
