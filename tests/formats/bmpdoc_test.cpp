// Bitmaps through the document face: every pixel layout a BMP file can hold
// shows its source pixels exactly in poppler and MuPDF, written as Flate
// data with palettes, soft masks and profiles where the file has them.
#include "bmpfixtures.h"
#include "documentpdf.h"
#include "fuzzseeds.h"
#include "pagelook.h"
#include "pdftools.h"
#include "quote.h"
#include "render.h"

#include <gtest/gtest.h>

namespace {

using ovintest::bmpoptions;
using ovintest::raster;
using ovintest::reader;

constexpr int kWidth = 37; // odd, so that rows need fill bytes
constexpr int kHeight = 23;
constexpr int kScale = 4;

// A palette of `entries` distinct colours.
std::vector<uint8_t> colours(size_t entries) {
    std::vector<uint8_t> p;
    for (size_t i = 0; i < entries; ++i) {
        p.insert(p.end(),
                 {static_cast<uint8_t>(40 + i * 97 % 200), static_cast<uint8_t>(i * 53 % 256),
                  static_cast<uint8_t>(255 - i * 31 % 256)});
    }
    return p;
}

// Palette indices below `entries` with runs, literal stretches, and (for
// run-length coding with deltas) rows and stretches of index 0.
std::vector<uint8_t> indices(size_t entries) {
    std::vector<uint8_t> v;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int i = y % 4 == 1 || (x >= 10 && x < 20 && y % 2 == 0) ? 0
                          : y % 3 == 0                                    ? x * 3 + y
                                                                          : x / 6 + y;
            v.push_back(static_cast<uint8_t>(static_cast<size_t>(i) % entries));
        }
    }
    return v;
}

// R,G,B,A pixels; alpha 0 in a checkerboard of 4 x 4 blocks when `holes`.
std::vector<uint8_t> rgba(bool holes) {
    std::vector<uint8_t> v;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool hole = holes && (x / 4 + y / 4) % 2 == 1;
            v.insert(v.end(), {static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 11),
                               static_cast<uint8_t>(x * y), static_cast<uint8_t>(hole ? 0 : 255)});
        }
    }
    return v;
}

// How the file's pixels look on white paper.
raster appearance(const bmpoptions& o) {
    raster r{kWidth, kHeight, 3, {}, {}};
    const std::vector<uint8_t> palette =
        o.bitcount == 1 ? std::vector<uint8_t>(o.palette1.begin(), o.palette1.end()) : o.palette8;
    for (size_t p = 0; p < size_t{kWidth} * kHeight; ++p) {
        if (o.bitcount <= 8) {
            r.pixels.insert(r.pixels.end(), palette.begin() + 3 * o.pixels[p],
                            palette.begin() + 3 * o.pixels[p] + 3);
        } else if (o.bitcount == 24) {
            r.pixels.insert(r.pixels.end(), o.pixels.begin() + 3 * p, o.pixels.begin() + 3 * p + 3);
        } else {
            const auto& m = *o.masks;
            const bool hole = m[3] != 0 && o.pixels[4 * p + 3] == 0;
            for (size_t c = 0; c < 3; ++c) {
                r.pixels.push_back(hole ? 255 : ovintest::fieldlevel(o.pixels[4 * p + c], m[c]));
            }
        }
    }
    return r;
}

struct bmpcase {
    const char* name;
    bmpoptions options;
};

bmpoptions layout(uint16_t bits, uint32_t compression = 0, uint32_t headersize = 40) {
    bmpoptions o;
    o.bitcount = bits;
    o.compression = compression;
    o.headersize = headersize;
    o.width = kWidth;
    o.height = kHeight;
    o.xppm = o.yppm = 2835; // 72 dpi
    if (bits <= 8) {
        o.palette8 = colours(size_t{1} << bits);
        o.pixels = indices(size_t{1} << bits);
    }
    return o;
}

std::vector<bmpcase> cases() {
    std::vector<bmpcase> c;
    bmpoptions o = layout(1);
    o.palette1 = {200, 30, 30, 20, 40, 220};
    c.push_back({"palette1", o});
    c.push_back({"palette2", layout(2)});
    c.push_back({"palette4", layout(4)});
    o = layout(8);
    o.palette8 = colours(200);
    o.colorsused = 200;
    o.pixels = indices(200);
    c.push_back({"palette8_200", o});
    c.push_back({"rle4", layout(4, 2)});
    o = layout(8, 1);
    o.rledelta = true; // skipped pixels show entry 0, which is not black
    c.push_back({"rle8_delta", o});
    const auto bitfields = [](uint16_t bits, uint32_t compression, uint32_t header,
                              std::array<uint32_t, 4> masks) {
        bmpoptions b = layout(bits, compression, header);
        b.masks = masks;
        b.pixels = rgba(masks[3] != 0);
        return b;
    };
    c.push_back({"rgb555", bitfields(16, 0, 40, {0x7C00, 0x03E0, 0x001F, 0})});
    c.push_back({"rgb565", bitfields(16, 3, 40, {0xF800, 0x07E0, 0x001F, 0})});
    c.push_back({"bgr32_bitfields", bitfields(32, 3, 40, {0xFF, 0xFF00, 0xFF0000, 0})});
    c.push_back({"argb32_v4", bitfields(32, 3, 108, {0xFF0000, 0xFF00, 0xFF, 0xFF000000})});
    c.push_back({"argb1555_v5", bitfields(16, 3, 124, {0x7C00, 0x03E0, 0x001F, 0x8000})});
    o = layout(24);
    o.topdown = true;
    for (size_t i = 0; i < size_t{kWidth} * kHeight * 3; ++i) {
        o.pixels.push_back(static_cast<uint8_t>(i * 13 + i / 97));
    }
    c.push_back({"rgb24_topdown", o});
    o.topdown = false;
    o.headersize = 124;
    o.iccprofile = ovintest::srgbprofile(); // sRGB shows the pixels as they are
    c.push_back({"rgb24_v5_srgb", o});
    o = layout(8, 0, 124);
    o.iccprofile = ovintest::widergbprofile(); // a palette's profile is left out
    c.push_back({"palette8_v5_icc", o});
    return c;
}

class BmpDocument : public ::testing::Test {
protected:
    ovintest::tempdir dir;
};

TEST_F(BmpDocument, EveryLayoutShowsItsPixelsExactly) {
    for (const bmpcase& c : cases()) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file(std::string(c.name) + ".bmp");
        const std::vector<uint8_t> bytes = ovintest::makebmp(c.options);
        ovintest::savebmp(file, bytes);
        const ovintest::documentpdf made = ovintest::makedocumentpdf(file, file + ".pdf");
        ASSERT_EQ(made.code, 0) << made.error;
        EXPECT_EQ(made.qpdf, "");
        // 2835 pixels per metre are 72 dpi, and nothing else is said.
        EXPECT_EQ(made.warnings,
                  std::vector<std::string>{ovin::quotename(file) +
                                           ": low resolution (72 dpi), taken as it is"});
        const std::string images =
            ovintest::runcommand("pdfimages -list '" + file + ".pdf'").output;
        const bool alpha = c.options.masks && (*c.options.masks)[3] != 0;
        EXPECT_EQ(images.find(" smask ") != std::string::npos, alpha) << images;
        EXPECT_EQ(images.find(" index ") != std::string::npos, c.options.bitcount <= 8) << images;
        const bool icc = !c.options.iccprofile.empty() && c.options.bitcount > 8;
        EXPECT_EQ(images.find(" icc ") != std::string::npos, icc) << images;
        for (const reader r : {reader::poppler, reader::mupdf}) {
            const raster seen = ovintest::sampled(
                ovintest::renderpage(r, file + ".pdf", 1, 72 * kScale, 3), kScale);
            const ovintest::difference d = ovintest::compare(seen, appearance(c.options));
            EXPECT_EQ(d.error, "") << ovintest::readername(r);
            EXPECT_EQ(d.maximum, 0) << ovintest::readername(r) << ", " << d.differing << " differ";
        }
        if (bytes.size() < 4096) {
            ovintest::fuzzseed("bmpdoc", std::string(c.name) + ".bmp", bytes);
        }
    }
}

} // namespace

TEST_F(BmpDocument, RefusalsSayWhyAndNameTheFile) {
    const auto with = [](uint16_t bits, uint32_t compression, auto&& change) {
        bmpoptions o = layout(bits, compression);
        change(o);
        return o;
    };
    const auto nothing = [](bmpoptions&) {};
    const struct {
        bmpoptions options;
        const char* reason;
    } cases[] = {
        {with(0, 4, nothing), "(JPEG data)"},
        {with(0, 5, nothing), "(PNG data)"},
        {with(64, 0, nothing), "bit count 64"},
        {with(8, 2, nothing), "compression 2 with 8 bits"},
        {with(32, 3,
              [](bmpoptions& o) {
                  o.masks = {{0xF0F0, 0xFF0000, 0xFF000000, 0}};
              }),
         "bit field mask"},
        {with(8, 1,
              [](bmpoptions& o) {
                  o.width = o.height = 70000; // 4.9 billion pixels in four bytes
                  o.rawpixels = {0, 1};
              }),
         "too large (70000 x 70000 pixels)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const std::string file = dir.file("refused.bmp");
        ovintest::savebmp(file, ovintest::makebmp(c.options));
        const ovintest::documentpdf made = ovintest::makedocumentpdf(file, file + ".pdf");
        EXPECT_NE(made.code, 0);
        EXPECT_NE(made.error.find(c.reason), std::string::npos) << made.error;
        EXPECT_NE(made.error.find(file), std::string::npos) << made.error;
    }
}
