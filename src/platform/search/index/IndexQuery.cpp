#include "platform/search/FileKinds.h"
#include "platform/search/FileView.h"
#include "platform/search/FileWalker.h"
#include "platform/search/QueryEvaluator.h"
#include "platform/search/index/IndexStore.h"
#include "platform/search/index/SearchIndex.h"
#include "platform/search/index/StoredText.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <set>
#include <unordered_set>

namespace wendle::search {

namespace {

// A WHERE clause over the index's files table that every file the query matches
// passes: names and texts are looked up by the runs of plain characters their
// values require (the trigram tables find any run of three characters or more),
// kinds and sizes are compared directly. Files that pass are then tested
// against the query itself, so the clause only has to be generous, never exact.
struct IndexFilter {
    std::string where; // empty: every file
    std::vector<std::string> arguments;
};

bool startsCodePoint(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

// An FTS5 query asking for every run of three characters (a trigram) of every
// run of plain text the pattern requires. The tables keep no positions, to stay
// small and quick to build, so the trigrams are looked up one by one: a file that
// has them all is a candidate, and the query itself decides. Nothing when no run
// is three characters long.
std::optional<std::string> ftsQueryFor(const TextPattern &pattern)
{
    std::set<std::string> trigrams;
    for (const std::string &run : pattern.requiredRuns()) {
        std::vector<std::size_t> starts;
        for (std::size_t i = 0; i < run.size(); ++i) {
            if (startsCodePoint(run[i]))
                starts.push_back(i);
        }
        starts.push_back(run.size());
        for (std::size_t i = 0; i + 3 < starts.size(); ++i)
            trigrams.insert(run.substr(starts[i], starts[i + 3] - starts[i]));
    }
    if (trigrams.empty())
        return std::nullopt;
    std::string query;
    for (const std::string &trigram : trigrams) {
        query += query.empty() ? "\"" : " AND \"";
        for (char c : trigram)
            query += c == '"' ? std::string("\"\"") : std::string(1, c);
        query += '"';
    }
    return query;
}

const std::string kNothing = "0";

class FilterBuilder {
public:
    explicit FilterBuilder(const CompiledQuery &query) : m_query(query) {}

    IndexFilter build()
    {
        IndexFilter filter;
        filter.where = clause(m_query.root()).value_or(std::string());
        filter.arguments = std::move(m_arguments);
        return filter;
    }

private:
    const CompiledQuery &m_query;
    std::vector<std::string> m_arguments;

    // Nothing: the node does not narrow the files down.
    std::optional<std::string> clause(int index)
    {
        const CompiledQuery::Node &node = m_query.nodes()[std::size_t(index)];
        if (node.type == CompiledQuery::Node::Type::Leaf)
            return leafClause(m_query.leaves()[std::size_t(node.leaf)]);
        const bool isAnd = node.type == CompiledQuery::Node::Type::And;
        std::vector<std::string> parts;
        for (int child : node.children) {
            std::optional<std::string> part = clause(child);
            if (!part && !isAnd)
                return std::nullopt; // one open branch opens the whole OR
            // A term that is never true settles an AND, and is left out of an OR:
            // SQLite answers an OR from its terms' indexes only when every term has one.
            if (part == kNothing) {
                if (isAnd)
                    return kNothing;
                continue;
            }
            if (part)
                parts.push_back(std::move(*part));
        }
        if (parts.empty())
            return isAnd ? std::nullopt : std::optional<std::string>(kNothing);
        std::string joined = "(" + parts.front();
        for (std::size_t i = 1; i < parts.size(); ++i)
            joined += (isAnd ? " AND " : " OR ") + parts[i];
        return joined + ")";
    }

    std::optional<std::string> leafClause(const CompiledQuery::Leaf &leaf)
    {
        switch (leaf.source) {
        case CompiledQuery::Source::Never: return kNothing;
        case CompiledQuery::Source::Path: return std::nullopt;
        case CompiledQuery::Source::Name: return lookUp("names", leaf.pattern);
        case CompiledQuery::Source::Content: {
            if (std::optional<std::string> starting = startingWith(leaf.pattern))
                return starting;
            std::optional<std::string> found = lookUp("texts", leaf.pattern);
            return found ? found : std::optional<std::string>("has_text");
        }
        case CompiledQuery::Source::Size: return sizeClause(leaf);
        case CompiledQuery::Source::Kind: return kindClause(leaf);
        }
        return std::nullopt;
    }

    std::optional<std::string> lookUp(const char *table, const TextPattern &pattern)
    {
        std::optional<std::string> fts = ftsQueryFor(pattern);
        if (!fts)
            return std::nullopt;
        m_arguments.push_back(std::move(*fts));
        // A text kept cut may hold the rest of the run past its end.
        const char *cut = std::string_view(table) == "texts" ? " UNION ALL SELECT id FROM files WHERE has_text = 2" : "";
        return "id IN (SELECT rowid FROM " + std::string(table) + " WHERE " + table + " MATCH ?" + std::to_string(m_arguments.size()) + cut
               + ")";
    }

    // A text the value must start: the files whose kept head starts as it does,
    // found by the head's index (the head is cut at a character, so the run is cut
    // as it would be).
    std::optional<std::string> startingWith(const TextPattern &pattern)
    {
        const std::string run(keptPart(pattern.leadingRun(), IndexStore::kTextHeadBytes));
        if (run.empty())
            return std::nullopt;
        std::string past = run;
        past.back() = char(static_cast<unsigned char>(past.back()) + 1); // UTF-8 has no 0xFF byte
        m_arguments.push_back(run);
        const std::string low = std::to_string(m_arguments.size());
        m_arguments.push_back(std::move(past));
        return "(head >= ?" + low + " AND head < ?" + std::to_string(m_arguments.size()) + ")";
    }

    static std::string sizeClause(const CompiledQuery::Leaf &leaf)
    {
        const char *operators[] = {"=", "<", "<=", ">", ">="};
        return "size " + std::string(operators[int(leaf.comparison)]) + " " + std::to_string(leaf.number);
    }

    static std::string kindClause(const CompiledQuery::Leaf &leaf)
    {
        const KindCatalogue &catalogue = KindCatalogue::instance();
        std::string list;
        for (std::size_t id = 0; id < leaf.acceptedKinds.size(); ++id) {
            if (!leaf.acceptedKinds[id])
                continue;
            // MIME names hold no quote, but a database is no place to trust that.
            std::string name = catalogue.at(int(id)).mimeName.toStdString();
            std::erase(name, '\'');
            list += (list.empty() ? "'" : ",'") + name + "'";
        }
        return "kind IN (" + list + ")";
    }
};

// Whether every content comparison ignores case and diacritics, so that it can be
// decided on the folded text the index keeps.
bool decidableOnFoldedText(const CompiledQuery &query)
{
    return std::all_of(query.leaves().begin(), query.leaves().end(), [](const CompiledQuery::Leaf &leaf) {
        return leaf.source != CompiledQuery::Source::Content
               || (leaf.pattern.folding().ignoreCase && leaf.pattern.folding().ignoreDiacritics);
    });
}

// Files that may hold what the query looks for in texts: the others are given an
// empty text, which no comparison with a run to look up can match, instead of
// their own, read for nothing. Nothing when every text must be read, because a
// comparison has no run of three characters to look up.
std::optional<std::unordered_set<std::int64_t>> textCandidates(IndexStore &store, const CompiledQuery &query)
{
    // Values that must start the text are settled by its head before the text is
    // read, which leaves few to read: looking their runs up would cost more.
    const bool headsDecide = std::all_of(query.leaves().begin(), query.leaves().end(), [](const CompiledQuery::Leaf &leaf) {
        return leaf.source != CompiledQuery::Source::Content || !leaf.pattern.leadingRun().empty();
    });
    if (headsDecide)
        return std::nullopt;
    std::unordered_set<std::int64_t> candidates;
    for (const CompiledQuery::Leaf &leaf : query.leaves()) {
        if (leaf.source != CompiledQuery::Source::Content)
            continue;
        const std::optional<std::string> lookup = ftsQueryFor(leaf.pattern);
        std::optional<std::unordered_set<std::int64_t>> found = lookup ? store.textMatches(*lookup) : std::nullopt;
        if (!found)
            return std::nullopt;
        candidates.merge(*found);
    }
    return candidates;
}

// The strongest hits by (relevance, path), the order the list shows them in;
// every hit when the list has no length.
class StrongestHits {
public:
    explicit StrongestHits(qsizetype length) : m_length(length) {}

    // Whether a file whose relevance is at most `bound` could still be listed. A
    // bound equal to the weakest listed one may win on its path, so it is let in.
    bool mayEnter(double bound) const { return m_length <= 0 || qsizetype(m_hits.size()) < m_length || bound >= m_hits.front().relevance; }

    void add(SearchHit hit)
    {
        m_hits.push_back(std::move(hit));
        std::push_heap(m_hits.begin(), m_hits.end(), stronger);
        if (m_length > 0 && qsizetype(m_hits.size()) > m_length) {
            std::pop_heap(m_hits.begin(), m_hits.end(), stronger);
            m_hits.pop_back();
        }
    }

    QList<SearchHit> take() { return QList<SearchHit>(std::make_move_iterator(m_hits.begin()), std::make_move_iterator(m_hits.end())); }

private:
    qsizetype m_length;
    std::vector<SearchHit> m_hits; // a heap with the weakest in front

    static bool stronger(const SearchHit &a, const SearchHit &b)
    {
        return a.relevance != b.relevance ? a.relevance > b.relevance : a.path > b.path;
    }
};

} // namespace

std::optional<QList<SearchHit>> SearchIndex::search(const CompiledQuery &query, const std::atomic<bool> &cancelled,
                                                    qsizetype listLength) const
{
    if (!isReady())
        return std::nullopt;
    IndexStore store;
    if (!store.openForReading(m_databasePath))
        return std::nullopt;
    const IndexFilter filter = FilterBuilder(query).build();
    // The index keeps texts folded; a comparison that minds case or accents reads the file.
    const bool foldedTextDecides = decidableOnFoldedText(query);
    const std::optional<std::unordered_set<std::int64_t>> mayHoldText = foldedTextDecides ? textCandidates(store, query) : std::nullopt;
    const KindCatalogue &catalogue = KindCatalogue::instance();
    QueryEvaluator evaluator(query);
    FileScratch scratch;
    StrongestHits hits(listLength);
    std::vector<QString> comments(std::size_t(catalogue.size())); // by kind, as met
    const bool answered = store.select(
        filter.where, filter.arguments,
        [&](const IndexedFile &file) {
            if (cancelled.load(std::memory_order_relaxed))
                return false;
            const std::size_t slash = file.path.rfind('/');
            FileView view(AT_FDCWD, std::string_view(file.path).substr(0, slash), file.path.c_str() + slash + 1, scratch,
                          file.path.c_str());
            view.setKnownSize(file.size);
            const int kind = catalogue.idOf(QString::fromStdString(file.kind));
            view.setKnownKind(kind >= 0 ? kind : catalogue.unknownId());
            if (foldedTextDecides && !file.textCut) {
                view.setTextSource([&store, &file, &mayHoldText](std::string &text) {
                    if (!file.hasText)
                        return false;
                    if (mayHoldText && !mayHoldText->contains(file.id)) {
                        text.clear();
                        return true;
                    }
                    std::optional<std::string> stored = store.text(file.id);
                    if (stored)
                        text = std::move(*stored);
                    return stored.has_value();
                });
                if (file.hasText)
                    view.setTextHead(file.textHead);
            }
            // Once the list is full, a file that cannot outrank its weakest entry is
            // passed over before its text is read.
            if (!hits.mayEnter(evaluator.relevanceBound(view)))
                return true;
            // A file the owner could not be sent is no answer, and neither is one
            // deleted a moment ago.
            if (!evaluator.matches(view) || ::faccessat(AT_FDCWD, file.path.c_str(), R_OK, AT_EACCESS) != 0)
                return true;
            std::optional<QString> path = pathAsText(file.path);
            if (!path)
                return true; // indexed before its name was judged
            SearchHit hit;
            hit.relevance = evaluator.relevance(view);
            hit.path = std::move(*path);
            hit.fsName = QFile::decodeName(QByteArray(file.name.data(), qsizetype(file.name.size())));
            hit.displayName = hit.fsName;
            QString &comment = comments[std::size_t(view.kind())];
            if (comment.isNull())
                comment = catalogue.commentOf(view.kind());
            hit.kind = comment;
            hit.size = file.size;
            hits.add(std::move(hit));
            return true;
        },
        &m_lastSearchProblem);
    if (!answered || cancelled.load())
        return std::nullopt;
    return hits.take();
}

} // namespace wendle::search
