// Saves multi-page TIFF files of 1,000 and 4,000 pages through the document
// face and prints pages per second for each: the reader finds page k from
// the directory offsets it keeps for the save, so the rate stays the same
// however long the file is.
//   build/bench/bench_tiffpages [DIR]     (default: the temporary folder)
#include "core/library.h"
#include "core/options.h"
#include "savetiming.h"
#include "tifffixtures.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// The best of `runs` saves of a document made of every page of the file.
double pagespersecond(const std::string& tiff, int pages, const std::string& pdf, int runs) {
    ovin::Library lib(nullptr, ovin::makedocumentface());
    lib.pdfinit(0, "");
    lib.setoptions(ovin::documentdefaults());
    if (const int32_t added = lib.addimagepages(tiff, 0); added != 0) {
        std::fprintf(stderr, "adding failed: %s\n", lib.geterror(added).c_str());
        return 0;
    }
    return ovinbench::bestpagespersecond(lib, pages, pdf, runs);
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    fs::create_directories(dir);
    // Small Group 4 pages: the cost measured is finding and reading pages.
    const ovintest::tiffpage page = ovintest::bilevelpage(256, 128, 4);
    double rates[2] = {};
    const int counts[2] = {1000, 4000};
    for (int k = 0; k < 2; ++k) {
        const std::string tiff = (dir / ("bench_tiffpages_" + std::to_string(counts[k]) + ".tif"));
        ovintest::writetiff(tiff, std::vector<ovintest::tiffpage>(counts[k], page));
        rates[k] = pagespersecond(tiff, counts[k], (dir / "bench_tiffpages.pdf").string(), 3);
        fs::remove(tiff);
        std::printf("%5d pages: %8.0f pages/s\n", counts[k], rates[k]);
    }
    // Linear: the long file is read at about the rate of the short one.
    std::printf("rate of 4,000 pages against 1,000: %.2f (1 means linear)\n",
                rates[0] > 0 ? rates[1] / rates[0] : 0.0);
    return rates[0] > 0 && rates[1] > 0 ? 0 : 1;
}
