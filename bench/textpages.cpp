// Saves text documents of 2,000 and 20,000 pages and prints pages per
// second for each, to show that the writer's cost grows linearly.
//   build/bench/bench_textpages [DIR]     (default: the temporary folder)
#include "core/library.h"
#include "savetiming.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// The best of `runs` saves of the same document: the least disturbed by
// whatever else the machine is doing.
double pagespersecond(int pages, const std::string& path, int runs) {
    ovin::Library lib;
    lib.pdfinit(0, "");
    for (int k = 0; k < pages; ++k) {
        lib.pdfaddtext("Page " + std::to_string(k + 1) +
                       " of a long text document with a bookmark on every tenth page");
        if (k % 10 == 0) {
            lib.pdfaddindex("Page " + std::to_string(k + 1) +
                                " of a long text document with a bookmark on every tenth page",
                            "Section " + std::to_string(k / 10 + 1));
        }
    }
    return ovinbench::bestpagespersecond(lib, pages, path, runs);
}

} // namespace

int main(int argc, char** argv) {
    std::filesystem::path dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    std::string path = (dir / "bench_textpages.pdf").string();
    double small = pagespersecond(2000, path, 20);
    double large = pagespersecond(20000, path, 5);
    std::printf("text pages: 2000 pages %.0f pages/s, 20000 pages %.0f pages/s, ratio %.2f\n",
                small, large, small > large ? small / large : large / small);
    return small > 0 && large > 0 ? 0 : 1;
}
