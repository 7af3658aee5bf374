#include "platform/log/PrintableText.h"

namespace wendle::text {

namespace {

bool rewritesTheLine(QChar c)
{
    const char16_t u = c.unicode();
    return c.category() == QChar::Other_Control || u == 0x2028 || u == 0x2029 || (u >= 0x202A && u <= 0x202E)
           || (u >= 0x2066 && u <= 0x2069);
}

QString printable(const QString &text, bool keepLines)
{
    QString result = text;
    for (QChar &c : result) {
        if (keepLines && (c == u'\n' || c == u'\t'))
            continue;
        if (rewritesTheLine(c))
            c = QChar::ReplacementCharacter;
    }
    return result;
}

} // namespace

QString printableLine(const QString &text)
{
    return printable(text, false);
}

QString printableText(const QString &text)
{
    return printable(text, true);
}

} // namespace wendle::text
