#include "platform/mail/HtmlText.h"

#include <QStringList>

#include <libxml/HTMLparser.h>

#include <cstring>
#include <initializer_list>
#include <mutex>

namespace wendle {

namespace {

bool named(const xmlNode *element, std::initializer_list<const char *> names)
{
    const char *name = reinterpret_cast<const char *>(element->name);
    for (const char *candidate : names) {
        if (std::strcmp(name, candidate) == 0)
            return true;
    }
    return false;
}

QString attribute(const xmlNode *element, const char *name)
{
    xmlChar *value = xmlGetNoNsProp(element, reinterpret_cast<const xmlChar *>(name));
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(value));
    xmlFree(value);
    return text;
}

bool isDropped(const xmlNode *element)
{
    return named(element, {"head", "title", "script", "style", "noscript", "template"});
}

bool isBlock(const xmlNode *element)
{
    return named(element, {"address", "article",  "aside",      "blockquote", "caption", "center", "dd",   "div", "dl",
                           "dt",      "fieldset", "figcaption", "figure",     "footer",  "form",   "h1",   "h2",  "h3",
                           "h4",      "h5",       "h6",         "header",     "hr",      "li",     "main", "nav", "ol",
                           "p",       "pre",      "section",    "table",      "td",      "th",     "tr",   "ul"});
}

// The containers mail programs wrap the answered message in, attribution and
// all. Yahoo prefixes its class names with a random word.
bool holdsQuotedMessage(const xmlNode *element)
{
    if (named(element, {"blockquote"}))
        return true;
    for (const QString &name : attribute(element, "class").split(u' ', Qt::SkipEmptyParts)) {
        if (name == QLatin1String("gmail_quote") || name == QLatin1String("gmail_attr") || name.endsWith(QLatin1String("yahoo_quoted"))
            || name == QLatin1String("moz-cite-prefix") || name == QLatin1String("moz-forward-container")
            || name == QLatin1String("protonmail_quote") || name == QLatin1String("OutlookMessageHeader")
            || name == QLatin1String("zmail_extra"))
            return true;
    }
    const QString marker = attribute(element, "data-marker");
    return marker == QLatin1String("__QUOTED_TEXT__") || marker == QLatin1String("__HEADERS__")
           || attribute(element, "id") == QLatin1String("mail-editor-reference-message-container");
}

// Outlook puts the answered message after these markers, beside them rather
// than inside; a quote of an Outlook quote prefixes the id with "x_".
bool beginsQuotedRest(const xmlNode *element)
{
    const QString id = attribute(element, "id");
    return id.endsWith(QLatin1String("divRplyFwdMsg")) || id.endsWith(QLatin1String("appendonsend"));
}

// Lines as a browser would lay them out, each remembering whether any of
// its text came from a quote.
class LineWriter {
public:
    void write(const QString &text, bool quoted, bool preformatted)
    {
        for (QChar c : text) {
            if (preformatted && c == u'\n') {
                breakLine();
                continue;
            }
            // Outside <pre> a run of blanks is one space; a no-break space is not blank here.
            const bool blank = !preformatted && (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f');
            if (blank && (m_current.isEmpty() || m_current.back() == u' '))
                continue;
            m_current += blank ? QChar(u' ') : c;
            m_currentQuoted = m_currentQuoted || (quoted && !blank);
        }
    }
    // <br>: a new line, even after an empty one.
    void breakLine()
    {
        m_lines.append({m_current, m_currentQuoted});
        m_current.clear();
        m_currentQuoted = false;
    }
    // A block's edge: a new line unless the current one is still empty.
    void endBlock()
    {
        if (m_current.trimmed().isEmpty())
            m_current.clear();
        else
            breakLine();
    }
    // Trimmed lines, quoted ones marked with "> ", at most one blank line
    // between paragraphs.
    QString finishedText()
    {
        endBlock();
        QStringList lines;
        bool blank = true;
        for (const auto &[line, quoted] : m_lines) {
            QString trimmed = QString(line).replace(QChar::Nbsp, u' ').trimmed();
            if (trimmed.isEmpty() && blank)
                continue;
            blank = trimmed.isEmpty();
            lines << (quoted && !blank ? QLatin1String("> ") + trimmed : trimmed);
        }
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines.join(u'\n');
    }

private:
    QList<std::pair<QString, bool>> m_lines;
    QString m_current;
    bool m_currentQuoted = false;
};

// The tree is walked without recursion: a message may nest elements
// thousands deep.
class TextWalk {
public:
    explicit TextWalk(xmlDoc *document) : m_document(document) {}

    QString text()
    {
        xmlNode *node = m_document->children;
        while (node) {
            if (enter(node) && node->children) {
                node = node->children;
                continue;
            }
            while (node) {
                leave(node);
                if (node->next) {
                    node = node->next;
                    break;
                }
                node = node->parent == reinterpret_cast<xmlNode *>(m_document) ? nullptr : node->parent;
            }
        }
        return m_writer.finishedText();
    }

private:
    bool quoted() const { return m_quoteDepth > 0 || m_restQuoted; }

    // Whether the node's children are read.
    bool enter(xmlNode *node)
    {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            m_writer.write(QString::fromUtf8(reinterpret_cast<const char *>(node->content)), quoted(), m_preDepth > 0);
            return false;
        }
        if (node->type != XML_ELEMENT_NODE || isDropped(node))
            return false;
        if (beginsQuotedRest(node))
            m_restQuoted = true;
        if (holdsQuotedMessage(node))
            ++m_quoteDepth;
        if (named(node, {"pre"}))
            ++m_preDepth;
        if (named(node, {"br"}))
            m_writer.breakLine();
        else if (isBlock(node))
            m_writer.endBlock();
        return true;
    }

    void leave(xmlNode *node)
    {
        if (node->type != XML_ELEMENT_NODE || isDropped(node))
            return;
        if (isBlock(node))
            m_writer.endBlock();
        if (holdsQuotedMessage(node))
            --m_quoteDepth;
        if (named(node, {"pre"}))
            --m_preDepth;
    }

    xmlDoc *m_document;
    LineWriter m_writer;
    int m_quoteDepth = 0;
    int m_preDepth = 0;
    bool m_restQuoted = false;
};

// NUL and lone surrogates are no text; they would end or garble the UTF-8
// the parser reads.
QString withValidCharacters(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool paired = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (paired)
            ++i;
        else if (text[i].isNull() || text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

// libxml2 sets up its global tables once; after that it parses on any thread.
void initialiseParser()
{
    static std::once_flag once;
    std::call_once(once, xmlInitParser);
}

} // namespace

QString htmlToText(const QString &html)
{
    initialiseParser();
    const QByteArray utf8 = withValidCharacters(html).toUtf8();
    // The text is already decoded: a <meta charset> inside must not make the
    // parser decode it again.
    const int options =
        HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_NODEFDTD | HTML_PARSE_IGNORE_ENC;
    htmlDocPtr document = htmlReadMemory(utf8.constData(), int(utf8.size()), nullptr, "UTF-8", options);
    if (!document)
        return {};
    const QString text = TextWalk(document).text();
    xmlFreeDoc(document);
    return withValidCharacters(text);
}

} // namespace wendle
