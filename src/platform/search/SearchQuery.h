#pragma once

#include <QString>

#include <optional>
#include <vector>

// The parsed form of a metadata query text (grammar in MetadataSearch.h).
namespace wendle::search {

enum class Attribute { AnyText, Path, FSName, DisplayName, Kind, TextContent, Size };
enum class Comparison { Equal, Less, LessOrEqual, Greater, GreaterOrEqual };

struct ValueModifiers {
    bool ignoreCase = false;
    bool ignoreDiacritics = false;
    bool words = false;
};

// One piece of a quoted value. Escapes are already resolved, so an escaped '*' is
// plain text here and only unescaped ones became wildcards.
struct PatternPiece {
    enum class Type { Text, AnyRun, AnyChar };
    Type type = Type::Text;
    QString text; // Text only
};
using Pattern = std::vector<PatternPiece>;

struct QueryNode {
    enum class Type { And, Or, Compare };
    Type type = Type::Compare;
    std::vector<QueryNode> children; // And, Or: two or more

    // Compare
    Attribute attribute = Attribute::AnyText;
    Comparison comparison = Comparison::Equal;
    Pattern pattern; // text attributes
    ValueModifiers modifiers;
    qint64 number = 0; // kMDItemFSSize
};

// The parsed tree, or nothing with *error naming the 1-based character position of
// the fault.
std::optional<QueryNode> parseQuery(const QString &text, QString *error);

} // namespace wendle::search
