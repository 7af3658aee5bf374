#include "platform/mail/MimeLimits.h"

#include "platform/mail/GMimeLibrary.h"

#include <gmime/gmime.h>

#include <string>
#include <string_view>
#include <unordered_set>

namespace wendle {

namespace {

// The scan may count parts GMime never builds (a boundary quoted in a text
// body, a comment naming a message type), so it refuses only well past the
// limit, where no real message goes; nearer, GMime's own tree decides.
constexpr qsizetype ScanPartsMargin = 2;
// Kept boundaries bound the scan's memory; past them, or past a length no
// mail program writes, every line that starts with "--" counts as a delimiter.
constexpr std::size_t MostBoundariesKept = 4 * MaxMimeParts;
constexpr std::size_t LongestBoundaryKept = 1000;

bool isLinearSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmedEnd(std::string_view text)
{
    while (!text.empty() && isLinearSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool startsWithCaseBlind(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && g_ascii_strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

std::size_t findCaseBlind(std::string_view text, std::string_view word, std::size_t from)
{
    for (std::size_t at = from; at + word.size() <= text.size(); ++at) {
        if (g_ascii_tolower(text[at]) == word[0] && startsWithCaseBlind(text.substr(at), word))
            return at;
    }
    return std::string_view::npos;
}

// The boundaries declared anywhere in the message, in any case, as GMime may
// read them. A value GMime would decode first (RFC 2231 pieces, an encoded
// word, a quoted pair, a value folded over lines) cannot be matched as written.
class Boundaries {
public:
    explicit Boundaries(std::string_view text)
    {
        // Once any line may be a delimiter, the rest need not be read.
        for (std::size_t at = 0; !m_anyLine && (at = findCaseBlind(text, "boundary", at)) != std::string_view::npos;) {
            at += 8;
            readDeclaration(text, at);
        }
    }

    // Whether "--" and rest may be a delimiter line GMime recognises.
    bool matches(std::string_view rest) const { return m_anyLine || m_values.contains(trimmedEnd(rest)); }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_set<std::string, Hash, std::equal_to<>> m_values;
    bool m_anyLine = false;

    void add(std::string_view value)
    {
        if (value.size() > LongestBoundaryKept || m_values.size() >= MostBoundariesKept || value.find("=?") != std::string_view::npos) {
            m_anyLine = true;
            return;
        }
        m_values.emplace(trimmedEnd(value));
    }

    void readDeclaration(std::string_view text, std::size_t at)
    {
        while (at < text.size() && isLinearSpace(text[at]))
            ++at;
        if (at < text.size() && text[at] == '*') {
            m_anyLine = true;
            return;
        }
        if (at >= text.size() || text[at] != '=')
            return;
        ++at;
        while (at < text.size() && isLinearSpace(text[at]))
            ++at;
        // A value is looked for within the longest kept, so that no
        // declaration makes the scan read far.
        const std::string_view window = text.substr(at, LongestBoundaryKept + 2);
        if (window.starts_with('"')) {
            const std::size_t end = window.find_first_of("\"\\\r\n", 1);
            if (end == std::string_view::npos || window[end] != '"')
                m_anyLine = true;
            else
                add(window.substr(1, end - 1));
            return;
        }
        // Unquoted: the token, and everything up to the end of the parameter,
        // for a lenient reader.
        const std::size_t valueEnd = window.find_first_of(";\r\n");
        if (valueEnd == std::string_view::npos && window.size() > LongestBoundaryKept) {
            m_anyLine = true;
            return;
        }
        const std::string_view value = window.substr(0, valueEnd);
        add(value);
        add(value.substr(0, std::min(value.find_first_of(" \t(\""), value.size())));
        const std::size_t end = at + value.size();
        std::size_t next = end;
        if (next < text.size() && text[next] == '\r')
            ++next;
        if (next < text.size() && text[next] == '\n')
            ++next;
        const bool folded = next > end && next < text.size() && (text[next] == ' ' || text[next] == '\t');
        if (folded)
            m_anyLine = true;
    }
};

enum class Bound { Kept, TooManyParts, TooDeep };

// Counts the parts as the scan does, on GMime's tree: every child of a
// multipart, the body of the message and of each nested message.
Bound measure(GMimeObject *part, int depth, int &parts)
{
    if (depth > MaxMimeDepth)
        return Bound::TooDeep;
    if (++parts > MaxMimeParts)
        return Bound::TooManyParts;
    if (GMIME_IS_MULTIPART(part)) {
        GMimeMultipart *multipart = GMIME_MULTIPART(part);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i) {
            if (const Bound bound = measure(g_mime_multipart_get_part(multipart, i), depth + 1, parts); bound != Bound::Kept)
                return bound;
        }
        return Bound::Kept;
    }
    if (GMIME_IS_MESSAGE_PART(part)) {
        GMimeMessage *inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
        if (inner && g_mime_message_get_mime_part(inner))
            return measure(g_mime_message_get_mime_part(inner), depth + 1, parts);
    }
    return Bound::Kept;
}

GMimeMessage *refuse(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return nullptr;
}

QString tooManyParts()
{
    return QStringLiteral("the message has more than %1 MIME parts").arg(MaxMimeParts);
}

} // namespace

MimeShape scanMimeShape(const QByteArray &raw)
{
    const std::string_view text(raw.constData(), std::size_t(raw.size()));
    const Boundaries boundaries(text);
    MimeShape shape;
    shape.parts = 1; // the message's own body
    bool inHeaders = true;
    bool inContentType = false;
    bool headersOfMessage = false; // the block's part is a message: its body starts with headers
    bool inDigest = false;         // a digest's untyped parts are messages
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with("--")) {
            const std::string_view rest = trimmedEnd(line.substr(2));
            if (boundaries.matches(rest)) {
                ++shape.parts;
                inHeaders = true;
                inContentType = false;
                headersOfMessage = inDigest;
                continue;
            }
            if (rest.ends_with("--") && boundaries.matches(rest.substr(0, rest.size() - 2))) {
                inHeaders = false;
                continue;
            }
        }
        if (!inHeaders)
            continue;
        if (line.empty()) {
            if (headersOfMessage)
                ++shape.parts;
            inHeaders = headersOfMessage;
            headersOfMessage = false;
            inContentType = false;
            continue;
        }
        ++shape.headerLines;
        shape.headerBytes += qsizetype(line.size());
        if (line.front() != ' ' && line.front() != '\t')
            inContentType = startsWithCaseBlind(line, "content-type");
        if (inContentType) {
            headersOfMessage = headersOfMessage || findCaseBlind(line, "message", 0) != std::string_view::npos;
            inDigest = inDigest || findCaseBlind(line, "digest", 0) != std::string_view::npos;
        }
    }
    return shape;
}

GMimeMessage *parseBoundedMessage(const QByteArray &raw, QString *error)
{
    const MimeShape shape = scanMimeShape(raw);
    if (shape.parts > ScanPartsMargin * MaxMimeParts)
        return refuse(error, tooManyParts());
    if (shape.headerLines > MaxMimeHeaderLines)
        return refuse(error, QStringLiteral("the message has more than %1 header lines").arg(MaxMimeHeaderLines));
    if (shape.headerBytes > MaxMimeHeaderBytes)
        return refuse(error, QStringLiteral("the message's headers take more than %1 MB").arg(MaxMimeHeaderBytes >> 20));
    GMimeMessage *message = parseMimeMessage(raw);
    if (!message)
        return refuse(error, QStringLiteral("the input is not a mail message"));
    int parts = 0;
    GMimeObject *body = g_mime_message_get_mime_part(message);
    const Bound bound = body ? measure(body, 1, parts) : Bound::Kept;
    if (bound == Bound::Kept)
        return message;
    g_object_unref(message);
    if (bound == Bound::TooManyParts)
        return refuse(error, tooManyParts());
    return refuse(error, QStringLiteral("the message's MIME parts are nested more than %1 deep").arg(MaxMimeDepth));
}

} // namespace wendle
