// Runs the fuzz entry point once over every file of the directories given on
// the command line (the committed seed corpus), so CTest exercises the target
// without libFuzzer. Exits non-zero when a directory is missing or empty; a
// broken invariant aborts inside the entry point.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<uint8_t> readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int replayDirectory(const std::filesystem::path &directory)
{
    std::error_code error;
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(directory, error)) {
        if (!entry.is_regular_file())
            continue;
        const std::vector<uint8_t> bytes = readFile(entry.path());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++count;
    }
    if (error)
        std::fprintf(stderr, "%s: %s\n", directory.c_str(), error.message().c_str());
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIRECTORY...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        const int count = replayDirectory(argv[i]);
        std::printf("%s: %d inputs replayed\n", argv[i], count);
        if (count == 0)
            return 1;
    }
    return 0;
}
