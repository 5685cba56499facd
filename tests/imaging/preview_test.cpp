// Preview operations on real files of every kind the library reads: sizes
// from ImgGetInfo, pixels drawn 1:1, area-averaged copies against a reference
// computed here, and stretched, clipped drawing.
#include "bmpfixtures.h"
#include "imagingtest.h"
#include "jpegfixtures.h"
#include "tifffixtures.h"

#include <array>
#include <cstring>
#include <ostream>

using imgtest::Handle;
using imgtest::Rgb;

namespace {

// How a TIFF page looks, worked out from its samples and tags.
Rgb looks(const ovintest::tiffpage& p) {
    Rgb out{int(p.width), int(p.height), std::vector<uint8_t>(size_t(p.width) * p.height * 3)};
    const uint32_t rowbytes = p.rowbytes();
    for (uint32_t y = 0; y < p.height; ++y) {
        const uint8_t* row = p.pixels.data() + size_t(y) * rowbytes;
        for (uint32_t x = 0; x < p.width; ++x) {
            uint8_t* o = out.px.data() + 3 * (size_t(y) * p.width + x);
            if (p.photometric == 2) {
                std::memcpy(o, row + 3 * x, 3);
                continue;
            }
            const uint32_t bit = x * p.bits;
            const uint32_t max = (1u << p.bits) - 1;
            const uint32_t v = (row[bit / 8] >> (8 - p.bits - bit % 8)) & max;
            if (p.photometric == 3) {
                const size_t n = size_t(1) << p.bits;
                o[0] = uint8_t(p.colormap[v] >> 8);
                o[1] = uint8_t(p.colormap[n + v] >> 8);
                o[2] = uint8_t(p.colormap[2 * n + v] >> 8);
                continue;
            }
            uint8_t level = uint8_t(v * 255 / max);
            if (p.photometric == 0) {
                level = uint8_t(255 - level);
            }
            o[0] = o[1] = o[2] = level;
        }
    }
    return out;
}

struct TiffCase {
    const char* name;
    ovintest::tiffpage page;
    ovintest::byteorder order = ovintest::byteorder::little;
    int bits = 0; // expected ImgInfo depth
};

ovintest::tiffpage with(ovintest::tiffpage p, uint32_t rowsperstrip, uint16_t fillorder = 1,
                        uint32_t t4 = 0) {
    p.rowsperstrip = rowsperstrip;
    p.fillorder = fillorder;
    p.t4options = t4;
    return p;
}

ovintest::tiffpage photometric(ovintest::tiffpage p, uint16_t value) {
    p.photometric = value;
    return p;
}

ovintest::tiffpage grey4(uint32_t w, uint32_t h) {
    ovintest::tiffpage p;
    p.width = w;
    p.height = h;
    p.bits = 4;
    p.photometric = 1;
    ovintest::fillpattern(p, 9);
    return p;
}

std::vector<TiffCase> tiffCases() {
    using ovintest::bilevelpage;
    using ovintest::greypage;
    const auto big = ovintest::byteorder::big;
    const auto little = ovintest::byteorder::little;
    return {
        {"group4", bilevelpage(301, 207, 4), little, 1},
        {"group4_strips_bigendian", with(bilevelpage(301, 207, 4, 2), 16), big, 1},
        {"group3_1d", with(bilevelpage(301, 207, 3, 3), 0), little, 1},
        {"group3_2d_strips", with(bilevelpage(301, 207, 3, 4), 50, 1, 1), big, 1},
        {"modified_huffman", with(bilevelpage(300, 200, 2, 5), 7), little, 1},
        {"bilevel_none_minisblack", bilevelpage(133, 71, 1, 6), little, 1},
        {"bilevel_none_miniswhite", photometric(bilevelpage(133, 71, 1, 7), 0), big, 1},
        {"bilevel_fillorder2", with(bilevelpage(133, 71, 4, 8), 0, 2), little, 1},
        {"bilevel_packbits", with(bilevelpage(190, 90, 32773, 9), 13), little, 1},
        {"grey8", greypage(157, 113), little, 8},
        {"grey8_miniswhite_strips", with(photometric(greypage(157, 113, 1, 2), 0), 10), big, 8},
        {"grey8_packbits", with(greypage(157, 113, 32773, 3), 9), little, 8},
        {"grey8_lzw", greypage(157, 113, 5, 4), big, 8},
        {"grey4", grey4(99, 41), little, 8},
        {"rgb", ovintest::rgbpage(121, 77), little, 24},
        {"rgb_lzw_strips",
         with(
             [] {
                 auto p = ovintest::rgbpage(121, 77, 3);
                 p.compression = 5;
                 return p;
             }(),
             8),
         big, 24},
        {"palette", ovintest::palettepage(111, 67), little, 8},
        {"palette_packbits",
         [] {
             auto p = ovintest::palettepage(111, 67, 5);
             p.compression = 32773;
             return p;
         }(),
         big, 8},
    };
}

void PrintTo(const TiffCase& c, std::ostream* os) {
    *os << c.name;
}

class TiffPreview : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffPreview, DecodesScalesAndDraws) {
    const TiffCase& c = GetParam();
    ovintest::tiffscratch dir;
    const std::string path = dir.path("page.tif");
    ovintest::writetiff(path, {c.page}, c.order);

    Handle image(ImgOpenSolo(path.c_str(), "TIF"));
    ASSERT_TRUE(image);
    const ImgInfo* info = ImgGetInfo(image.get(), nullptr);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->size, int32_t(sizeof(ImgInfo)));
    EXPECT_EQ(info->width, int32_t(c.page.width));
    EXPECT_EQ(info->height, int32_t(c.page.height));
    EXPECT_EQ(info->bitsperpixel, c.bits);
    EXPECT_EQ(info->pages, 1);
    EXPECT_EQ(info->xdpi, 300);
    EXPECT_EQ(info->ydpi, 300);

    const Rgb expected = looks(c.page);
    EXPECT_EQ(imgtest::maxDifference(imgtest::pixelsOf(image.get()), expected), 0);
    imgtest::expectAreaAveragedCopy(image.get(), expected, int(c.page.width) * 2 / 5,
                                    int(c.page.height) * 3 / 7);
    // Growing: the size is right and flat corners keep their colour.
    Handle bigger(ImgCopy(image.get(), int(c.page.width) * 2 + 1, int(c.page.height) * 2, 0, 16));
    ASSERT_TRUE(bigger);
    const Rgb grown = imgtest::pixelsOf(bigger.get());
    EXPECT_EQ(grown.width, int(c.page.width) * 2 + 1);
    EXPECT_EQ(std::memcmp(grown.at(0, 0), expected.at(0, 0), 3), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TiffPreview, ::testing::ValuesIn(tiffCases()),
                         [](const auto& tp) { return std::string(tp.param.name); });

TEST(TiffPreview, PagesOfAMultiPageFile) {
    ovintest::tiffscratch dir;
    const std::string path = dir.path("three.tif");
    const std::vector<ovintest::tiffpage> pages = {
        ovintest::bilevelpage(64, 48, 4), ovintest::greypage(40, 30), ovintest::rgbpage(20, 10)};
    ovintest::writetiff(path, pages);

    Handle image(ImgOpenSolo(path.c_str(), ".tif"));
    ASSERT_TRUE(image);
    const ImgInfo* info = ImgGetInfo(image.get(), nullptr);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->pages, 3);
    const int bits[] = {1, 8, 24};
    for (int i : {2, 0, 1}) {
        ASSERT_EQ(ImgSetPage(image.get(), i), 1) << i;
        info = ImgGetInfo(image.get(), nullptr);
        EXPECT_EQ(info->width, int32_t(pages[i].width));
        EXPECT_EQ(info->height, int32_t(pages[i].height));
        EXPECT_EQ(info->bitsperpixel, bits[i]);
        EXPECT_EQ(imgtest::maxDifference(imgtest::pixelsOf(image.get()), looks(pages[i])), 0);
    }
    // Pages that are not there change nothing.
    EXPECT_EQ(ImgSetPage(image.get(), 3), 0);
    EXPECT_EQ(ImgSetPage(image.get(), -1), 0);
    EXPECT_EQ(ImgGetInfo(image.get(), nullptr)->width, 40);
}

// --- JPEG ---

struct JpegCase {
    const char* name;
    ovintest::jpegoptions options;
};

JpegCase jpegCase(const char* name, int components, bool adobe = true, bool progressive = false,
                  uint8_t unit = 1, uint16_t density = 300) {
    JpegCase c{name, {}};
    c.options.components = components;
    c.options.adobe = adobe;
    c.options.progressive = progressive;
    c.options.densityunit = unit;
    c.options.xdensity = c.options.ydensity = density;
    return c;
}

// The reference look of decoded JPEG samples.
Rgb looksJpeg(const ovintest::decodedjpeg& d) {
    Rgb out{int(d.width), int(d.height), std::vector<uint8_t>(size_t(d.width) * d.height * 3)};
    for (size_t i = 0; i < size_t(d.width) * d.height; ++i) {
        uint8_t* o = out.px.data() + 3 * i;
        if (d.components == 1) {
            o[0] = o[1] = o[2] = d.pixels[i];
        } else if (d.components == 3) {
            std::memcpy(o, d.pixels.data() + 3 * i, 3);
        } else {
            // Adobe writes CMYK inverted (255 = no ink); plain CMYK counts ink.
            const uint8_t* s = d.pixels.data() + 4 * i;
            for (int c = 0; c < 3; ++c) {
                const double ink = d.adobe ? s[c] / 255.0 : 1 - s[c] / 255.0;
                const double k = d.adobe ? s[3] / 255.0 : 1 - s[3] / 255.0;
                o[c] = uint8_t(std::lround(255 * ink * k));
            }
        }
    }
    return out;
}

void PrintTo(const JpegCase& c, std::ostream* os) {
    *os << c.name;
}

class JpegPreview : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegPreview, DecodesScalesAndDraws) {
    const JpegCase& c = GetParam();
    ovintest::tiffscratch dir;
    const std::string path = dir.path("photo.jpg");
    const uint32_t w = 157, h = 93;
    const auto bytes =
        ovintest::makejpeg(w, h, ovintest::jpegpattern(w, h, c.options.components), c.options);
    ASSERT_TRUE(ovintest::savejpeg(path, bytes));
    const auto decoded = ovintest::decodejpeg(bytes);
    ASSERT_TRUE(decoded.ok) << decoded.error;

    Handle image(ImgOpenSolo(path.c_str(), "JPG"));
    ASSERT_TRUE(image);
    const ImgInfo* info = ImgGetInfo(image.get(), nullptr);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, int32_t(w));
    EXPECT_EQ(info->height, int32_t(h));
    EXPECT_EQ(info->bitsperpixel, c.options.components == 1 ? 8 : 24);
    EXPECT_EQ(info->pages, 1);
    EXPECT_EQ(info->xdpi, c.options.densityunit == 0 ? 0 : 300);

    const Rgb expected = looksJpeg(decoded);
    EXPECT_LE(imgtest::maxDifference(imgtest::pixelsOf(image.get()), expected), 1);
    imgtest::expectAreaAveragedCopy(image.get(), expected, 61, 40);
    EXPECT_EQ(ImgSetPage(image.get(), 0), 1);
    EXPECT_EQ(ImgSetPage(image.get(), 1), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, JpegPreview,
                         ::testing::Values(jpegCase("grey", 1), jpegCase("colour", 3),
                                           jpegCase("colour_progressive", 3, true, true),
                                           jpegCase("colour_dots_per_cm", 3, true, false, 2, 118),
                                           jpegCase("colour_no_density", 3, true, false, 0, 1),
                                           jpegCase("cmyk_adobe", 4, true),
                                           jpegCase("cmyk_plain", 4, false)),
                         [](const auto& tp) { return std::string(tp.param.name); });

// --- BMP ---

// A bitmap file written here byte by byte, for the depths the fixture writer
// does not fill (4, 16, 32 bits) and for bit-field masks.
std::vector<uint8_t> rawBmp(int bpp, int w, int h, bool topDown,
                            const std::vector<std::array<uint8_t, 3>>& paletteRgb,
                            const std::vector<std::vector<uint8_t>>& rowsTopFirst,
                            uint32_t compression = 0, std::vector<uint32_t> masks = {}) {
    const uint32_t stride = (uint32_t(w) * bpp + 31) / 32 * 4;
    const uint32_t headerSize = masks.empty() ? 40 : 56; // V3 header holds four masks
    const uint32_t offset = 14 + headerSize + uint32_t(paletteRgb.size()) * 4;
    std::vector<uint8_t> f(offset + size_t(stride) * h, 0);
    f[0] = 'B';
    f[1] = 'M';
    ovintest::putle32(f, 2, uint32_t(f.size()));
    ovintest::putle32(f, 10, offset);
    ovintest::putle32(f, 14, headerSize);
    ovintest::putle32(f, 18, uint32_t(w));
    ovintest::putle32(f, 22, uint32_t(topDown ? -h : h));
    f[26] = 1;
    f[28] = uint8_t(bpp);
    ovintest::putle32(f, 30, compression);
    ovintest::putle32(f, 38, 3780);
    ovintest::putle32(f, 42, 3780);
    ovintest::putle32(f, 46, uint32_t(paletteRgb.size()));
    for (size_t i = 0; i < masks.size(); ++i) {
        ovintest::putle32(f, 54 + 4 * i, masks[i]);
    }
    for (size_t i = 0; i < paletteRgb.size(); ++i) {
        f[14 + headerSize + 4 * i] = paletteRgb[i][2];
        f[14 + headerSize + 4 * i + 1] = paletteRgb[i][1];
        f[14 + headerSize + 4 * i + 2] = paletteRgb[i][0];
    }
    for (int y = 0; y < h; ++y) {
        const int stored = topDown ? y : h - 1 - y;
        std::copy(rowsTopFirst[y].begin(), rowsTopFirst[y].end(),
                  f.begin() + offset + ptrdiff_t(stored) * stride);
    }
    return f;
}

struct BmpCase {
    const char* name;
    std::vector<uint8_t> file;
    Rgb expected;
    int bits;
};

// Palette files of 4 and 8 bits may be run-length coded (compression 2, 1).
BmpCase fixtureBmp(const char* name, uint16_t bitcount, bool topDown, bool invertedPalette = false,
                   uint32_t compression = 0) {
    ovintest::bmpoptions o;
    o.bitcount = bitcount;
    o.compression = compression;
    o.width = 37;
    o.height = 23;
    o.topdown = topDown;
    if (invertedPalette) {
        o.palette1 = {255, 255, 255, 0, 0, 0};
    }
    if (bitcount == 4 || bitcount == 8) {
        for (int i = 0; i < 1 << bitcount; ++i) {
            o.palette8.insert(o.palette8.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
        }
    }
    Rgb expected{o.width, o.height, {}};
    for (int y = 0; y < o.height; ++y) {
        for (int x = 0; x < o.width; ++x) {
            const uint8_t v = uint8_t((x * 7 + y * 13) % (bitcount == 4 ? 16 : 256));
            if (bitcount == 1) {
                const uint8_t bit = (x + y) % 3 == 0 ? 1 : 0;
                o.pixels.push_back(bit);
                const uint8_t level = uint8_t(o.palette1[3 * bit]);
                expected.px.insert(expected.px.end(), {level, level, level});
            } else if (bitcount <= 8) {
                o.pixels.push_back(v);
                expected.px.insert(expected.px.end(), o.palette8.begin() + 3 * v,
                                   o.palette8.begin() + 3 * v + 3);
            } else {
                const std::array<uint8_t, 3> c = {v, uint8_t(x * 5), uint8_t(255 - y * 3)};
                o.pixels.insert(o.pixels.end(), c.begin(), c.end());
                expected.px.insert(expected.px.end(), c.begin(), c.end());
            }
        }
    }
    return {name, ovintest::makebmp(o), expected, bitcount == 4 ? 8 : bitcount};
}

BmpCase fourBit(bool topDown) {
    const int w = 19, h = 11;
    std::vector<std::array<uint8_t, 3>> palette;
    for (int i = 0; i < 16; ++i) {
        palette.push_back({uint8_t(i * 16), uint8_t(200 - i * 10), uint8_t(i * 5)});
    }
    std::vector<std::vector<uint8_t>> rows(h, std::vector<uint8_t>((w + 1) / 2, 0));
    Rgb expected{w, h, {}};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t index = uint8_t((x + 2 * y) % 16);
            rows[y][x / 2] |= uint8_t(x % 2 ? index : index << 4);
            expected.px.insert(expected.px.end(), palette[index].begin(), palette[index].end());
        }
    }
    return {topDown ? "bits4_topdown" : "bits4", rawBmp(4, w, h, topDown, palette, rows), expected,
            8};
}

BmpCase wideBits(int bpp, bool bitfields) {
    const int w = 13, h = 9;
    std::vector<std::vector<uint8_t>> rows(h);
    Rgb expected{w, h, {}};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t r = uint8_t(x * 19), g = uint8_t(y * 27), b = uint8_t(x * y * 3);
            if (bpp == 16) {
                // 5-5-5 (default) or 5-6-5 (bit fields): widen as the reader must.
                const uint32_t r5 = r >> 3, b5 = b >> 3;
                const uint32_t gbits = bitfields ? 6 : 5;
                const uint32_t gq = g >> (8 - gbits);
                const uint32_t v =
                    bitfields ? (r5 << 11 | gq << 5 | b5) : (r5 << 10 | gq << 5 | b5);
                rows[y].insert(rows[y].end(), {uint8_t(v), uint8_t(v >> 8)});
                expected.px.insert(
                    expected.px.end(),
                    {uint8_t((r5 * 255 + 15) / 31),
                     uint8_t((gq * 255 + ((1u << gbits) - 1) / 2) / ((1u << gbits) - 1)),
                     uint8_t((b5 * 255 + 15) / 31)});
            } else if (bitfields) {
                // Red in the lowest byte, alpha in the highest.
                rows[y].insert(rows[y].end(), {r, g, b, 0x80});
                expected.px.insert(expected.px.end(), {r, g, b});
            } else {
                rows[y].insert(rows[y].end(), {b, g, r, 0});
                expected.px.insert(expected.px.end(), {r, g, b});
            }
        }
    }
    std::vector<uint32_t> masks;
    if (bitfields) {
        masks = bpp == 16 ? std::vector<uint32_t>{0xF800, 0x07E0, 0x001F, 0}
                          : std::vector<uint32_t>{0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
    }
    const char* name = bpp == 16 ? (bitfields ? "bits16_565" : "bits16_555")
                                 : (bitfields ? "bits32_bitfields" : "bits32");
    return {name, rawBmp(bpp, w, h, false, {}, rows, bitfields ? 3 : 0, masks), expected,
            bpp == 16 ? 24 : 32};
}

void PrintTo(const BmpCase& c, std::ostream* os) {
    *os << c.name;
}

class BmpPreview : public ::testing::TestWithParam<BmpCase> {};

TEST_P(BmpPreview, DecodesScalesAndDraws) {
    const BmpCase& c = GetParam();
    ovintest::tiffscratch dir;
    const std::string path = dir.path("picture.bmp");
    ASSERT_TRUE(ovintest::savebmp(path, c.file));

    Handle image(ImgOpenSolo(path.c_str(), "BMP"));
    ASSERT_TRUE(image);
    const ImgInfo* info = ImgGetInfo(image.get(), nullptr);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, c.expected.width);
    EXPECT_EQ(info->height, c.expected.height);
    EXPECT_EQ(info->bitsperpixel, c.bits);
    EXPECT_EQ(info->xdpi, 96);
    EXPECT_EQ(info->ydpi, 96);
    EXPECT_EQ(imgtest::maxDifference(imgtest::pixelsOf(image.get()), c.expected), 0);
    imgtest::expectAreaAveragedCopy(image.get(), c.expected, c.expected.width * 2 / 3,
                                    c.expected.height / 2);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BmpPreview,
    ::testing::Values(fixtureBmp("bits1", 1, false), fixtureBmp("bits1_topdown", 1, true),
                      fixtureBmp("bits1_white_first", 1, false, true),
                      fixtureBmp("bits8", 8, false), fixtureBmp("bits8_topdown", 8, true),
                      fixtureBmp("bits24", 24, false), fixtureBmp("bits24_topdown", 24, true),
                      fixtureBmp("bits8_rle", 8, false, false, 1),
                      fixtureBmp("bits4_rle", 4, false, false, 2), fourBit(false), fourBit(true),
                      wideBits(16, false), wideBits(16, true), wideBits(32, false),
                      wideBits(32, true)),
    [](const auto& tp) { return std::string(tp.param.name); });

// --- Drawing ---

TEST(Drawing, StretchesIntoTheRectangleAndClipsToTheSurface) {
    ovintest::tiffscratch dir;
    const std::string path = dir.path("tiny.tif");
    ovintest::tiffpage p = ovintest::rgbpage(4, 3);
    for (size_t i = 0; i < p.pixels.size(); ++i) {
        p.pixels[i] = uint8_t(i * 20); // 12 distinct pixels
    }
    ovintest::writetiff(path, {p});
    Handle image(ImgOpenSolo(path.c_str(), "TIF"));
    ASSERT_TRUE(image);

    const uint32_t background = 0x12345678;
    std::vector<uint32_t> px(10 * 8, background);
    ImgSurface s{px.data(), 10, 8, 40};
    // Twice the size, hanging off the left edge: target (x, y) shows source
    // ((x + 2) / 2, (y - 3) / 2).
    ImgRect r{-2, 3, 6, 9};
    ASSERT_EQ(ImgDrawImage(image.get(), &s, &r, 0), 1);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x) {
            const uint32_t got = px[size_t(y) * 10 + x];
            if (x >= 6 || y < 3) {
                EXPECT_EQ(got, background) << x << "," << y;
                continue;
            }
            const uint8_t* src = p.pixels.data() + 3 * (size_t((y - 3) / 2) * 4 + (x + 2) / 2);
            const uint32_t want =
                0xFF000000u | uint32_t(src[0]) << 16 | uint32_t(src[1]) << 8 | src[2];
            EXPECT_EQ(got, want) << x << "," << y;
        }
    }

    // A rectangle far larger than the surface and one past its corner.
    ImgRect huge{-1000000, -1000000, 1000000, 1000000};
    EXPECT_EQ(ImgDrawImage(image.get(), &s, &huge, 0), 1);
    const uint8_t* centre = p.pixels.data() + 3 * (1 * 4 + 2);
    EXPECT_EQ(px[0],
              0xFF000000u | uint32_t(centre[0]) << 16 | uint32_t(centre[1]) << 8 | centre[2]);
    ImgRect outside{20, 20, 30, 30};
    EXPECT_EQ(ImgDrawImage(image.get(), &s, &outside, 0), 1);
    ImgRect empty{5, 5, 5, 9};
    EXPECT_EQ(ImgDrawImage(image.get(), &s, &empty, 0), 1);

    // A surface that cannot be drawn into.
    ImgSurface narrow{px.data(), 10, 8, 36};
    EXPECT_EQ(ImgDrawImage(image.get(), &narrow, &r, 0), 0);
    ImgSurface none{nullptr, 10, 8, 40};
    EXPECT_EQ(ImgDrawImage(image.get(), &none, &r, 0), 0);
    EXPECT_EQ(ImgDrawImage(image.get(), nullptr, &r, 0), 0);
    EXPECT_EQ(ImgDrawImage(image.get(), &s, nullptr, 0), 0);
}

TEST(Drawing, ACopyDrawsLikeThePreviewDoes) {
    // The preview's road: open, copy to the control's size, draw the copy,
    // close both.
    ovintest::tiffscratch dir;
    const std::string path = dir.path("scan.tif");
    const auto page = ovintest::bilevelpage(850, 1100, 4);
    ovintest::writetiff(path, {page});
    Handle image(ImgOpenSolo(path.c_str(), "TIF"));
    ASSERT_TRUE(image);
    Handle copy(ImgCopy(image.get(), 170, 220, 0, 16));
    ASSERT_TRUE(copy);
    std::vector<uint32_t> px(170 * 220, 0);
    ImgSurface s{px.data(), 170, 220, 170 * 4};
    ImgRect r{0, 0, 170, 220};
    ASSERT_EQ(ImgDrawImage(copy.get(), &s, &r, 0), 1);
    const Rgb want = imgtest::areaAverage(looks(page), 170, 220);
    int worst = 0;
    for (size_t i = 0; i < px.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            const int got = int(px[i] >> (16 - 8 * c)) & 0xFF;
            worst = std::max(worst, std::abs(got - int(want.px[3 * i + c])));
        }
    }
    EXPECT_LE(worst, 1);
}

} // namespace
