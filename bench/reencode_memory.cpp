// Peak memory of re-encoding very large pages: a 20000 x 20000 bilevel page
// (Group 4 in strips, re-encoded to one strip of Group 4) and pages of the
// same size in 8-bit grey and 8-bit colour palette (PackBits in strips,
// re-encoded to JPEG with optimised coding). Each page is added and saved
// through the library in a child process; the figure is the child's peak
// resident memory less the page's coded data, which the library reads whole
// before it converts the page. Of what remains, the re-encoded data (shown
// as the PDF's size) is also held whole, by the same design, while it is
// read back; the rest is the conversion's working memory. The floor is a
// child that does nothing.
//
//   build/bench/bench_reencode_memory [WORKDIR] [SIDE]
#include "childrun.h"
#include "core/library.h"
#include "stripfile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// Lines of "text" 24 pixels high every 40 rows: glyph boxes with strokes,
// about as much ink and as many edges as a typed page.
bool ink(uint32_t x, uint32_t y) {
    const uint32_t line = y / 40;
    const uint32_t glyph = x / 14;
    if (y % 40 >= 24 || x % 14 >= 11 || (glyph * 2654435761U + line * 40503U) % 7 == 0) {
        return false;
    }
    return ((x % 14) * 5 + (y % 40) * 3 + glyph) % 9 < 3;
}

// Grey levels: shaded panels with text on them.
uint8_t shade(uint32_t x, uint32_t y) {
    if (ink(x, y)) {
        return 20;
    }
    return static_cast<uint8_t>(235 - ((x / 1000 + y / 700) % 4) * 25);
}

ovinbench::strippage bilevel(uint32_t side) {
    ovinbench::strippage p;
    p.width = p.height = side;
    p.compression = COMPRESSION_CCITTFAX4;
    p.rowsperstrip = 256;
    p.fill = [side](uint32_t y, uint8_t* row) {
        std::fill(row, row + (side + 7) / 8, 0);
        for (uint32_t x = 0; x < side; ++x) {
            if (ink(x, y)) {
                row[x >> 3] = static_cast<uint8_t>(row[x >> 3] | (0x80U >> (x & 7)));
            }
        }
    };
    return p;
}

ovinbench::strippage eightbit(uint32_t side, bool palette) {
    ovinbench::strippage p;
    p.width = p.height = side;
    p.bits = 8;
    p.photometric = palette ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_MINISBLACK;
    p.compression = COMPRESSION_PACKBITS;
    p.rowsperstrip = 64;
    if (palette) {
        p.colormap.resize(768);
        for (uint32_t i = 0; i < 256; ++i) {
            p.colormap[i] = static_cast<uint16_t>(i * 257);
            p.colormap[256 + i] = static_cast<uint16_t>((255 - i) * 257);
            p.colormap[512 + i] = static_cast<uint16_t>(((i * 3) & 255) * 257);
        }
    }
    p.fill = [side](uint32_t y, uint8_t* row) {
        for (uint32_t x = 0; x < side; ++x) {
            row[x] = shade(x, y);
        }
    };
    return p;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "ovinpdf-bench";
    const auto side = static_cast<uint32_t>(argc > 2 ? std::atol(argv[2]) : 20000);
    fs::create_directories(dir);
    const std::string temp = (dir / "OVINPDF.TMP").string();
    const std::string pdf = (dir / "large.pdf").string();

    struct item {
        const char* name;
        ovinbench::strippage page;
        std::string file;
    };
    const std::string size = std::to_string(side);
    item items[] = {
        {"bilevel, Group 4 to Group 4", bilevel(side), "bilevel" + size + ".tif"},
        {"8-bit grey, PackBits to JPEG", eightbit(side, false), "grey" + size + ".tif"},
        {"8-bit palette, PackBits to JPEG", eightbit(side, true), "palette" + size + ".tif"},
    };
    const ovinbench::outcome floor = ovinbench::inchild([] { return true; });
    std::printf("%u x %u pages; floor (a child that does nothing) %.1f MB\n", side, side,
                static_cast<double>(floor.peakkb) / 1024.0);
    bool allok = true;
    for (item& it : items) {
        const std::string file = (dir / it.file).string();
        if (!fs::exists(file)) {
            std::fprintf(stderr, "writing %s ...\n", file.c_str());
            if (!ovinbench::writestripfile(file, {it.page})) {
                std::fprintf(stderr, "cannot write %s\n", file.c_str());
                return 1;
            }
        }
        const double data = static_cast<double>(ovinbench::stripbytes(file)) / (1024.0 * 1024.0);
        const ovinbench::outcome run = ovinbench::inchild([&] {
            ovin::Library lib;
            lib.pdfinit(0, temp);
            return lib.pdfaddimage(file) == 0 && lib.pdfsave(pdf) == 0;
        });
        const double peak = static_cast<double>(run.peakkb) / 1024.0;
        const double out =
            run.ok ? static_cast<double>(fs::file_size(pdf)) / (1024.0 * 1024.0) : 0.0;
        std::printf("%-32s data %6.1f MB  peak %6.1f MB  peak - data %6.1f MB  (PDF %6.1f MB)  "
                    "%5.2f s%s\n",
                    it.name, data, peak, peak - data, out, run.seconds, run.ok ? "" : "  FAILED");
        allok = allok && run.ok;
        fs::remove(pdf);
    }
    return allok ? 0 : 1;
}
