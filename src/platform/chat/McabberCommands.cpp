#include "platform/chat/McabberCommands.h"

#include <QList>

namespace wendle::mcabber {

namespace {

constexpr char32_t WordJoiner = 0x2060;
constexpr qsizetype WordJoinerBytes = 3;
// XMPP addresses hold at most 1023 bytes in each of their three parts; a
// longer one is no address, and would leave no room for the text.
constexpr qsizetype LongestAddress = 1024;

bool isDropped(char32_t c)
{
    if (c == u'\t' || c == u'\n')
        return false;
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || (c & 0xfffe) == 0xfffe || (c >= 0xfdd0 && c <= 0xfdef);
}

QList<char32_t> codePoints(const QString &text)
{
    QList<char32_t> points;
    points.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            points.append(QChar::surrogateToUcs4(c, text.at(i + 1)));
            ++i;
        } else if (!c.isSurrogate()) {
            points.append(c.unicode());
        }
    }
    return points;
}

void appendUtf8(QByteArray &out, char32_t c)
{
    out += QString::fromUcs4(&c, 1).toUtf8();
}

qsizetype utf8Length(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// The bytes the character at i takes in a command, and how many characters
// they stand for; see the header for the escapes.
QPair<qsizetype, qsizetype> encodedToken(const QList<char32_t> &text, qsizetype i)
{
    const char32_t next = i + 1 < text.size() ? text[i + 1] : 0;
    if (text[i] == u'\\' && next == u'n')
        return {3, 2};
    if (text[i] == u'\\' && (next == u't' || next == u'\n'))
        return {1 + WordJoinerBytes, 1};
    if (text[i] == u'\n')
        return {2, 1};
    return {utf8Length(text[i]), 1};
}

QByteArray encode(const QList<char32_t> &text, qsizetype begin, qsizetype end)
{
    QByteArray out;
    if (text[begin] == u' ')
        appendUtf8(out, WordJoiner);
    for (qsizetype i = begin; i < end; ++i) {
        const char32_t next = i + 1 < end ? text[i + 1] : 0;
        if (text[i] == u'\\' && next == u'n') {
            out += "\\\\n";
            ++i;
        } else if (text[i] == u'\\') {
            out += '\\';
            if (next == u't' || next == u'\n')
                appendUtf8(out, WordJoiner);
        } else if (text[i] == u'\n') {
            out += "\\n";
        } else {
            appendUtf8(out, text[i]);
        }
    }
    if (text[end - 1] == u' ')
        appendUtf8(out, WordJoiner);
    return out;
}

// Where the text is cut into messages: [begin, end) ranges whose encoding
// fits in budget bytes. A cut at a line feed drops it (the next message
// starts the line); a line too long for one message is cut where it fills.
QList<QPair<qsizetype, qsizetype>> pieces(const QList<char32_t> &text, qsizetype budget)
{
    QList<QPair<qsizetype, qsizetype>> ranges;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype size = 0, lastLineFeed = -1, i = start;
        while (i < text.size()) {
            const auto [bytes, characters] = encodedToken(text, i);
            if (size + bytes > budget)
                break;
            if (text[i] == u'\n')
                lastLineFeed = i;
            size += bytes;
            i += characters;
        }
        if (i == start)
            i = start + encodedToken(text, i).second; // only an address near the limit leaves no room
        if (i >= text.size()) {
            ranges.append({start, text.size()});
            break;
        }
        if (lastLineFeed > start) {
            ranges.append({start, lastLineFeed});
            start = lastLineFeed + 1;
        } else {
            ranges.append({start, i});
            start = i;
        }
    }
    return ranges;
}

} // namespace

QString addressProblem(const QString &jid)
{
    if (jid.isEmpty())
        return QStringLiteral("no address is set");
    if (jid.toUtf8().size() > LongestAddress)
        return QStringLiteral("the address is longer than %1 bytes").arg(LongestAddress);
    for (const QChar c : jid) {
        if (c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f || c == u'"' || c == u'\\' || c == u'\'')
            return QStringLiteral("the address holds a blank, a quote, a backslash or a control character");
    }
    return QString();
}

QString chatText(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    const QList<char32_t> points = codePoints(text);
    for (qsizetype i = 0; i < points.size(); ++i) {
        const char32_t c = points[i];
        if (c == u'\r' || c == 0x2028 || c == 0x2029) {
            if (c == u'\r' && i + 1 < points.size() && points[i + 1] == u'\n')
                ++i;
            clean += u'\n';
        } else if (!isDropped(c)) {
            clean += QString::fromUcs4(&c, 1);
        }
    }
    return clean;
}

QByteArrayList sayToCommands(const QString &jid, const QString &text)
{
    const QByteArray prefix = "/say_to -q -e " + jid.toUtf8() + ' ';
    const qsizetype budget = MaxCommandBytes - prefix.size() - 1 - 2 * WordJoinerBytes;
    const QList<char32_t> points = codePoints(chatText(text));
    QByteArrayList commands;
    for (const auto &[begin, end] : pieces(points, budget)) {
        if (begin < end)
            commands.append(prefix + encode(points, begin, end) + '\n');
    }
    return commands;
}

} // namespace wendle::mcabber
