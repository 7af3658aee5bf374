#include "platform/search/QueryEvaluator.h"

#include "platform/search/FileKinds.h"
#include "platform/search/FileView.h"
#include "platform/search/KindWords.h"

#include <algorithm>

namespace wendle::search {

namespace {

constexpr double kNameWeight = 0.6;
constexpr double kContentWeight = 0.4;
constexpr int kCountedMatches = 50;
constexpr std::size_t kHeadBytes = 4096;
constexpr std::size_t kBytesBeforeKind = 64 * 1024;

bool compareNumber(qint64 value, Comparison comparison, qint64 bound)
{
    switch (comparison) {
    case Comparison::Equal: return value == bound;
    case Comparison::Less: return value < bound;
    case Comparison::LessOrEqual: return value <= bound;
    case Comparison::Greater: return value > bound;
    case Comparison::GreaterOrEqual: return value >= bound;
    }
    return false;
}

} // namespace

// ---- CompiledQuery --------------------------------------------------------------

CompiledQuery::CompiledQuery(const QueryNode &root)
{
    m_root = add(root);
}

int CompiledQuery::add(const QueryNode &node)
{
    if (node.type != QueryNode::Type::Compare) {
        std::vector<int> children;
        for (const QueryNode &child : node.children)
            children.push_back(add(child));
        return addBranch(node.type == QueryNode::Type::And ? Node::Type::And : Node::Type::Or, std::move(children));
    }
    Leaf leaf;
    switch (node.attribute) {
    case Attribute::Size:
        leaf.source = Source::Size;
        leaf.comparison = node.comparison;
        leaf.number = node.number;
        return addLeaf(std::move(leaf));
    case Attribute::Kind: return addLeaf(kindLeaf(node));
    case Attribute::Path: leaf.source = Source::Path; break;
    case Attribute::FSName:
    case Attribute::DisplayName: leaf.source = Source::Name; break;
    case Attribute::TextContent: leaf.source = Source::Content; break;
    case Attribute::AnyText: {
        // The display name is the file name here, so it is compared once.
        Leaf name{Source::Name, TextPattern(node.pattern, node.modifiers), {}, {}, 0};
        Leaf content{Source::Content, TextPattern(node.pattern, node.modifiers), {}, {}, 0};
        return addBranch(Node::Type::Or, {addLeaf(std::move(name)), addLeaf(kindLeaf(node)), addLeaf(std::move(content))});
    }
    }
    leaf.pattern = TextPattern(node.pattern, node.modifiers);
    return addLeaf(std::move(leaf));
}

CompiledQuery::Leaf CompiledQuery::kindLeaf(const QueryNode &node) const
{
    const KindCatalogue &catalogue = KindCatalogue::instance();
    const TextPattern pattern(node.pattern, node.modifiers);
    // A value with a slash names MIME types ('application/pdf', 'image/*').
    const bool namesTypes = std::any_of(node.pattern.begin(), node.pattern.end(), [](const PatternPiece &piece) {
        return piece.type == PatternPiece::Type::Text && piece.text.contains(u'/');
    });
    Leaf leaf;
    leaf.source = Source::Never;
    leaf.acceptedKinds.resize(std::size_t(catalogue.size()));
    for (int id = 0; id < catalogue.size(); ++id) {
        const KindInfo &kind = catalogue.at(id);
        const bool accepted = namesTypes
                                  ? pattern.matches(std::string_view(kind.mimeNameUtf8.constData(), std::size_t(kind.mimeNameUtf8.size())))
                                  : std::any_of(kind.kindWords.begin(), kind.kindWords.end(),
                                                [&](const std::string &word) { return matchesKindWord(pattern, word); });
        if (accepted) {
            leaf.acceptedKinds[std::size_t(id)] = true;
            leaf.source = Source::Kind;
        }
    }
    return leaf;
}

// '*image' matches "disk image" as a text, but it asks for images: when the value
// also matches a kind word that ends the word at hand, it means that shorter word.
bool CompiledQuery::matchesKindWord(const TextPattern &pattern, const std::string &word)
{
    if (!pattern.matches(word))
        return false;
    for (std::size_t space = word.find(' '); space != std::string::npos; space = word.find(' ', space + 1)) {
        const std::string_view tail = std::string_view(word).substr(space + 1);
        if (isKindWord(tail) && pattern.matches(tail))
            return false;
    }
    return true;
}

int CompiledQuery::addLeaf(Leaf leaf)
{
    m_leaves.push_back(std::move(leaf));
    Node node;
    node.leaf = int(m_leaves.size()) - 1;
    m_nodes.push_back(std::move(node));
    return int(m_nodes.size()) - 1;
}

int CompiledQuery::addBranch(Node::Type type, std::vector<int> children)
{
    Node node;
    node.type = type;
    node.children = std::move(children);
    m_nodes.push_back(std::move(node));
    return int(m_nodes.size()) - 1;
}

// ---- QueryEvaluator -------------------------------------------------------------

QueryEvaluator::QueryEvaluator(const CompiledQuery &query) : m_query(query), m_truths(query.leaves().size(), Truth::Unknown)
{}

bool QueryEvaluator::matches(FileView &file)
{
    std::fill(m_truths.begin(), m_truths.end(), Truth::Unknown);
    for (Stage stage : {Stage::Name, Stage::KindByName, Stage::Size, Stage::Everything}) {
        const Truth truth = evaluate(m_query.root(), file, stage);
        if (truth != Truth::Unknown)
            return truth == Truth::True;
    }
    return false; // not reached: at the last stage every leaf is decided
}

QueryEvaluator::Truth QueryEvaluator::evaluate(int index, FileView &file, Stage stage)
{
    const CompiledQuery::Node &node = m_query.nodes()[std::size_t(index)];
    if (node.type == CompiledQuery::Node::Type::Leaf)
        return evaluateLeaf(node.leaf, file, stage);
    const bool isAnd = node.type == CompiledQuery::Node::Type::And;
    const Truth decisive = isAnd ? Truth::False : Truth::True;
    Truth result = isAnd ? Truth::True : Truth::False;
    for (int child : node.children) {
        const Truth truth = evaluate(child, file, stage);
        if (truth == decisive)
            return decisive;
        if (truth == Truth::Unknown)
            result = Truth::Unknown;
    }
    return result;
}

QueryEvaluator::Truth QueryEvaluator::evaluateLeaf(int index, FileView &file, Stage stage)
{
    Truth &truth = m_truths[std::size_t(index)];
    if (truth == Truth::Unknown)
        truth = test(m_query.leaves()[std::size_t(index)], file, stage);
    return truth;
}

QueryEvaluator::Truth QueryEvaluator::test(const CompiledQuery::Leaf &leaf, FileView &file, Stage stage)
{
    const auto truthOf = [](bool value) { return value ? Truth::True : Truth::False; };
    switch (leaf.source) {
    case CompiledQuery::Source::Never: return Truth::False;
    case CompiledQuery::Source::Name: return truthOf(leaf.pattern.matches(file.name()));
    case CompiledQuery::Source::Path: return truthOf(leaf.pattern.matches(file.path()));
    case CompiledQuery::Source::Kind:
        if (stage >= Stage::KindByName && file.kindByName() >= 0)
            return truthOf(leaf.acceptedKinds[std::size_t(file.kindByName())]);
        if (stage < Stage::Everything)
            return Truth::Unknown;
        return truthOf(leaf.acceptedKinds[std::size_t(file.kind())]);
    case CompiledQuery::Source::Size: {
        if (stage < Stage::Size)
            return Truth::Unknown;
        const std::optional<qint64> size = file.size();
        return truthOf(size && compareNumber(*size, leaf.comparison, leaf.number));
    }
    case CompiledQuery::Source::Content: {
        if (stage >= Stage::KindByName && file.knownToHaveNoContent())
            return Truth::False;
        if (stage < Stage::Everything)
            return Truth::Unknown;
        return truthOf(contentMatches(leaf.pattern, file));
    }
    }
    return Truth::False;
}

// The value is tried on the file's bytes before its kind is asked for: when the name
// does not type a file, learning whether it holds text means sniffing its first
// bytes, which costs far more than matching a small file, and most files fail the
// match anyway. Large files untyped by name are sniffed first, so that a big binary
// is not read to its limit for nothing. Bytes in another encoding than UTF-8, and
// documents whose text must be extracted, are matched on their text instead.
bool QueryEvaluator::contentMatches(const TextPattern &pattern, FileView &file)
{
    if (file.hasTextSource()) {
        const std::optional<std::string_view> head = file.textHead();
        if (head && pattern.isAnchoredAtStart() && !pattern.mayStartWith(*head))
            return false;
        return contentHolds(pattern, file);
    }
    const int byName = file.kindByName();
    const TextFormat formatByName = byName >= 0 ? KindCatalogue::instance().at(byName).format : TextFormat::None;
    const bool rawFirst = formatByName == TextFormat::Plain || (byName < 0 && file.size().value_or(0) <= qint64(kBytesBeforeKind));
    if (rawFirst) {
        const std::optional<std::string_view> head = file.head(pattern.isAnchoredAtStart() ? kHeadBytes : kMaxContentBytes);
        if (!head)
            return false;
        if (!needsDecoding(*head)) {
            // 'tax*return*': the first bytes settle nearly every file.
            if (pattern.isAnchoredAtStart() && !pattern.mayStartWith(*head) && !mayHoldDocument(*head))
                return false;
            const std::optional<std::string_view> bytes = file.head(kMaxContentBytes);
            if (!bytes)
                return false;
            if (!pattern.matches(*bytes))
                return !mayHoldDocument(*bytes) ? false : contentHolds(pattern, file);
            if (needsDecoding(*bytes))
                return contentHolds(pattern, file);
            // The bytes matched; do they count as text, and are they the text?
            const std::optional<std::string_view> content = file.content();
            return content && (content->data() == bytes->data() || pattern.matches(*content));
        }
    }
    return contentHolds(pattern, file);
}

bool QueryEvaluator::contentHolds(const TextPattern &pattern, FileView &file)
{
    const std::optional<std::string_view> content = file.content();
    return content && pattern.matches(*content);
}

// Whether bytes that failed a match might still hide text worth extracting: a
// document untyped by its name (a PDF, a zipped office file, RTF) keeps its words
// compressed or wrapped in markup.
bool QueryEvaluator::mayHoldDocument(std::string_view head)
{
    return head.starts_with("%PDF-") || head.starts_with("PK\x03\x04") || head.starts_with("{\\rtf");
}

double QueryEvaluator::relevance(FileView &file)
{
    double nameStrength = 0;
    double contentStrength = 0;
    const std::vector<CompiledQuery::Leaf> &leaves = m_query.leaves();
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const CompiledQuery::Leaf &leaf = leaves[i];
        // Short-circuiting skipped some comparisons; they count if they hold.
        if (m_truths[i] == Truth::Unknown)
            m_truths[i] = test(leaf, file, Stage::Everything);
        if (m_truths[i] != Truth::True)
            continue;
        if (leaf.source == CompiledQuery::Source::Name || leaf.source == CompiledQuery::Source::Path) {
            nameStrength = std::max(nameStrength, nameShare(leaf, file));
        } else if (leaf.source == CompiledQuery::Source::Content) {
            if (!leaf.pattern.wordMode()) {
                contentStrength = 1; // the whole text is the value
                continue;
            }
            const std::optional<std::string_view> content = file.content();
            const int count = content ? leaf.pattern.countMatches(*content, kCountedMatches) : 0;
            contentStrength = std::max(contentStrength, double(count) / double(count + 2));
        }
    }
    return kNameWeight * nameStrength + kContentWeight * contentStrength;
}

double QueryEvaluator::nameShare(const CompiledQuery::Leaf &leaf, FileView &file)
{
    const std::string_view text = leaf.source == CompiledQuery::Source::Name ? file.name() : file.path();
    const std::size_t length = std::max<std::size_t>(foldedLength(text, leaf.pattern.folding()), 1);
    return std::min(1.0, double(leaf.pattern.literalLength()) / double(length));
}

double QueryEvaluator::relevanceBound(FileView &file) const
{
    double nameStrength = 0;
    double contentStrength = 0;
    for (const CompiledQuery::Leaf &leaf : m_query.leaves()) {
        if (leaf.source == CompiledQuery::Source::Name || leaf.source == CompiledQuery::Source::Path) {
            const std::string_view text = leaf.source == CompiledQuery::Source::Name ? file.name() : file.path();
            if (leaf.pattern.matches(text))
                nameStrength = std::max(nameStrength, nameShare(leaf, file));
        } else if (leaf.source == CompiledQuery::Source::Content) {
            const double strongest = leaf.pattern.wordMode() ? double(kCountedMatches) / double(kCountedMatches + 2) : 1;
            contentStrength = std::max(contentStrength, strongest);
        }
    }
    return kNameWeight * nameStrength + kContentWeight * contentStrength;
}

} // namespace wendle::search
