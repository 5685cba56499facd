// Runs a fuzz target without libFuzzer, so that the normal compiler builds
// it and ctest replays its inputs in every test run: each file named on the
// command line, and each file below each folder named there, is read whole
// and given once to LLVMFuzzerTestOneInput. Files go in sorted order, each
// in a heap block of exactly its size (as libFuzzer hands them), so that a
// sanitizer sees a read past the end. The name of a file is printed before
// it runs: when the target aborts, the last name printed is the culprit.
//
//   fuzz_NAME FILE|FOLDER...
//
// Exit status: 0 when every input ran, 2 for a path that is missing or
// unreadable, or when there was nothing to run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

// The regular files at path (itself, or everything below it), sorted; false
// when path does not exist or cannot be walked.
bool collect(const fs::path& path, std::vector<fs::path>& files) {
    std::error_code error;
    if (fs::is_regular_file(path, error)) {
        files.push_back(path);
        return true;
    }
    if (!fs::is_directory(path, error)) {
        return false;
    }
    std::vector<fs::path> found;
    for (fs::recursive_directory_iterator it(path, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) {
            found.push_back(it->path());
        }
    }
    if (error) {
        return false;
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
    return true;
}

bool replay(const fs::path& file) {
    std::error_code error;
    const uintmax_t size = fs::file_size(file, error);
    std::ifstream in(file, std::ios::binary);
    if (error || !in) {
        return false;
    }
    const auto length = static_cast<size_t>(size);
    // A block of exactly the file's size (and a valid pointer when empty).
    const auto data = std::make_unique_for_overwrite<uint8_t[]>(length);
    if (!in.read(reinterpret_cast<char*>(data.get()), static_cast<std::streamsize>(length)) ||
        in.peek() != std::char_traits<char>::eof()) {
        return false; // changed while being read
    }
    LLVMFuzzerTestOneInput(data.get(), length);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argc > 0 ? argv[0] : "fuzz target");
        return 2;
    }
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (!collect(argv[i], files)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "no inputs to run\n");
        return 2;
    }
    for (const fs::path& file : files) {
        std::fprintf(stderr, "%s\n", file.c_str());
        std::fflush(stderr);
        if (!replay(file)) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 2;
        }
    }
    std::fprintf(stderr, "%zu inputs ran\n", files.size());
    return 0;
}
