#pragma once

#include "platform/search/SearchQuery.h"
#include "platform/search/TextPattern.h"

#include <cstdint>
#include <vector>

namespace wendle::search {

class FileView;

// A parsed query turned into something cheap to test: every comparison becomes a
// leaf reading one attribute of a file. '*' becomes "name or kind or content". A
// kind comparison is settled against every kind the database knows, once, so per
// file it is a table look-up, and a value no kind can match drops out entirely.
// Immutable: the walker threads share one.
class CompiledQuery {
public:
    explicit CompiledQuery(const QueryNode &root);

    enum class Source { Name, Path, Kind, Content, Size, Never };
    struct Leaf {
        Source source = Source::Never;
        TextPattern pattern;             // Name, Path, Content
        std::vector<bool> acceptedKinds; // Kind, by catalogue id
        Comparison comparison = Comparison::Equal;
        qint64 number = 0; // Size
    };
    struct Node {
        enum class Type { And, Or, Leaf };
        Type type = Type::Leaf;
        std::vector<int> children; // And, Or
        int leaf = -1;             // Leaf
    };

    const std::vector<Node> &nodes() const { return m_nodes; }
    const std::vector<Leaf> &leaves() const { return m_leaves; }
    int root() const { return m_root; }

private:
    std::vector<Node> m_nodes;
    std::vector<Leaf> m_leaves;
    int m_root = -1;

    int add(const QueryNode &node);
    int addLeaf(Leaf leaf);
    int addBranch(Node::Type type, std::vector<int> children);
    Leaf kindLeaf(const QueryNode &node) const;
    static bool matchesKindWord(const TextPattern &pattern, const std::string &word);
};

// Tests files against a compiled query; one per walker thread.
//
// Attributes cost very different amounts: the name is already in hand, the kind by
// name is a cache look-up, the size is a stat, the content means opening and reading
// the file. So a file is judged in stages, each allowing one more kind of attribute,
// with three-valued logic: a comparison whose attribute is not yet allowed is
// "unknown", && is false as soon as one side is false, || true as soon as one side
// is true. Most files are settled by their name and kind alone and are never stat-ed
// or opened.
class QueryEvaluator {
public:
    explicit QueryEvaluator(const CompiledQuery &query);

    bool matches(FileView &file);

    // How strongly a matching file matches, from 0 to 1:
    //   relevance = 0.6 * nameStrength + 0.4 * contentStrength
    // nameStrength: over the name and path comparisons that hold, the best share of
    //   the compared text that the value's own characters (not wildcards) cover, so
    //   "budget.txt" beats "budget 2007 final.txt" for 'budget'.
    // contentStrength: over the content comparisons that hold, the best of
    //   n / (n + 2) for n word matches in the text (1 for a whole-text match), so
    //   more mentions rank higher but never above a name that is the value itself.
    // A file found by both its name and its content ranks above one found by either.
    // Kind comparisons filter and add nothing. Call after matches() returned true.
    double relevance(FileView &file);
    // The most relevance() can give the file, known from its name and path alone:
    // every content comparison counts as holding as strongly as it can. A file whose
    // bound falls short of a full list's weakest entry need not be read at all.
    double relevanceBound(FileView &file) const;

private:
    enum class Truth : std::int8_t { False, True, Unknown };
    enum class Stage { Name, KindByName, Size, Everything };

    const CompiledQuery &m_query;
    std::vector<Truth> m_truths;

    Truth evaluate(int node, FileView &file, Stage stage);
    Truth evaluateLeaf(int leaf, FileView &file, Stage stage);
    Truth test(const CompiledQuery::Leaf &leaf, FileView &file, Stage stage);
    static bool contentMatches(const TextPattern &pattern, FileView &file);
    static bool contentHolds(const TextPattern &pattern, FileView &file);
    static bool mayHoldDocument(std::string_view head);
    // The share of the name or path that the value's own characters cover.
    static double nameShare(const CompiledQuery::Leaf &leaf, FileView &file);
};

} // namespace wendle::search
