// The pages per second of saving a document: the best of several saves of
// the same pages, each timed from the call to its return.
#pragma once

#include "core/library.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace ovinbench {

// The best of `runs` saves into `pdf` of a document of `pages` pages,
// which is removed afterwards; 0 after printing why when a save fails.
inline double bestpagespersecond(ovin::Library& lib, int pages, const std::string& pdf, int runs) {
    double best = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const int32_t result = lib.pdfsave(pdf);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (result != 0) {
            std::fprintf(stderr, "save failed: %s\n", lib.geterror(result).c_str());
            return 0;
        }
        best = std::max(best, pages / took.count());
    }
    std::filesystem::remove(pdf);
    return best;
}

} // namespace ovinbench
