// Every kind of page the library accepts must look like its source in two
// independent PDF readers. Each test writes a source image, makes a PDF of
// it, renders the page with poppler and MuPDF at the image's own resolution
// and compares the pixels with the source as libtiff, libjpeg-turbo or the
// bitmap writer gives them.
#include "bmpfixtures.h"
#include "core/library.h"
#include "jpegfixtures.h"
#include "pdftools.h"
#include "render.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

namespace {

using ovintest::raster;
using ovintest::reader;

// Images are made at 72 dpi, one pixel per point, and rendered at four
// times that: the readers then draw each image pixel as an exact 4 x 4
// block (at their own size poppler would interpolate), and the middle of
// each block is compared with the source pixel.
constexpr int kDpi = 72;
constexpr int kScale = 4;
constexpr uint32_t kWidth = 200;
constexpr uint32_t kHeight = 150;

struct tolerance {
    int maximum = 0;
    double mean = 0;
};

class renderfixture : public ::testing::Test {
protected:
    ovintest::tempdir dir;

    // Makes a PDF of the image and returns its name; the save must succeed
    // and qpdf must find nothing wrong.
    std::string makepdf(const std::string& image) {
        ovin::Library lib;
        lib.pdfinit(0, dir.file("OVINPDF.TMP"));
        std::string pdf = image + ".pdf";
        int32_t r = lib.pdfaddimage(image);
        EXPECT_EQ(r, 0) << lib.geterror(r);
        r = lib.pdfsave(pdf);
        EXPECT_EQ(r, 0) << lib.geterror(r);
        std::string check;
        EXPECT_TRUE(ovintest::qpdfcheck(pdf, &check)) << check;
        return pdf;
    }

    void expectlooks(const std::string& image, const raster& expected, tolerance tol = {},
                     int page = 1) {
        std::string pdf = makepdf(image);
        for (reader r : {reader::poppler, reader::mupdf}) {
            raster seen = ovintest::sampled(
                ovintest::renderpage(r, pdf, page, kDpi * kScale, expected.channels), kScale);
            ASSERT_EQ(seen.error, "") << ovintest::readername(r);
            ovintest::difference d = ovintest::compare(seen, expected);
            EXPECT_EQ(d.error, "") << ovintest::readername(r) << " " << image;
            EXPECT_LE(d.maximum, tol.maximum) << ovintest::readername(r) << " " << image;
            EXPECT_LE(d.mean, tol.mean) << ovintest::readername(r) << " " << image << ", "
                                        << d.differing << " samples differ";
        }
    }
};

struct tiffcase {
    const char* name;
    uint16_t compression;
    uint16_t photometric;
    uint32_t t4options;
    uint16_t fillorder;
    ovintest::byteorder order;
};

class tiffrender : public renderfixture, public ::testing::WithParamInterface<tiffcase> {};

TEST_P(tiffrender, BilevelPageLooksLikeItsSource) {
    const tiffcase& c = GetParam();
    ovintest::tiffpage page = ovintest::bilevelpage(kWidth, kHeight, c.compression, 7);
    page.xres = page.yres = kDpi;
    page.photometric = c.photometric;
    page.t4options = c.t4options;
    page.fillorder = c.fillorder;
    std::string file = dir.file(std::string(c.name) + ".tif");
    ovintest::writetiff(file, {page}, c.order);
    expectlooks(file, ovintest::appearance(page));
}

constexpr auto little = ovintest::byteorder::little;
constexpr auto big = ovintest::byteorder::big;

INSTANTIATE_TEST_SUITE_P(
    Kinds, tiffrender,
    ::testing::Values(
        tiffcase{"g4_white0", 4, 0, 0, 1, little}, tiffcase{"g4_black0", 4, 1, 0, 1, little},
        tiffcase{"g4_bigendian", 4, 0, 0, 1, big}, tiffcase{"g4_fillorder2", 4, 0, 0, 2, little},
        tiffcase{"g3_1d", 3, 0, 0, 1, little}, tiffcase{"g3_1d_black0", 3, 1, 0, 1, little},
        tiffcase{"g3_2d", 3, 0, 1, 1, little}, tiffcase{"g3_aligned", 3, 0, 4, 1, little},
        tiffcase{"g3_2d_aligned", 3, 0, 5, 1, big}, tiffcase{"mh_white0", 2, 0, 0, 1, little},
        tiffcase{"mh_black0", 2, 1, 0, 1, little}, tiffcase{"none_white0", 1, 0, 0, 1, little},
        tiffcase{"none_black0", 1, 1, 0, 1, little}, tiffcase{"none_fillorder2", 1, 1, 0, 2, big}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(renderfixture, TiffGreyRgbAndPalette) {
    ovintest::tiffpage grey = ovintest::greypage(kWidth, kHeight, 1, 3);
    grey.photometric = 1;
    grey.xres = grey.yres = kDpi;
    ovintest::writetiff(dir.file("grey.tif"), {grey});
    expectlooks(dir.file("grey.tif"), ovintest::appearance(grey));

    ovintest::tiffpage inverse = ovintest::greypage(kWidth, kHeight, 1, 4);
    inverse.photometric = 0;
    inverse.xres = inverse.yres = kDpi;
    ovintest::writetiff(dir.file("greyinv.tif"), {inverse}, big);
    expectlooks(dir.file("greyinv.tif"), ovintest::appearance(inverse));

    ovintest::tiffpage rgb = ovintest::rgbpage(kWidth, kHeight, 5);
    rgb.xres = rgb.yres = kDpi;
    ovintest::writetiff(dir.file("rgb.tif"), {rgb}, big);
    expectlooks(dir.file("rgb.tif"), ovintest::appearance(rgb));

    ovintest::tiffpage palette = ovintest::palettepage(kWidth, kHeight, 6);
    palette.xres = palette.yres = kDpi;
    ovintest::writetiff(dir.file("palette.tif"), {palette});
    expectlooks(dir.file("palette.tif"), ovintest::appearance(palette));
}

TEST_F(renderfixture, TwoPageTiffGivesBothPages) {
    ovintest::tiffpage one = ovintest::bilevelpage(kWidth, kHeight, 4, 11);
    ovintest::tiffpage two = ovintest::bilevelpage(kWidth, kHeight, 4, 12);
    one.xres = one.yres = two.xres = two.yres = kDpi;
    ovintest::writetiff(dir.file("two.tif"), {one, two});
    expectlooks(dir.file("two.tif"), ovintest::appearance(two), {}, 2);
}

raster expectedjpeg(const std::vector<uint8_t>& bytes) {
    ovintest::decodedjpeg d = ovintest::decodejpeg(bytes);
    raster r;
    r.width = static_cast<int>(d.width);
    r.height = static_cast<int>(d.height);
    r.channels = d.components == 1 ? 1 : 3;
    r.pixels = d.pixels;
    return r;
}

TEST_F(renderfixture, JpegColourGreyAndProgressive) {
    // Readers decode with their own IDCT and upsampling: close, not equal.
    const tolerance jpeg{40, 1.5};
    for (int components : {1, 3}) {
        for (bool progressive : {false, true}) {
            ovintest::jpegoptions o;
            o.components = components;
            o.progressive = progressive;
            o.xdensity = o.ydensity = kDpi;
            std::vector<uint8_t> bytes = ovintest::makejpeg(
                kWidth, kHeight, ovintest::jpegpattern(kWidth, kHeight, components), o);
            std::string file =
                dir.file("j" + std::to_string(components) + (progressive ? "p" : "b") + ".jpg");
            ovintest::savejpeg(file, bytes);
            expectlooks(file, expectedjpeg(bytes), jpeg);
        }
    }
}

// A CMYK picture of two halves, white (no ink) on the left and black (full
// K) on the right, stored as is, or inverted the way Adobe software stores
// CMYK (and marks with its APP14 segment).
TEST_F(renderfixture, JpegCmykWithAndWithoutAdobeMarker) {
    for (bool adobe : {false, true}) {
        std::vector<uint8_t> cmyk;
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth; ++x) {
                uint8_t k = x < kWidth / 2 ? 0 : 255;
                for (uint8_t v : {uint8_t{0}, uint8_t{0}, uint8_t{0}, k}) {
                    cmyk.push_back(adobe ? static_cast<uint8_t>(255 - v) : v);
                }
            }
        }
        ovintest::jpegoptions o;
        o.components = 4;
        o.adobe = adobe;
        o.quality = 100;
        o.xdensity = o.ydensity = kDpi;
        std::string file = dir.file(adobe ? "adobe.jpg" : "cmyk.jpg");
        ovintest::savejpeg(file, ovintest::makejpeg(kWidth, kHeight, cmyk, o));
        raster expected;
        expected.width = static_cast<int>(kWidth);
        expected.height = static_cast<int>(kHeight);
        expected.channels = 1;
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth; ++x) {
                expected.pixels.push_back(x < kWidth / 2 ? 255 : 0);
            }
        }
        // Only the two flat halves are compared; the readers' CMYK
        // conversions differ in how dark full K is.
        expectlooks(file, expected, {64, 20});
    }
}

raster expectedbmp(const ovintest::bmpoptions& o) {
    raster r;
    r.width = o.width;
    r.height = o.height;
    r.channels = 3;
    std::vector<uint8_t> palette = o.palette8.empty() ? ovintest::greypalette() : o.palette8;
    for (size_t k = 0; k < static_cast<size_t>(o.width) * static_cast<size_t>(o.height); ++k) {
        if (o.bitcount == 24) {
            r.pixels.insert(r.pixels.end(), o.pixels.begin() + 3 * static_cast<long>(k),
                            o.pixels.begin() + 3 * static_cast<long>(k) + 3);
        } else if (o.bitcount == 8) {
            r.pixels.insert(r.pixels.end(), palette.begin() + 3 * o.pixels[k],
                            palette.begin() + 3 * o.pixels[k] + 3);
        } else {
            r.pixels.insert(r.pixels.end(), o.palette1.begin() + 3 * o.pixels[k],
                            o.palette1.begin() + 3 * o.pixels[k] + 3);
        }
    }
    return r;
}

ovintest::bmpoptions bmp(uint16_t bitcount, int32_t width, uint32_t seed) {
    ovintest::bmpoptions o;
    o.bitcount = bitcount;
    o.width = width;
    o.height = static_cast<int32_t>(kHeight);
    o.xppm = o.yppm = 2835; // 72 dpi
    uint32_t state = seed;
    size_t n = static_cast<size_t>(width) * kHeight * (bitcount == 24 ? 3 : 1);
    for (size_t k = 0; k < n; ++k) {
        state = state * 1103515245 + 12345;
        uint8_t v = static_cast<uint8_t>(state >> 16);
        o.pixels.push_back(bitcount == 1 ? (((k / 7) ^ (k / 1000)) & 1) : v);
    }
    return o;
}

TEST_F(renderfixture, BitmapsOfEveryDepth) {
    ovintest::bmpoptions blackwhite = bmp(1, 200, 1);
    ovintest::bmpoptions whiteblack = bmp(1, 200, 2);
    whiteblack.palette1 = {255, 255, 255, 0, 0, 0};
    ovintest::bmpoptions coloured = bmp(1, 75, 3);
    coloured.palette1 = {10, 20, 200, 250, 240, 0};
    ovintest::bmpoptions grey8 = bmp(8, 75, 4);
    ovintest::bmpoptions palette8 = bmp(8, 125, 5);
    for (size_t k = 0; k < 256; ++k) {
        palette8.palette8.insert(
            palette8.palette8.end(),
            {static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k), static_cast<uint8_t>(k * 7)});
    }
    ovintest::bmpoptions rgb = bmp(24, 75, 6);
    ovintest::bmpoptions topdown = bmp(24, 125, 7);
    topdown.topdown = true;
    int k = 0;
    for (const ovintest::bmpoptions* o :
         {&blackwhite, &whiteblack, &coloured, &grey8, &palette8, &rgb, &topdown}) {
        std::string file = dir.file("b" + std::to_string(k++) + ".bmp");
        ovintest::savebmp(file, ovintest::makebmp(*o));
        expectlooks(file, expectedbmp(*o));
    }
}

} // namespace
