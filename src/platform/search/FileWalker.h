#pragma once

#include "platform/search/MetadataSearch.h"

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace wendle::search {

class CompiledQuery;

// Folders a walk never enters: the kernel's virtual file systems (/proc, /sys, /dev,
// /run and whatever else of their kind is mounted, read from /proc/self/mountinfo)
// and network shares, which can be slow or hang, and which no desktop search covers.
std::unordered_set<std::string> foldersOutsideAnySearch();

// The path as text, the way the rest of Wendle holds paths; nothing when its bytes
// do not come back from that text (a name in another encoding than the system's).
// Such a file could not be opened again to be sent, so searches leave it out.
std::optional<QString> pathAsText(std::string_view path);

// Walks the tree under root with `threads` threads and returns the regular files the
// query matches, unsorted. Names starting with '.' (hidden files and folders) are
// left out, symbolic links are never followed (so no loops, and nothing outside the
// tree is reached), and folders or files that cannot be read are skipped silently,
// even when their names match.
// Stops soon after `cancelled` is set, returning what it found so far.
QList<SearchHit> walkAndMatch(const CompiledQuery &query, const std::string &root, const std::unordered_set<std::string> &skippedFolders,
                              int threads, const std::atomic<bool> &cancelled);

} // namespace wendle::search
