#pragma once

#include <optional>
#include <string>
#include <vector>

namespace wendle::search {

class CompiledQuery;

// A WHERE clause over the index's files table that every file the query matches
// passes: names and texts are looked up by the runs of plain characters their
// values require (the trigram tables find any run of three characters or more),
// kinds and sizes are compared directly. Files that pass are then tested
// against the query itself, so the clause only has to be generous, never exact.
struct IndexFilter {
    std::string where; // empty: every file
    std::vector<std::string> arguments;
};

IndexFilter indexFilterFor(const CompiledQuery &query);

// The FTS queries over the texts table, one per content comparison of the query:
// a file whose text none of them finds holds nothing any comparison looks for.
// Nothing when a comparison has no run of three characters to look up.
std::optional<std::vector<std::string>> contentLookupsFor(const CompiledQuery &query);

// Whether every content comparison ignores case and diacritics, so that it can be
// decided on the folded text the index keeps.
bool decidableOnFoldedText(const CompiledQuery &query);

} // namespace wendle::search
