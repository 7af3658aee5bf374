#include "platform/mail/HtmlText.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

namespace wendle {

namespace {

using Option = QRegularExpression::PatternOption;

QString removeHiddenParts(QString html)
{
    static const QRegularExpression comments(QStringLiteral("<!--.*?-->"), Option::DotMatchesEverythingOption);
    static const QRegularExpression hidden(QStringLiteral("<(script|style|head|title)\\b[^>]*>.*?</\\1\\s*>"),
                                           Option::DotMatchesEverythingOption | Option::CaseInsensitiveOption);
    return html.remove(comments).remove(hidden);
}

QString replaceTags(QString html)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    static const QRegularExpression lineBreaks(QStringLiteral("<br\\s*/?>|</(p|div|li|tr|h[1-6]|blockquote|pre|table)\\s*>"),
                                               Option::CaseInsensitiveOption);
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    return html.replace(space, QStringLiteral(" ")).replace(lineBreaks, QStringLiteral("\n")).remove(tags);
}

QString decodeEntity(const QString &name)
{
    static const QHash<QString, QString> named{
        {QStringLiteral("amp"), QStringLiteral("&")},   {QStringLiteral("lt"), QStringLiteral("<")},
        {QStringLiteral("gt"), QStringLiteral(">")},    {QStringLiteral("quot"), QStringLiteral("\"")},
        {QStringLiteral("apos"), QStringLiteral("'")},  {QStringLiteral("nbsp"), QStringLiteral(" ")},
        {QStringLiteral("ndash"), QStringLiteral("–")}, {QStringLiteral("mdash"), QStringLiteral("—")},
        {QStringLiteral("hellip"), QStringLiteral("…")}, {QStringLiteral("copy"), QStringLiteral("©")},
    };
    if (!name.startsWith(u'#'))
        return named.value(name.toLower(), u'&' + name + u';');
    bool ok = false;
    const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
    const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
    if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return QStringLiteral("\uFFFD");
    const char32_t character = code;
    return QString::fromUcs4(&character, 1);
}

QString decodeEntities(const QString &text)
{
    static const QRegularExpression entity(QStringLiteral("&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[A-Za-z]{2,8});"));
    QString result;
    qsizetype last = 0;
    for (auto it = entity.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        result += QStringView(text).mid(last, match.capturedStart() - last);
        result += decodeEntity(match.captured(1));
        last = match.capturedEnd();
    }
    result += QStringView(text).mid(last);
    return result;
}

// Trims every line and keeps at most one blank line between paragraphs.
QString tidyLines(const QString &text)
{
    QStringList lines;
    bool blank = true;
    for (const QString &line : text.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() && blank)
            continue;
        blank = trimmed.isEmpty();
        lines << trimmed;
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines.join(u'\n');
}

} // namespace

QString htmlToText(const QString &html)
{
    return tidyLines(decodeEntities(replaceTags(removeHiddenParts(html))));
}

} // namespace wendle
