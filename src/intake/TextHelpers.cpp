#include "intake/TextHelpers.h"

#include <limits>

namespace wendle::text {

bool isSubstringOf(const QString &needle, const QString &haystack)
{
    if (needle.isEmpty())
        return false;
    return haystack.contains(needle, Qt::CaseInsensitive);
}

bool beginsWithString(const QString &text, const QString &prefix)
{
    if (prefix.isEmpty())
        return false;
    return text.toLower().startsWith(prefix);
}

namespace {

// A missing text stays missing: callers rely on "none stays none".
QString replaced(const QString &text, QChar from, QChar to)
{
    if (text.isNull())
        return text;
    QString copy = text;
    copy.replace(from, to);
    return copy;
}

} // namespace

QString replaceDoubleQuotes(const QString &text)
{
    return replaced(text, u'"', u'\'');
}
QString replaceUnderscores(const QString &text)
{
    return replaced(text, u'_', u' ');
}
QString addUnderscores(const QString &text)
{
    return replaced(text, u' ', u'_');
}
QString convertPathDelimitersToColons(const QString &text)
{
    return replaced(text, u'/', u':');
}

qint32 leadingInteger(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > std::numeric_limits<qint32>::max())
            return negative ? std::numeric_limits<qint32>::min() : std::numeric_limits<qint32>::max();
    }
    return qint32(negative ? -value : value);
}

bool isWordSeparator(QChar c)
{
    if (c == u'.' || c == u'-' || c == u'\'' || c == u'&')
        return false;
    // Horizontal whitespace only: line breaks are neither spaces nor punctuation.
    if (c == u'\t' || c.category() == QChar::Separator_Space)
        return true;
    return c.isPunct();
}

QString replaceSpacesWithAsterisks(const QString &text)
{
    QString result;
    qsizetype i = 0;
    const qsizetype length = text.size();
    while (i < length) {
        while (i < length && isWordSeparator(text[i]))
            ++i;
        const qsizetype start = i;
        while (i < length && !isWordSeparator(text[i]))
            ++i;
        if (i == start)
            break;
        if (!result.isEmpty())
            result += u'*';
        result += QStringView(text).mid(start, i - start);
    }
    return result;
}

} // namespace wendle::text
