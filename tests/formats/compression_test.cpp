// The document face's compression of decoded pages. Pages of every kind of
// sample (bilevel text, negative and noise; smooth, noisy and patterned
// grey and colour; 16 bits) must come out coded as expected and drawn by
// poppler and MuPDF exactly as their samples, or, with a JPEG quality, as
// JPEG close to them. Preparing pages ahead on a second thread must write
// the same bytes and warnings as preparing them one by one.
#include "compression/compress.h"
#include "core/library.h"
#include "core/options.h"
#include "documentpdf.h"
#include "ovinpdf.h"
#include "pdftools.h"
#include "render.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

namespace {

using ovintest::raster;

// A raw PNM file (P4, P5 or P6 by `channels` and `bits`) of samples given
// per pixel, and how the page must look in RGB.
struct pnmpage {
    std::string name;
    std::string file;
    raster look;
    std::vector<std::string> coding; // found in the image's dictionary
    std::vector<std::string> absent; // not found there
    bool photographic = false;       // 8-bit grey or colour: JPEG with a quality
    int tolerance = 0;               // largest difference of a sample, losslessly
};

using samplefn = std::function<uint32_t(int x, int y, int channel)>;

pnmpage makepnm(const std::string& name, int width, int height, int channels, int bits,
                const samplefn& sample) {
    pnmpage page{name, {}, {width, height, 3, {}, {}}, {}, {}, bits == 8};
    const int maxval = bits == 1 ? 1 : (1 << bits) - 1;
    page.file = std::string(bits == 1       ? "P4"
                            : channels == 1 ? "P5"
                                            : "P6") +
                "\n" + std::to_string(width) + " " + std::to_string(height) + "\n" +
                (bits == 1 ? "" : std::to_string(maxval) + "\n");
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> bitrow(static_cast<size_t>(width + 7) / 8);
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const uint32_t v = sample(x, y, c);
                if (bits == 1) {
                    bitrow[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(v << (7 - x % 8));
                } else if (bits == 16) {
                    page.file += {static_cast<char>(v >> 8), static_cast<char>(v)};
                } else {
                    page.file += static_cast<char>(v);
                }
                // PBM's 1 is black; deeper samples shown in 8 bits.
                const auto seen =
                    static_cast<uint8_t>(bits == 1 ? (v ? 0 : 255) : v * 255 / maxval);
                page.look.pixels.insert(page.look.pixels.end(), channels == 1 ? 3 : 1, seen);
            }
        }
        page.file.append(bitrow.begin(), bitrow.end());
        if (bits != 1) {
            page.file.resize(page.file.size() - bitrow.size());
        }
    }
    return page;
}

// Pages of each kind of sample the compression tells apart.
std::vector<pnmpage> samplepages() {
    const int w = 600; // 216 by 144 points at 200 dpi
    const int h = 400;
    std::vector<pnmpage> pages;
    std::minstd_rand random(7);
    std::vector<uint32_t> noise(static_cast<size_t>(w) * h * 3);
    for (uint32_t& v : noise) {
        v = static_cast<uint32_t>(random());
    }
    const auto at = [&](int x, int y, int c) { return noise[(size_t(y) * w + x) * 3 + c]; };
    // Scanned letters: in each cell of a line, strokes that keep their place
    // for a few rows, as a letter's do, with edges a pixel off here and
    // there. Black on white, and inverted.
    const auto text = [&](int x, int y) -> uint32_t {
        const int cell = x / 12;
        const uint32_t hash = static_cast<uint32_t>(cell + 1) * 73856093u ^
                              static_cast<uint32_t>(y / 4 + 1) * 19349663u;
        const uint32_t mixed = (hash ^ (hash >> 13)) * 0x5bd1e995u;
        const uint32_t jitter = at(cell, y, 2);
        const auto start = static_cast<int>((mixed >> 8) % 6 + (jitter & 1));
        const auto length = static_cast<int>(2 + (mixed >> 16) % 4 + (jitter >> 1 & 1));
        return y % 32 < 20 && x % 12 >= start && x % 12 < start + length ? 1 : 0;
    };
    pages.push_back(makepnm("text.pbm", w, h, 1, 1, [&](int x, int y, int) { return text(x, y); }));
    pages.back().coding = {"/CCITTFaxDecode", "/K -1"};
    pages.push_back(
        makepnm("negative.pbm", w, h, 1, 1, [&](int x, int y, int) { return 1 - text(x, y); }));
    pages.back().coding = {"/CCITTFaxDecode", "/K -1"};
    // Noise, which Group 4 only makes larger.
    pages.push_back(
        makepnm("noise.pbm", w, h, 1, 1, [&](int x, int y, int) { return at(x, y, 0) & 1; }));
    pages.back().coding = {"/FlateDecode"};
    pages.back().absent = {"/CCITTFaxDecode"};
    // Continuous tone is coded by a trial, its samples as they are or
    // predicted: smooth pictures and flat tiles of few colours.
    pages.push_back(makepnm("gradient.pgm", w, h, 1, 8,
                            [](int x, int y, int) { return uint32_t(x + y) * 255 / (w + h); }));
    pages.push_back(makepnm("gradient.ppm", w, h, 3, 8, [](int x, int y, int c) {
        return uint32_t(c == 0 ? x : c == 1 ? y : x + y) * 255 / (w + h);
    }));
    pages.push_back(makepnm("tiles.ppm", w, h, 3, 8, [](int x, int y, int c) {
        return uint32_t((x / 32 * 7 + y / 32 * 3 + c * 5) % 4) * 85;
    }));
    // A scan's noise over a gradient, only ever predicted.
    pages.push_back(makepnm("scan.pgm", w, h, 1, 8, [&](int x, int y, int) {
        return uint32_t(x * 200 / w) + at(x, y, 1) % 24;
    }));
    pages.back().coding = {"/Predictor 15"};
    pages.push_back(makepnm("deep.pgm", w, h, 1, 16, [&](int x, int y, int) {
        return uint32_t(x * 65535 / w) ^ (at(x, y, 2) & 0xff);
    }));
    pages.back().coding = {"/BitsPerComponent 16"};
    pages.back().tolerance = 1; // readers round 16-bit samples either way
    return pages;
}

ovin::documentoptions withquality(int quality) {
    ovin::documentoptions o = ovin::documentdefaults();
    o.jpegquality = quality;
    return o;
}

TEST(Compression, PagesTakeTheirCodingAndLookLikeTheirSamples) {
    const std::vector<pnmpage> pages = samplepages();
    ovintest::tempdir dir;
    std::vector<std::string> files;
    for (const pnmpage& page : pages) {
        files.push_back(dir.file(page.name));
        ovintest::writebytes(files.back(), page.file);
    }
    // Losslessly, then with a JPEG quality, which only photographic pages
    // (8-bit grey and colour) take.
    for (const int quality : {0, 90}) {
        SCOPED_TRACE("JPEG quality " + std::to_string(quality));
        const std::string pdf = dir.file("out.pdf");
        const ovintest::documentpdf made =
            ovintest::makedocumentpdf(files, pdf, withquality(quality));
        ASSERT_EQ(made.code, 0) << made.error;
        EXPECT_EQ(made.qpdf, "");
        for (size_t i = 0; i < pages.size(); ++i) {
            const pnmpage& page = pages[i];
            SCOPED_TRACE(page.name);
            const bool jpeg = quality > 0 && page.photographic;
            const std::string& image = made.pdf.object(static_cast<int32_t>(3 * i + 1));
            for (const std::string& entry :
                 jpeg ? std::vector<std::string>{"/DCTDecode"} : page.coding) {
                EXPECT_NE(image.find(entry), std::string::npos) << entry << " in " << image;
            }
            for (const std::string& entry : page.absent) {
                EXPECT_EQ(image.find(entry), std::string::npos) << entry << " in " << image;
            }
            for (auto r : {ovintest::reader::poppler, ovintest::reader::mupdf}) {
                const raster seen = ovintest::sampled(
                    ovintest::renderpage(r, pdf, static_cast<int>(i + 1), 800, 3), 4);
                const ovintest::difference d = ovintest::compare(seen, page.look);
                ASSERT_TRUE(d.error.empty()) << seen.error << d.error;
                // JPEG at 90 stays close on average; noise costs it most.
                if (jpeg) {
                    EXPECT_LE(d.mean, 6.0) << ovintest::readername(r);
                } else {
                    EXPECT_LE(d.maximum, page.tolerance)
                        << ovintest::readername(r) << ", " << d.differing << " samples differ";
                }
            }
        }
    }
}

// A save that prepares pages ahead on a second thread writes what one that
// prepares them in turn writes: the same bytes, warnings in the same order,
// and the same failure for a file that went away after it was added.
TEST(Compression, PreparingAheadWritesTheSameBytes) {
    const std::vector<pnmpage> pages = samplepages();
    ovintest::tempdir dir;
    struct saved {
        int32_t code = 0;
        std::string error;
        std::string bytes;
        std::vector<std::string> warnings;
    };
    const auto save = [&](bool ahead, size_t missing) {
        ovin::Library lib(nullptr, ovin::makedocumentface());
        ovin::documentoptions o = ovin::documentdefaults();
        o.prepareahead = ahead;
        o.info.created = o.info.modified = 1700000000;
        lib.setoptions(o);
        for (size_t i = 0; i < pages.size(); ++i) {
            const std::string file = dir.file(pages[i].name);
            ovintest::writebytes(file, pages[i].file);
            EXPECT_EQ(lib.addimagepages(file, 0), 0) << lib.geterror(-1);
            if (i % 3 == 1) {
                EXPECT_EQ(lib.pdfaddtext("After " + pages[i].name), 0);
            }
            if (i == missing) {
                std::filesystem::remove(file);
            }
        }
        saved s;
        const std::string pdf = dir.file("out.pdf");
        s.code = lib.pdfsave(pdf);
        s.error = lib.geterror(s.code);
        s.bytes = s.code == 0 ? ovintest::readbytes(pdf) : "";
        lib.getwarnings([&](const std::string& line) { s.warnings.push_back(line); });
        return s;
    };
    for (const size_t missing : {SIZE_MAX, size_t{4}, size_t{5}}) {
        SCOPED_TRACE(missing);
        const saved inturn = save(false, missing);
        const saved ahead = save(true, missing);
        EXPECT_EQ(ahead.code, missing == SIZE_MAX ? 0 : OVINPDF_IMAGE_ERROR);
        EXPECT_EQ(ahead.code, inturn.code);
        EXPECT_EQ(ahead.error, inturn.error);
        EXPECT_TRUE(ahead.bytes == inturn.bytes);
        EXPECT_EQ(ahead.warnings, inturn.warnings);
        EXPECT_FALSE(ahead.warnings.empty()); // no resolution, 200 dpi assumed
    }
}

} // namespace

namespace {

// Samples that could also be embedded as stored keep the stored data unless
// compressing them gives clearly smaller data.
TEST(Compression, StoredDataStaysUnlessClearlyLarger) {
    ovin::imagedesc samples;
    samples.width = 64;
    samples.height = 64;
    samples.bitspercomponent = 8;
    samples.colour = ovin::colourspace::gray;
    samples.data.assign(64 * 64, 200); // Flate codes this in a few dozen bytes
    for (const size_t storedsize : {size_t{20}, size_t{4096}}) {
        ovin::imagedesc page = samples;
        auto stored = std::make_shared<ovin::imagedesc>(samples);
        stored->filter = ovin::pdffilter::lzw;
        stored->data.assign(storedsize, 0x80);
        page.asstored = stored;
        ASSERT_TRUE(ovin::compressimage(page, ovin::documentdefaults(), "page").ok());
        EXPECT_EQ(page.filter, storedsize == 20 ? ovin::pdffilter::lzw : ovin::pdffilter::flate)
            << storedsize;
        EXPECT_EQ(page.asstored, nullptr);
    }
}

} // namespace
