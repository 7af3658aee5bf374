#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace wendle::search {

// What the index holds of a file to decide whether it has to be read again.
struct StoredState {
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    bool unreadable = false;
};

// The files the index holds in one folder, while the start check lists it: a
// hash of each name with the file's state, not the names themselves: 32 bytes
// a file, made once at its size (a folder of a million files: 32 MB).
// Two names of one folder with the same hash are never taken one for the
// other: neither is found, so both are read again, and the check looks on the
// disk before it forgets either.
class StoredFolder {
public:
    // How many files add will be given: the list is made once, at its size.
    void reserve(std::size_t files) { m_files.reserve(files); }
    void add(std::string_view name, const StoredState &state);
    // Call once every file is added, before the first find.
    void seal();

    // The file's state, marking it found; nothing for a name not stored, or
    // one whose hash another stored name shares.
    std::optional<StoredState> find(std::string_view name);
    // Whether a name the listing did not find is left: then the stored names
    // must be gone through again to forget those files.
    bool mayHoldUnfound() const { return m_found < m_files.size(); }
    // For a name read back from the index: whether the listing did not find it,
    // and whether the disk must tell because its hash is shared.
    enum class Fate { Found, Gone, AskTheDisk };
    Fate fateOf(std::string_view name) const;

private:
    struct File { // 32 bytes
        std::uint64_t nameHash;
        std::int64_t size;
        std::int64_t mtime;
        bool unreadable;
        bool found = false;
        bool hashShared = false;
    };
    std::vector<File> m_files; // by nameHash once sealed
    std::size_t m_found = 0;

    // The position of the file with this name hash; m_files.size() when none.
    std::size_t indexOf(std::uint64_t hash) const;
};

} // namespace wendle::search
