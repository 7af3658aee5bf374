#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace wendle {

struct SearchHit {
    QString path;         // kMDItemPath
    QString displayName;  // kMDItemDisplayName
    QString fsName;       // kMDItemFSName
    QString kind;         // kMDItemKind
    double relevance = 0; // kMDQueryResultContentRelevance
    qint64 size = 0;      // kMDItemFSSize
};

enum class SearchScope { Home, Computer };

// Metadata search over the files of a scope, driven by a query text such as
//   *=='tax*return*'cd && kMDItemFSSize < 4194304
//
// Query language:
//   query       := or
//   or          := and ( '||' and )*          -- '&&' binds tighter than '||'
//   and         := primary ( '&&' primary )*
//   primary     := '(' or ')' | comparison
//   comparison  := attribute ('==' | '=') quoted modifiers
//                | attribute ('==' | '=' | '<' | '<=' | '>' | '>=') number
//   attribute   := '*' | kMDItemPath | kMDItemFSName | kMDItemDisplayName
//                | kMDItemKind | kMDItemTextContent | kMDItemFSSize
//   quoted      := "'" chars "'" | '"' chars '"'
//   modifiers   := letters written right after the closing quote: c (ignore case),
//                  d (ignore diacritics), w (match a run of words inside the text)
// '*' compares against the name, the kind and the text content, and holds when any
// of them matches. In a value, '*' stands for any run of characters and '?' for one
// character. Backslash escapes inside a value: \\ is a backslash, \' and \" are
// quotes, \* and \? are a literal asterisk and question mark; any other character
// after a backslash is an error. escapeSearchValue() applies this rule.
class MetadataSearch {
public:
    virtual ~MetadataSearch() = default;
    // Parses queryText. On a parse error returns false, fills *error with a clear message and starts nothing.
    // Otherwise starts the search off the main thread and returns true; onFinished runs exactly once, on the
    // thread that called start (the main thread, via its event loop), with the hits sorted ascending by
    // (relevance, path). With a listLength above 0 only the last that many of that order come: what a
    // list of that length shows, found without judging every file fully. Starting a new search
    // cancels the previous one: its callback never runs.
    virtual bool start(const QString &queryText, SearchScope scope, qsizetype listLength,
                       std::function<void(const QList<SearchHit> &)> onFinished, QString *error) = 0;
    virtual void cancel() = 0; // drops the running search; its callback never runs
};

// Makes any text safe to place between the quotes of a query value: backslashes and
// both quote characters get a backslash. Wildcards stay wildcards, on purpose: the
// owner's own '*' keeps working.
inline QString escapeSearchValue(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (QChar c : text) {
        if (c == u'\\' || c == u'\'' || c == u'"')
            escaped += u'\\';
        escaped += c;
    }
    return escaped;
}

} // namespace wendle
