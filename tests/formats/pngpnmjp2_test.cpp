// PNG, PNM and JPEG 2000 pages through the document face. Every kind of
// file the readers take, made here by libpng, OpenJPEG or by hand, is saved
// into one PDF that qpdf checks; poppler and MuPDF must draw each page like
// the source decodes (over white where it is transparent). Damaged files are
// refused with a message. The fuzz targets' seeds come from the same files
// (OVIN_WRITE_FUZZ_SEEDS=1 rewrites fuzz/corpus/{png,pnm,jp2}).
#include "bmpfixtures.h"
#include "core/library.h"
#include "documentpdf.h"
#include "fuzzseeds.h"
#include "pagecheck.h"
#include "pdftools.h"
#include "pngfixtures.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace {

using bytes = std::vector<uint8_t>;
using ovintest::raster;

using ovintest::checkpages;
using ovintest::pagecase;
using ovintest::savefiles;

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// The length of the IDAT chunks' contents, which a kept page's data is.
size_t idatlength(const bytes& file) {
    size_t idat = 0;
    for (size_t at = 8; at + 8 <= file.size();) {
        const size_t length = size_t{file[at]} << 24 | size_t{file[at + 1]} << 16 |
                              size_t{file[at + 2]} << 8 | file[at + 3];
        idat += std::memcmp(&file[at + 4], "IDAT", 4) == 0 ? length : 0;
        at += length + 12;
    }
    return idat;
}

std::vector<pagecase> pngcases() {
    std::vector<pagecase> cases;
    const auto add = [&](std::string name, ovintest::pngoptions o,
                         std::vector<std::string> dictionary, bool seed = false) {
        const bytes file = ovintest::makepng(o);
        // Compositing over white may round either way.
        const bool alpha = o.transparency || o.colourtype == 4 || o.colourtype == 6;
        cases.push_back({name + ".png", file, ovintest::decodepng(file), o.ppm != 0 ? 72 : 200,
                         o.icc.empty() ? alpha ? 1 : 0 : 2, dictionary, seed});
    };
    const std::vector<std::pair<int, int>> plain = {
        {0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1}, {3, 2}, {3, 4}, {3, 8}};
    for (const auto& [type, depth] : plain) {
        ovintest::pngoptions o;
        o.colourtype = type;
        o.depth = depth;
        o.ppm = depth == 8 ? 2835 : 0;
        const std::string name = "type" + std::to_string(type) + "_" + std::to_string(depth);
        const bytes file = ovintest::makepng(o);
        add(name, o,
            {"/Predictor 15/Colors " + std::to_string(type == 2 ? 3 : 1) + "/BitsPerComponent " +
                 std::to_string(depth) + "/Columns 50",
             "/Length " + std::to_string(idatlength(file)) + ">>"},
            depth == 8);
        // The same pixels through libpng: interlaced, or with tRNS.
        o.interlaced = true;
        add(name + "_interlaced", o, {}, type == 3);
        o.interlaced = false;
        o.transparency = true;
        add(name + "_trns", o, {"/SMask"}, type == 0 && depth == 2);
    }
    for (const auto& [type, depth] : {std::pair{4, 8}, {4, 16}, {6, 8}, {6, 16}}) {
        ovintest::pngoptions o;
        o.colourtype = type;
        o.depth = depth;
        o.interlaced = depth == 16;
        add("alpha" + std::to_string(type) + "_" + std::to_string(depth), o,
            {"/BitsPerComponent " + std::to_string(depth), "/SMask"}, type == 6 && depth == 8);
    }
    ovintest::pngoptions icc;
    icc.icc = ovintest::iccprofile(false);
    add("srgb", icc, {"/ICCBased"});
    icc.colourtype = 0;
    icc.icc = ovintest::iccprofile(true);
    add("grey_profile", icc, {"/ICCBased"});
    ovintest::pngoptions turned;
    turned.orientation = 6;
    add("exif6", turned, {"/Predictor 15"}, true);
    // The picture turned a quarter clockwise.
    raster& look = cases.back().look;
    raster upright = look;
    std::swap(upright.width, upright.height);
    for (int y = 0; y < upright.height; ++y) {
        for (int x = 0; x < upright.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                upright.pixels[size_t((y * upright.width + x) * 3 + c)] =
                    look.pixels[size_t(((look.height - 1 - x) * look.width + y) * 3 + c)];
            }
        }
    }
    look = upright;
    return cases;
}

// A PNM file of the test pattern with samples up to maxval, and how it
// looks (a 16-bit sample is drawn by its high byte, hence the tolerance).
pagecase pnmcase(char kind, uint32_t maxval, bool seed = false) {
    const bool bits = kind == '1' || kind == '4';
    const bool plain = kind <= '3';
    const uint32_t channels = kind == '3' || kind == '6' ? 3 : 1;
    const uint32_t width = 50, height = 25;
    const std::string name = std::string("P") + kind + "_" + std::to_string(maxval);
    std::string text = std::string("P") + kind + "\n# test pattern\n" + std::to_string(width) +
                       " " + std::to_string(height) +
                       (bits ? "\n" : " " + std::to_string(maxval) + "\n");
    raster look{static_cast<int>(width), static_cast<int>(height), 3, {}, ""};
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t bitrow[7] = {};
        for (uint32_t x = 0; x < width; ++x) {
            for (uint32_t c = 0; c < channels; ++c) {
                const uint32_t v = (x * 73 + y * 151 + c * 89 + (x ^ y) * 7) * 40503u / 11 %
                                   ((bits ? 1 : maxval) + 1);
                const auto seen = static_cast<uint8_t>(bits ? (v != 0 ? 0 : 255)
                                                            : (v * 255 + maxval / 2) / maxval);
                look.pixels.insert(look.pixels.end(), channels == 1 ? 3 : 1, seen);
                if (plain) {
                    text += std::to_string(v) + (bits && x % 7 != 0 ? "" : " ");
                } else if (bits) {
                    bitrow[x / 8] = static_cast<uint8_t>(bitrow[x / 8] | v << (7 - x % 8));
                } else if (maxval > 255) {
                    text += {static_cast<char>(v >> 8), static_cast<char>(v)};
                } else {
                    text += static_cast<char>(v);
                }
            }
        }
        text += plain ? "\n" : bits ? std::string(bitrow, bitrow + 7) : "";
    }
    const int tolerance = maxval == 255 || bits ? 0 : 1;
    return {name + ".pnm",
            bytes(text.begin(), text.end()),
            look,
            200,
            tolerance,
            {bits ? "/Decode[1 0]" : "/BitsPerComponent " + std::string(maxval > 255 ? "16" : "8")},
            seed};
}

TEST(PngPages, LookAsLibpngDecodesThem) {
    const std::vector<pagecase> cases = pngcases();
    const std::string listing = checkpages(cases, "%PDF-1.5"); // 16-bit pages
    EXPECT_EQ(count(listing, " smask "), 15u) << listing;      // tRNS and alpha
}

std::vector<pagecase> pnmcases() {
    std::vector<pagecase> cases = {
        pnmcase('1', 1, true),   pnmcase('2', 255),         pnmcase('2', 1000),
        pnmcase('3', 255),       pnmcase('3', 7),           pnmcase('4', 1, true),
        pnmcase('5', 255, true), pnmcase('5', 65535, true), pnmcase('5', 100),
        pnmcase('6', 255),       pnmcase('6', 65535),       pnmcase('6', 4095)};
    // Images one after the other are the pages of one file.
    std::vector<pagecase> parts = {pnmcase('4', 1), pnmcase('5', 255), pnmcase('1', 1)};
    pagecase joined = parts[0];
    joined.name = "joined.pnm";
    joined.seed = true;
    joined.file.clear();
    for (pagecase& part : parts) {
        joined.file.insert(joined.file.end(), part.file.begin(), part.file.end());
        part.file.clear();
    }
    cases.push_back(joined);
    cases.insert(cases.end(), parts.begin() + 1, parts.end());
    return cases;
}

TEST(PnmPages, LookLikeTheirSamples) {
    checkpages(pnmcases(), "%PDF-1.5");
}

std::vector<pagecase> jp2cases() {
    std::vector<pagecase> cases;
    const auto add = [&](std::string name, ovintest::jp2options o, int dpi, bool seed = false) {
        const bytes file = ovintest::makejp2(o);
        cases.push_back({name,
                         file,
                         ovintest::decodejp2(file),
                         dpi,
                         o.icc.empty() ? 0 : 2,
                         {"/Filter/JPXDecode", "/Length " + std::to_string(file.size()) + ">>"},
                         seed});
    };
    ovintest::jp2options o;
    o.width = 25; // small seeds
    add("rgb.jp2", o, 200, true);
    o.displaydpi = 72; // the display resolution wins over the capture one
    o.capturedpi = 150;
    add("rgb_res.jp2", o, 72, true);
    o.components = 1;
    o.displaydpi = 0;
    add("grey_resc.jp2", o, 150);
    o.icc = ovintest::iccprofile(true);
    add("grey_icc.jp2", o, 150, true);
    cases.back().dictionary.push_back("/ColorSpace[/ICCBased");
    o.codestream = true;
    add("grey.j2k", o, 200, true);
    o.components = 3;
    add("rgb.j2k", o, 200);
    return cases;
}

TEST(Jp2Pages, LookAsOpenJpegDecodesThem) {
    const std::vector<pagecase> cases = jp2cases();
    EXPECT_EQ(count(checkpages(cases, "%PDF-1.5"), " jpx "), cases.size());
}

struct refusal {
    std::string name;
    bytes file;
    std::string message;
};

// A PNG file whose IDAT chunk holds the first half of its data (CRC
// right, IEND after it), or whose data has one bit changed.
bytes damagedpng(const ovintest::pngoptions& o, bool flip) {
    bytes file = ovintest::makepng(o);
    size_t at = 8;
    while (std::memcmp(&file[at + 4], "IDAT", 4) != 0) {
        at += (size_t{file[at + 2]} << 8 | file[at + 3]) + 12;
    }
    if (flip) {
        file[at + 9] ^= 1;
        return file;
    }
    const size_t half = (size_t{file[at + 2]} << 8 | file[at + 3]) / 2;
    file.resize(at + 8 + half);
    file[at] = file[at + 1] = 0;
    file[at + 2] = static_cast<uint8_t>(half >> 8);
    file[at + 3] = static_cast<uint8_t>(half);
    const uLong crc = crc32(0, &file[at + 4], static_cast<uInt>(half + 4));
    for (int shift = 24; shift >= 0; shift -= 8) {
        file.push_back(static_cast<uint8_t>(crc >> shift));
    }
    file.insert(file.end(), {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82});
    return file;
}

std::vector<refusal> refusals() {
    ovintest::pngoptions rgba;
    rgba.colourtype = 6;
    bytes cutpng = ovintest::makepng({});
    cutpng.resize(cutpng.size() - 40);
    bytes cutppm = pnmcase('6', 255).file;
    cutppm.resize(cutppm.size() - 10);
    bytes joined = pnmcase('5', 255).file;
    for (char c : std::string("P5\n4 4 255\n123")) {
        joined.push_back(static_cast<uint8_t>(c));
    }
    ovintest::jp2options o;
    o.width = 25;
    bytes cutjp2 = ovintest::makejp2(o);
    cutjp2.resize(cutjp2.size() - 10);
    o.codestream = true;
    bytes cutj2k = ovintest::makejp2(o);
    cutj2k.resize(cutj2k.size() - 10);
    const auto text = [](const std::string& t) { return bytes(t.begin(), t.end()); };
    return {{"cut_in_idat.png", cutpng, "the file is truncated"},
            {"short_idat.png", damagedpng({}, false), "the image data ends early"},
            {"short_rgba.png", damagedpng(rgba, false), "libpng: "},
            {"idat_crc.png", damagedpng({}, true), "CRC error in chunk IDAT"},
            {"cut.ppm", cutppm, "the file is truncated"},
            {"bad_sample.pgm", text("P2 2 1 255\n1 x\n"), "bad sample"},
            {"width0.pgm", text("P5 0 4 255\n"), "image size 0 x 4"},
            {"cut_second.pgm", joined, "image 2: the file is truncated"},
            {"cut.jp2", cutjp2, "the file is truncated"},
            {"cut.j2k", cutj2k, "the codestream is truncated"}};
}

// One resolution rule for every kind: a PNG, a bitmap and a TIFF that say
// the same pixels per metre make the same page, also where that rounds to
// nothing (then the default resolution, with its warning), or are refused
// alike where the page would be too small to draw.
TEST(Resolution, TheSameForEveryKind) {
    for (const uint32_t ppm : {1U, 19U, 20U, 3780U, 11811U, 2600000U}) {
        SCOPED_TRACE(ppm);
        ovintest::tempdir dir;
        ovintest::pngoptions png;
        png.width = png.height = 16;
        png.ppm = ppm;
        const std::string pngfile = dir.file("page.png");
        const std::vector<uint8_t> pngbytes = ovintest::makepng(png);
        ovintest::writebytes(pngfile, std::string(pngbytes.begin(), pngbytes.end()));
        ovintest::bmpoptions bmp;
        bmp.width = bmp.height = 16;
        bmp.xppm = bmp.yppm = ppm;
        const std::string bmpfile = dir.file("page.bmp");
        ASSERT_TRUE(ovintest::savebmp(bmpfile, ovintest::makebmp(bmp)));
        ovintest::tiffpage tiff = ovintest::greypage(16, 16, 1);
        tiff.xres = tiff.yres = ppm / 100.0;
        tiff.resunit = 3;
        const std::string tifffile = dir.file("page.tif");
        ovintest::writetiff(tifffile, {tiff});
        std::set<std::string> boxes;
        for (const std::string& file : {pngfile, bmpfile, tifffile}) {
            const ovintest::documentpdf made = ovintest::makedocumentpdf(file, dir.file("out.pdf"));
            if (made.code != 0) {
                boxes.insert(made.error.substr(made.error.find("pixels at")));
                continue;
            }
            const size_t at = made.pdf.bytes.find("/MediaBox");
            ASSERT_NE(at, std::string::npos);
            boxes.insert(made.pdf.bytes.substr(at, made.pdf.bytes.find(']', at) - at));
        }
        EXPECT_EQ(boxes.size(), 1U) << *boxes.begin() << " / " << *boxes.rbegin();
    }
}

TEST(DamagedFiles, AreRefusedWithAMessage) {
    for (const refusal& r : refusals()) {
        SCOPED_TRACE(r.name);
        ovintest::tempdir dir;
        ovintest::writebytes(dir.file(r.name), std::string(r.file.begin(), r.file.end()));
        const ovintest::documentpdf s = savefiles(dir, {dir.file(r.name)});
        EXPECT_EQ(s.code, OVINPDF_IMAGE_ERROR);
        EXPECT_NE(s.error.find(r.message), std::string::npos) << s.error;
    }
}

// The fuzz targets' seeds: the pages marked as seeds and the damaged
// files, each under 4 KB.
TEST(FormatSeeds, CommittedSeedsAreTheMadeOnes) {
    std::map<std::string, std::vector<std::pair<std::string, bytes>>> targets;
    for (const auto& [target, cases] :
         {std::pair{"png", pngcases()}, {"pnm", pnmcases()}, {"jp2", jp2cases()}}) {
        for (const pagecase& c : cases) {
            if (c.seed) {
                targets[target].emplace_back(c.name, c.file);
            }
        }
    }
    for (const refusal& r : refusals()) {
        const std::string ext = r.name.substr(r.name.find('.') + 1);
        targets[ext == "png"           ? "png"
                : ext.starts_with("j") ? "jp2"
                                       : "pnm"]
            .emplace_back(r.name, r.file);
    }
    for (const auto& [target, seeds] : targets) {
        for (const auto& [name, data] : seeds) {
            ovintest::fuzzseed(target, name, data);
        }
    }
}

} // namespace
