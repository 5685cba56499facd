// Pages per second of saving a multi-page TIFF whose pages are all stored
// in several strips, so that every page is re-encoded: a 1,000-page and a
// 4,000-page file (small bilevel PackBits and uncompressed grey pages in
// turn). The rate should not fall with the length of the file.
//
//   build/bench/bench_reencode_pages [WORKDIR]
#include "core/library.h"
#include "savetiming.h"
#include "stripfile.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

std::vector<ovinbench::strippage> book(int pages) {
    std::vector<ovinbench::strippage> out;
    for (int k = 0; k < pages; ++k) {
        ovinbench::strippage p;
        const auto seed = static_cast<uint32_t>(k);
        if (k % 2 == 0) {
            p.width = 96;
            p.height = 64;
            p.compression = COMPRESSION_PACKBITS;
            p.rowsperstrip = 16;
            p.fill = [seed](uint32_t y, uint8_t* row) {
                for (uint32_t i = 0; i < 12; ++i) {
                    row[i] = static_cast<uint8_t>((y / 4 + i + seed) % 5 == 0 ? 0xF0 : 0);
                }
            };
        } else {
            p.width = 48;
            p.height = 32;
            p.bits = 8;
            p.photometric = PHOTOMETRIC_MINISBLACK;
            p.rowsperstrip = 8;
            p.fill = [seed](uint32_t y, uint8_t* row) {
                for (uint32_t x = 0; x < 48; ++x) {
                    row[x] = static_cast<uint8_t>(x * 5 + y * 3 + seed);
                }
            };
        }
        out.push_back(std::move(p));
    }
    return out;
}

// The best of `runs` saves of the file's pages.
double pagespersecond(const std::string& file, int pages, const std::string& temp,
                      const std::string& pdf, int runs) {
    ovin::Library lib;
    lib.pdfinit(0, temp);
    if (lib.pdfaddimage(file) != 0) {
        std::fprintf(stderr, "cannot add %s: %s\n", file.c_str(), lib.geterror(-6).c_str());
        return 0;
    }
    return ovinbench::bestpagespersecond(lib, pages, pdf, runs);
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "ovinpdf-bench";
    fs::create_directories(dir);
    const std::string temp = (dir / "OVINPDF.TMP").string();
    const std::string pdf = (dir / "book.pdf").string();
    double rates[2] = {0, 0};
    const int sizes[2] = {1000, 4000};
    for (int i = 0; i < 2; ++i) {
        const std::string file = (dir / ("book" + std::to_string(sizes[i]) + ".tif")).string();
        if (!fs::exists(file) && !ovinbench::writestripfile(file, book(sizes[i]))) {
            std::fprintf(stderr, "cannot write %s\n", file.c_str());
            return 1;
        }
        rates[i] = pagespersecond(file, sizes[i], temp, pdf, 3);
    }
    std::printf("re-encoded pages: 1000 pages %.0f pages/s, 4000 pages %.0f pages/s, ratio %.2f\n",
                rates[0], rates[1],
                rates[0] > rates[1] ? rates[0] / rates[1] : rates[1] / rates[0]);
    return rates[0] > 0 && rates[1] > 0 ? 0 : 1;
}
