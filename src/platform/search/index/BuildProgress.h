#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_set>

namespace wendle::search {

// How far a pass over the whole tree has come: the indexer thread writes it,
// `wendle status` and `wendle index rebuild` read it from theirs.
struct BuildProgress {
    std::atomic<std::int64_t> total{-1}; // -1 while the files are counted
    std::atomic<std::int64_t> done{0};
    std::atomic<std::chrono::steady_clock::rep> startedAt{0};

    void begin(std::int64_t files)
    {
        done = 0;
        startedAt = std::chrono::steady_clock::now().time_since_epoch().count();
        total = files;
    }
    double elapsedSeconds() const
    {
        const auto since = std::chrono::steady_clock::duration(startedAt.load());
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch() - since).count();
    }
};

// "1200 of 5400 files (22 %), about 40 s left": the time left is guessed
// from the pace so far, and left out until there is a pace to go by.
QString describeProgress(std::int64_t done, std::int64_t total, double elapsedSeconds);
QString describeProgress(const BuildProgress &progress);

// The files a pass will look at, by the rules the indexer walks by (no hidden
// entries, no links, none of the skipped folders); counting is quick beside
// reading them, and it gives the pass its end.
std::int64_t countIndexableFiles(const std::string &root, const std::unordered_set<std::string> &skipped, const std::atomic<bool> &stopped);

} // namespace wendle::search
