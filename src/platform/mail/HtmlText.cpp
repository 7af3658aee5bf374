#include "platform/mail/HtmlText.h"

#include <QStringList>
#include <QTextDocument>

namespace wendle {

namespace {

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
    // Qt's HTML reader: entities, scripts, styles and the head as a browser
    // takes them. It needs no GUI application and may run on any thread.
    QTextDocument document;
    document.setHtml(html);
    QString text = document.toPlainText();
    text.replace(QChar::Nbsp, u' ').replace(QChar::LineSeparator, u'\n').replace(QChar::ParagraphSeparator, u'\n');
    // Images leave an object marker; "&#0;" and a lone surrogate are no text.
    text.remove(QChar::ObjectReplacementCharacter);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool paired = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (paired)
            ++i;
        else if (text[i].isNull() || text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return tidyLines(text);
}

} // namespace wendle
