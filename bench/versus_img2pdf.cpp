// Size and speed of ovinpdf against img2pdf, on sets of pages that the
// benchmark makes itself, and against cat copying the same bytes.
//
//   build/bench/bench_versus_img2pdf [WORKDIR] [PAGES] [SET...]
//
// SET names the sets to run by their keys (jpeg, pngnoisy, colourpalettepng,
// ...: the folders in WORKDIR); all of them by default.
// Sets: colour JPEGs, Group 4 TIFFs in one strip and in strips, uncompressed
// grey and colour TIFFs, 24-bit and 8-bit BMPs, grey, colour and noisy
// colour PNGs, grey and colour-quantised palette PNGs and LZW TIFFs, lossy
// and lossless WebP and GIF (A4 at 300 dpi), and the SANE test backend's "Color pattern" scanned by
// scanimage in colour, grey and line art, as PNM and as TIFF (its largest
// area, 200 x 200 mm at 300 dpi: the backend offers no A4). PAGES pages a
// set (default 10); the sets whose pages take 9 to 26 MB each
// (uncompressed grey and colour, colour PNG) take a third of that (at
// least one).
//
// Each figure is the best of five runs, each a fresh process: the tool on
// all the set's files into one PDF, img2pdf the same, cat of the files into
// one file, and cat followed by sync of that file (ovinpdf syncs every PDF
// it saves before giving it its name; img2pdf does not). Every PDF is
// checked with qpdf --check and its pages counted; a refused set or a
// broken file is reported as such instead of its figures. Corpus, outputs
// and the tools' temporary files all live in WORKDIR; the corpus stays
// there for the next run.
//
// Targets: ovinpdf size / img2pdf size <= 1.0, ovinpdf time / img2pdf time
// <= 0.2, and, for the sets whose data passes through unchanged (JPEG,
// one-strip Group 4), ovinpdf time / (cat + sync) time <= 1.2.
#include "a4pages.h"
#include "bmpfixtures.h"
#include "pngfile.h"
#include "tifffixtures.h"
#include "toolrun.h"
#include "webpgif.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using ovinbench::against;
using ovinbench::cell;
using ovinbench::conversion;
using ovinbench::kA4Height;
using ovinbench::kA4Width;
using ovinbench::mustwrite;
using ovinbench::ratio;
using ovinbench::timeonce;
using ovinbench::timing;
using ovinbench::workplace;

constexpr int kRuns = 5;
constexpr int kDefaultPages = 10;
constexpr uint32_t kMostPages = 1000;

struct tools {
    std::string ovinpdf = OVINPDF_CLI;
    std::string img2pdf, qpdf, cat, sync, scanimage;
};

// What a set is made of: a name, the file name extension, whether its data
// passes through into the PDF unchanged, whether its pages are large
// uncompressed ones (fewer of them), and the maker of page k.
struct pageset {
    std::string name;
    std::string key; // folder and file names
    std::string ext;
    bool passthrough = false;
    bool heavy = false;
    std::function<void(const std::string& path, uint32_t k)> make;
};

// Colour samples with the sensor noise of a cheap scanner or a phone in
// poor light: every sample moved by up to 12 either way.
std::vector<uint8_t> noisy(std::vector<uint8_t> samples) {
    uint32_t state = 12345;
    for (uint8_t& s : samples) {
        state = state * 1664525 + 1013904223;
        const int moved = s + static_cast<int>(state >> 27) - 12;
        s = static_cast<uint8_t>(std::clamp(moved, 0, 255));
    }
    return samples;
}

struct palettescan {
    std::vector<uint8_t> indices;
    std::vector<uint8_t> palette; // RGB triplets
};

// An A4 scan reduced to a palette: 256 greys, or the nearest of a 6 x 6 x 6
// colour cube.
palettescan quantised(bool colour, uint32_t seed) {
    palettescan scan;
    if (!colour) {
        scan.indices = ovintest::greypage(kA4Width, kA4Height, 1, seed).pixels;
        for (int i = 0; i < 256; ++i) {
            scan.palette.insert(scan.palette.end(), 3, static_cast<uint8_t>(i));
        }
        return scan;
    }
    const std::vector<uint8_t> rgb = ovintest::rgbpage(kA4Width, kA4Height, seed).pixels;
    const auto level = [](uint8_t v) { return (v * 5 + 127) / 255; };
    scan.indices.resize(rgb.size() / 3);
    for (size_t i = 0; i < scan.indices.size(); ++i) {
        scan.indices[i] = static_cast<uint8_t>(level(rgb[3 * i]) * 36 + level(rgb[3 * i + 1]) * 6 +
                                               level(rgb[3 * i + 2]));
    }
    for (int i = 0; i < 216; ++i) {
        for (int v : {i / 36, i / 6 % 6, i % 6}) {
            scan.palette.push_back(static_cast<uint8_t>(v * 51));
        }
    }
    return scan;
}

std::vector<pageset> a4sets() {
    std::vector<pageset> sets;
    sets.push_back({"colour JPEG", "jpeg", "jpg", true, false, ovinbench::writecolourjpeg});
    sets.push_back({"Group 4 TIFF, one strip", "g4", "tif", true, false,
                    [](const std::string& path, uint32_t k) {
                        ovintest::writetiff(path,
                                            {ovintest::bilevelpage(kA4Width, kA4Height, 4, k + 1)});
                    }});
    sets.push_back({"Group 4 TIFF, strips", "g4strips", "tif", false, false,
                    [](const std::string& path, uint32_t k) {
                        ovintest::tiffpage page =
                            ovintest::bilevelpage(kA4Width, kA4Height, 4, k + 1);
                        page.rowsperstrip = 64;
                        ovintest::writetiff(path, {page});
                    }});
    sets.push_back({"grey TIFF, uncompressed", "greytiff", "tif", false, true,
                    [](const std::string& path, uint32_t k) {
                        ovintest::writetiff(path,
                                            {ovintest::greypage(kA4Width, kA4Height, 1, k + 1)});
                    }});
    sets.push_back({"colour TIFF, uncompressed", "rgbtiff", "tif", false, true,
                    [](const std::string& path, uint32_t k) {
                        ovintest::writetiff(path, {ovintest::rgbpage(kA4Width, kA4Height, k + 1)});
                    }});
    const auto bmp = [](const std::string& path, uint16_t bits, std::vector<uint8_t> pixels) {
        ovintest::bmpoptions o;
        o.bitcount = bits;
        o.width = static_cast<int32_t>(kA4Width);
        o.height = static_cast<int32_t>(kA4Height);
        o.xppm = o.yppm = 11811; // 300 dpi
        o.pixels = std::move(pixels);
        mustwrite(ovintest::savebmp(path, ovintest::makebmp(o)), path);
    };
    sets.push_back(
        {"24-bit BMP", "bmp24", "bmp", false, true, [bmp](const std::string& path, uint32_t k) {
             bmp(path, 24, ovintest::rgbpage(kA4Width, kA4Height, k + 1).pixels);
         }});
    sets.push_back(
        {"8-bit grey BMP", "bmp8", "bmp", false, true, [bmp](const std::string& path, uint32_t k) {
             bmp(path, 8, ovintest::greypage(kA4Width, kA4Height, 1, k + 1).pixels);
         }});
    const auto png = [](const std::string& path, int channels, std::vector<uint8_t> pixels) {
        ovinbench::pngpage p;
        p.width = kA4Width;
        p.height = kA4Height;
        p.channels = channels;
        p.pixels = std::move(pixels);
        mustwrite(ovinbench::writepng(path, p), path);
    };
    sets.push_back(
        {"grey PNG", "pnggrey", "png", false, false, [png](const std::string& path, uint32_t k) {
             png(path, 1, ovintest::greypage(kA4Width, kA4Height, 1, k + 1).pixels);
         }});
    sets.push_back(
        {"colour PNG", "pngrgb", "png", false, true, [png](const std::string& path, uint32_t k) {
             png(path, 3, ovintest::rgbpage(kA4Width, kA4Height, k + 1).pixels);
         }});
    sets.push_back({"noisy colour PNG", "pngnoisy", "png", false, true,
                    [png](const std::string& path, uint32_t k) {
                        png(path, 3, noisy(ovintest::rgbpage(kA4Width, kA4Height, k + 1).pixels));
                    }});
    // Scans reduced to 256 greys or to a 6 x 6 x 6 colour cube, as scanning
    // programs save them to be small: palette PNG and LZW palette TIFF.
    const auto palettepng = [](const std::string& path, const palettescan& scan) {
        ovinbench::pngpage p;
        p.width = kA4Width;
        p.height = kA4Height;
        p.pixels = scan.indices;
        p.palette = scan.palette;
        mustwrite(ovinbench::writepng(path, p), path);
    };
    const auto palettetiff = [](const std::string& path, const palettescan& scan) {
        ovintest::tiffpage page = ovintest::palettepage(kA4Width, kA4Height);
        page.compression = 5;
        page.pixels = scan.indices;
        for (size_t i = 0; i < 256; ++i) {
            for (size_t c = 0; c < 3; ++c) {
                const size_t at = 3 * i + c;
                page.colormap[256 * c + i] =
                    at < scan.palette.size() ? static_cast<uint16_t>(scan.palette[at] * 257) : 0;
            }
        }
        ovintest::writetiff(path, {page});
    };
    for (const bool colour : {false, true}) {
        const std::string kind = colour ? "colour" : "grey";
        sets.push_back({kind + " palette PNG", kind + "palettepng", "png", false, false,
                        [=](const std::string& path, uint32_t k) {
                            palettepng(path, quantised(colour, k + 1));
                        }});
        sets.push_back({kind + " palette TIFF, LZW", kind + "palettetiff", "tif", false, false,
                        [=](const std::string& path, uint32_t k) {
                            palettetiff(path, quantised(colour, k + 1));
                        }});
    }
    // Pictures from browsers and messengers: lossy and lossless WebP, GIF.
    for (const bool lossless : {false, true}) {
        sets.push_back(
            {lossless ? "lossless WebP" : "lossy WebP", lossless ? "webplossless" : "webplossy",
             "webp", false, false, [lossless](const std::string& path, uint32_t k) {
                 mustwrite(ovinbench::writewebp(
                               path, ovintest::rgbpage(kA4Width, kA4Height, k + 1).pixels, kA4Width,
                               kA4Height, lossless),
                           path);
             }});
    }
    sets.push_back(
        {"GIF", "gif", "gif", false, false, [](const std::string& path, uint32_t k) {
             const palettescan scan = quantised(true, k + 1);
             mustwrite(ovinbench::writegif(path, scan.indices, scan.palette, kA4Width, kA4Height),
                       path);
         }});
    return sets;
}

// The SANE test backend's pattern, scanned once per mode and format into a
// template that every page of the set copies. An empty list and a reason
// when scanimage is missing or the backend refuses.
std::vector<pageset> scansets(const workplace& w, const tools& t, std::string& reason) {
    if (t.scanimage.empty()) {
        reason = "scanimage not found (Debian package sane-utils; scripts/setup installs it)";
        return {};
    }
    struct mode {
        const char* name;
        const char* key;
        std::vector<std::string> options;
        bool heavy;
    };
    const std::vector<mode> modes = {
        {"colour", "color", {"--mode", "Color"}, true},
        {"grey", "gray", {"--mode", "Gray"}, true},
        {"line art", "lineart", {"--mode", "Gray", "--depth", "1"}, false}};
    std::vector<pageset> sets;
    for (const char* format : {"pnm", "tiff"}) {
        for (const mode& m : modes) {
            const std::string key = std::string("scan") + m.key + format;
            const std::string scanned = w.file(key + ".scan");
            if (!fs::exists(scanned)) {
                std::vector<std::string> argv = {t.scanimage, "-d",  "test", "--resolution", "300",
                                                 "-x",        "200", "-y",   "200"};
                argv.insert(argv.end(), m.options.begin(), m.options.end());
                argv.insert(argv.end(),
                            {"--test-picture", "Color pattern", std::string("--format=") + format,
                             "-o", scanned + ".part"});
                const timing done = timeonce(w, {{argv, w.file("scanimage.log")}});
                if (!done.ok) {
                    reason = "scanimage -d test refused: " + done.message;
                    return {};
                }
                fs::rename(scanned + ".part", scanned);
            }
            sets.push_back(
                {std::string("scanimage ") + m.name + " " + format, key,
                 format == std::string("pnm") ? "pnm" : "tif", false, m.heavy,
                 [scanned](const std::string& path, uint32_t) { fs::copy_file(scanned, path); }});
        }
    }
    return sets;
}

// The set's files, made where they are missing.
std::vector<std::string> makeset(const workplace& w, const pageset& s, uint32_t pages) {
    return ovinbench::pagefiles(w.dir / s.key, s.ext, pages, s.make);
}

std::string figures(const conversion& c) {
    char text[32];
    if (!c.time.ok) {
        return c.time.crashed ? "       crashed" : "       refused";
    }
    if (!c.broken.empty()) {
        return "        BROKEN";
    }
    std::snprintf(text, sizeof text, "%7.2f %6.3f", static_cast<double>(c.bytes) / 1e6,
                  c.time.seconds);
    return text;
}

void printheader() {
    std::printf("%-25s %5s %7s | %-14s | %-14s | %6s %6s | %-14s %-14s %-14s %-14s | %s\n", "", "",
                "input", "ovinpdf", "img2pdf", "cat", "cat", "size", "time", "time", "time",
                "targets");
    std::printf("%-25s %5s %7s | %7s %6s | %7s %6s | %6s %6s | %-14s %-14s %-14s %-14s |\n", "set",
                "pages", "MB", "MB", "s", "MB", "s", "s", "+sync", "ovin/img", "ovin/img",
                "ovin/cat", "ovin/cat+sync");
}

void report(const pageset& s, size_t pages, uint64_t inbytes, const conversion& ours,
            const conversion& theirs, const timing& cat, const timing& catsync) {
    const auto secs = [](const timing& t) {
        char text[16];
        std::snprintf(text, sizeof text, "%6.3f", t.seconds);
        return t.ok ? std::string(text) : std::string("failed");
    };
    ratio size, time, overcat, overcatsync;
    if (ours.usable() && theirs.usable()) {
        size = against(static_cast<double>(ours.bytes) / static_cast<double>(theirs.bytes), 1.0,
                       5); // a few bytes a page decide it
        time = against(ours.time.seconds / theirs.time.seconds, 0.2);
    }
    if (s.passthrough && ours.usable() && cat.ok && catsync.ok) {
        overcat = against(ours.time.seconds / cat.seconds, 1.2);
        overcatsync = against(ours.time.seconds / catsync.seconds, 1.2);
    }
    // The row's verdict; against cat it counts cat+sync, since ovinpdf
    // syncs the PDF it saves.
    std::string verdict = "all met";
    if (!ours.time.ok) {
        verdict = ours.time.crashed ? "crashed" : "refused";
    } else if (!ours.broken.empty()) {
        verdict = "BROKEN";
    } else if (!theirs.usable()) {
        verdict = "no img2pdf";
    } else if (!size.met || !time.met || (overcatsync.shown && !overcatsync.met)) {
        verdict = "missed";
    }
    std::printf("%-25s %5zu %7.2f | %s | %s | %s %s | %s %s %s %s | %s\n", s.name.c_str(), pages,
                static_cast<double>(inbytes) / 1e6, figures(ours).c_str(), figures(theirs).c_str(),
                secs(cat).c_str(), secs(catsync).c_str(), cell(size).c_str(), cell(time).c_str(),
                cell(overcat).c_str(), cell(overcatsync).c_str(), verdict.c_str());
    const auto explain = [](const char* who, const conversion& c) {
        if (!c.time.ok) {
            std::printf("    %s %s: %s\n", who, c.time.crashed ? "crashed" : "refused",
                        c.time.message.c_str());
        } else if (!c.broken.empty()) {
            std::printf("    %s wrote a broken PDF: %s\n", who, c.broken.c_str());
        }
    };
    explain("ovinpdf", ours);
    explain("img2pdf", theirs);
    if (!cat.ok || !catsync.ok) {
        std::printf("    cat failed: %s\n", (cat.ok ? catsync : cat).message.c_str());
    }
    std::fflush(stdout);
}

void runset(const workplace& w, const tools& t, const pageset& s, uint32_t pages) {
    const std::vector<std::string> files = makeset(w, s, pages);
    uint64_t inbytes = 0;
    for (const std::string& f : files) {
        inbytes += fs::file_size(f);
    }
    const auto [cat, catsync] = ovinbench::timecat(w, t.cat, t.sync, files, kRuns);

    const std::string ourpdf = w.file("ovinpdf.pdf");
    std::vector<std::string> ourargv = {t.ovinpdf};
    ourargv.insert(ourargv.end(), files.begin(), files.end());
    ourargv.insert(ourargv.end(), {"-o", ourpdf});
    const conversion ours = ovinbench::convert(w, t.qpdf, ourargv, ourpdf, files.size(), kRuns);

    const std::string theirpdf = w.file("img2pdf.pdf");
    std::vector<std::string> theirargv = {t.img2pdf};
    theirargv.insert(theirargv.end(), files.begin(), files.end());
    theirargv.insert(theirargv.end(), {"-o", theirpdf});
    const conversion theirs =
        ovinbench::convert(w, t.qpdf, theirargv, theirpdf, files.size(), kRuns);

    report(s, files.size(), inbytes, ours, theirs, cat, catsync);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> only(argv + std::min(argc, 3), argv + argc);
    const std::optional<uint32_t> pages = argc > 2 ? ovinbench::wholenumber(argv[2], kMostPages)
                                                   : std::optional<uint32_t>(kDefaultPages);
    if (!pages) {
        std::fprintf(stderr, "PAGES must be a whole number from 1 to %u\n", kMostPages);
        return 2;
    }
    const fs::path dir =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "ovinpdf-versus";
    const std::optional<workplace> opened = ovinbench::openworkplace(dir);
    if (!opened) {
        std::fprintf(stderr, "cannot make the folder %s\n", dir.c_str());
        return 1;
    }
    const workplace& w = *opened;

    tools t;
    t.img2pdf = ovinbench::onpath("img2pdf");
    t.qpdf = ovinbench::onpath("qpdf");
    t.cat = ovinbench::onpath("cat");
    t.sync = ovinbench::onpath("sync");
    t.scanimage = ovinbench::onpath("scanimage");
    if (t.img2pdf.empty() || t.qpdf.empty() || t.cat.empty() || t.sync.empty()) {
        std::fprintf(stderr, "img2pdf, qpdf, cat and sync are needed on PATH (scripts/setup "
                             "installs them)\n");
        return 1;
    }

    std::printf("ovinpdf against img2pdf in %s, best of %d runs, %u pages a set "
                "(large pages: %u)\n",
                w.dir.c_str(), kRuns, *pages, std::max(1u, *pages / 3));
    try {
        std::string scanreason;
        std::vector<pageset> sets = a4sets();
        std::vector<pageset> scans = scansets(w, t, scanreason);
        sets.insert(sets.end(), scans.begin(), scans.end());
        printheader();
        for (const pageset& s : sets) {
            if (!only.empty() && std::find(only.begin(), only.end(), s.key) == only.end()) {
                continue;
            }
            runset(w, t, s, s.heavy ? std::max(1u, *pages / 3) : *pages);
        }
        if (!scanreason.empty()) {
            std::printf("SANE test-pattern sets skipped: %s\n", scanreason.c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_versus_img2pdf: %s\n", e.what());
        return 1;
    }
    std::printf("targets: size and time ovin/img <= 1.0 and 0.2; for the pass-through sets "
                "(JPEG, one-strip Group 4) time ovin/cat <= 1.2, counted in the row's verdict "
                "against cat+sync as ovinpdf syncs its PDF. MB = 10^6 bytes. The corpus stays "
                "in %s.\n",
                w.dir.c_str());
    return 0;
}
