// TIFF files through the document face. One table of files made by libtiff
// covers the codings and layouts the reader meets; each file is added and
// saved, qpdf finds nothing wrong, every page looks in poppler and MuPDF as
// libtiff shows it (turned upright), and page 1 carries the filter it
// should, with its data as stored where nothing needs decoding. The same
// table, at a small size, makes the fuzz target's seeds.
#include "core/library.h"
#include "documentpdf.h"
#include "fuzzseeds.h"
#include "jpegfixtures.h"
#include "pdftools.h"
#include "render.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <tiffio.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

namespace {

using ovintest::byteorder;
using ovintest::raster;
using ovintest::reader;
using ovintest::tiffpage;

// Images are made at 72 dpi, one pixel per point, and rendered at four times
// that, so each pixel is an exact 4 x 4 block whose middle is compared.
constexpr int kScale = 4;

tiffpage make(uint32_t w, uint32_t h, uint16_t bits, uint16_t samples, uint16_t photometric,
              uint16_t compression, const std::function<void(tiffpage&)>& change = {}) {
    tiffpage p;
    p.width = w;
    p.height = h;
    p.bits = bits;
    p.samples = samples;
    p.photometric = photometric;
    p.compression = compression;
    p.xres = p.yres = 72;
    if (change) {
        change(p);
    }
    if (p.photometric == PHOTOMETRIC_PALETTE) {
        const size_t n = size_t{1} << p.bits;
        p.colormap.resize(3 * n);
        for (size_t i = 0; i < 3 * n; ++i) {
            p.colormap[i] = static_cast<uint16_t>((i * 7919 + i / n * 101) * 257);
        }
    }
    ovintest::fillpattern(p, w + h);
    return p;
}

// The sRGB profile of LittleCMS.
std::vector<uint8_t> srgbprofile() {
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    // A fixed creation date (2024-01-01), so the file is the same every time.
    const uint8_t date[12] = {0x07, 0xE8, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
    std::copy(std::begin(date), std::end(date), bytes.begin() + 24);
    return bytes;
}

// A TIFF file written by libtiff.
std::vector<uint8_t> written(const std::vector<tiffpage>& pages,
                             byteorder order = byteorder::little, bool bigtiff = false) {
    const ovintest::tiffscratch dir;
    ovintest::writetiff(dir.path("file.tif"), pages, order, bigtiff);
    return ovintest::tifffilebytes(dir.path("file.tif"));
}

// Old-style JPEG: a whole JPEG file that the directory points to.
std::vector<uint8_t> oldjpeg(uint32_t w, uint32_t h, bool damaged) {
    std::vector<uint8_t> jpeg = ovintest::makejpeg(w, h, ovintest::jpegpattern(w, h, 3));
    if (damaged) {
        std::fill(jpeg.begin() + 2, jpeg.end(), uint8_t{0x5A});
    }
    ovintest::tiffbuilder b;
    const uint32_t at = b.append(jpeg);
    const auto size = static_cast<uint32_t>(jpeg.size());
    b.longs(256, {w}).longs(257, {h}).shorts(258, {8, 8, 8}).shorts(259, {6}).shorts(262, {6});
    b.longs(273, {at}).shorts(277, {3}).longs(278, {h}).longs(279, {size});
    b.rational(282, 72, 1).rational(283, 72, 1).shorts(296, {2}).longs(513, {at});
    b.longs(514, {size});
    b.endifd();
    return b.bytes();
}

// PackBits whose every row starts with the no-op header 128, which ends
// a RunLengthDecode stream.
std::vector<uint8_t> packbitsnoop(uint32_t w, uint32_t h) {
    tiffpage p = make(w, h, 8, 1, 1, 32773);
    std::vector<uint8_t> coded;
    for (uint32_t y = 0; y < h; ++y) {
        coded.push_back(128);
        for (uint32_t x = 0; x < w; x += 128) {
            const uint32_t n = std::min(128U, w - x);
            coded.push_back(static_cast<uint8_t>(n - 1));
            const auto row = p.pixels.begin() + static_cast<ptrdiff_t>(y * w + x);
            coded.insert(coded.end(), row, row + n);
        }
    }
    const ovintest::tiffscratch dir;
    ovintest::writerawtiff(dir.path("file.tif"), p, coded);
    return ovintest::tifffilebytes(dir.path("file.tif"));
}

// LZW in the codes of early libtiff, least significant bit first (which
// PDF's LZWDecode does not read): every pixel a literal code, widths
// growing as that decoder's table does.
std::vector<uint8_t> oldstylelzw(uint32_t w, uint32_t h) {
    tiffpage p = make(w, h, 8, 1, 1, 5);
    std::vector<uint8_t> coded;
    uint32_t bits = 0;
    int pending = 0;
    int width = 9;
    const auto put = [&](uint32_t code) {
        bits |= code << pending;
        for (pending += width; pending >= 8; pending -= 8, bits >>= 8) {
            coded.push_back(static_cast<uint8_t>(bits));
        }
    };
    put(256); // Clear
    uint32_t next = 258;
    for (size_t i = 0; i < p.pixels.size(); ++i) {
        put(p.pixels[i]);
        // Each code after the first adds an entry; the width grows when
        // the table outgrows it.
        if (i > 0 && ++next > (1U << width) - 1) {
            ++width;
        }
    }
    put(257); // End of information
    if (pending > 0) {
        coded.push_back(static_cast<uint8_t>(bits));
    }
    const ovintest::tiffscratch dir;
    ovintest::writerawtiff(dir.path("file.tif"), p, coded);
    return ovintest::tifffilebytes(dir.path("file.tif"));
}

struct tiffcase {
    const char* name;
    std::function<std::vector<uint8_t>(uint32_t w, uint32_t h)> file;
    const char* filter; // of page 1, as written after /Filter
    bool stored;        // page 1's stream is its strips as stored
    int channels;       // compared as grey (1), RGB (3) or CMYK samples (4)
    int tolerance;      // largest difference of one sample
};

std::vector<tiffcase> cases() {
    const auto set = [](auto field, auto value) { return [=](tiffpage& p) { p.*field = value; }; };
    const auto strips = set(&tiffpage::rowsperstrip, 5U);
    const auto predictor = set(&tiffpage::predictor, uint16_t{2});
    const auto tiles = [](tiffpage& p) { p.tilewidth = p.tilelength = 16; };
    const auto onetile = [](tiffpage& p) {
        p.tilewidth = p.width;
        p.tilelength = p.height;
    };
    // One page made by make(w, h, ...) with these arguments.
    const auto one = [](uint16_t bits, uint16_t samples, uint16_t photometric, uint16_t compression,
                        std::function<void(tiffpage&)> change = {},
                        byteorder order = byteorder::little) {
        return [=](uint32_t w, uint32_t h) {
            return written({make(w, h, bits, samples, photometric, compression, change)}, order);
        };
    };
    const auto alpha = [=](uint16_t type) {
        return set(&tiffpage::extrasamples, std::vector{type});
    };
    const auto turned = [=](uint16_t first, uint16_t second, uint16_t compression) {
        return [=](uint32_t w, uint32_t h) {
            return written({make(w, h, 8, 3, 2, compression, set(&tiffpage::orientation, first)),
                            make(h, w, 8, 1, 1, 1, set(&tiffpage::orientation, second))});
        };
    };
    return {
        {"g4", one(1, 1, 0, 4), "CCITTFaxDecode", true, 1, 0},
        {"g3_2d_fill2",
         one(1, 1, 1, 3,
             [](tiffpage& p) {
                 p.t4options = 1;
                 p.fillorder = 2;
             }),
         "CCITTFaxDecode", false, 1, 0},
        {"huffman_be", one(1, 1, 0, 2, {}, byteorder::big), "CCITTFaxDecode", true, 1, 0},
        {"g4_strips", one(1, 1, 0, 4, strips), "FlateDecode", false, 1, 0},
        {"lzw_grey_centimetres",
         one(8, 1, 1, 5,
             [](tiffpage& p) {
                 p.resunit = 3;
                 p.xres = p.yres = 72 / 2.54;
             }),
         "FlateDecode", false, 1, 0},
        {"lzw_rgb_predictor", one(8, 3, 2, 5, predictor), "FlateDecode", false, 3, 0},
        {"deflate_rgb", one(8, 3, 2, 8), "FlateDecode", true, 3, 0},
        {"adobedeflate_grey_predictor", one(8, 1, 1, 32946, predictor), "FlateDecode", true, 1, 0},
        // poppler undoes the predictor wrongly on 16-bit samples: decoded.
        {"deflate_rgb16_predictor_be", one(16, 3, 2, 8, predictor, byteorder::big), "FlateDecode",
         false, 3, 1},
        {"deflate_grey16_predictor_le", one(16, 1, 1, 8, predictor), "FlateDecode", false, 1, 1},
        {"lzw_rgb_strips", one(8, 3, 2, 5, strips), "FlateDecode", false, 3, 0},
        {"packbits_grey_strips", one(8, 1, 1, 32773, strips), "FlateDecode", false, 1, 0},
        {"packbits_palette", one(8, 1, 3, 32773), "FlateDecode", false, 3, 0},
        {"packbits_noop", packbitsnoop, "FlateDecode", false, 1, 0},
        {"lzw_oldstyle", oldstylelzw, "FlateDecode", false, 1, 0},
        {"none_rgb_strips", one(8, 3, 2, 1, strips), "FlateDecode", false, 3, 0},
        {"none_grey16_le", one(16, 1, 1, 1), "FlateDecode", false, 1, 1},
        {"none_grey2_miniswhite", one(2, 1, 0, 1), "FlateDecode", false, 1, 0},
        {"lzw_grey4_strips", one(4, 1, 1, 5, strips), "FlateDecode", false, 1, 0},
        {"lzw_palette4", one(4, 1, 3, 5), "FlateDecode", false, 3, 0},
        {"lzw_palette16", one(16, 1, 3, 5), "FlateDecode", false, 3, 0},
        {"none_cmyk", one(8, 4, 5, 1), "FlateDecode", false, 4, 0},
        // Both readers decode JPEG data as libjpeg-turbo does for libtiff.
        {"jpeg_ycbcr", one(8, 3, 6, 7), "DCTDecode", false, 3, 2},
        {"jpeg_rgb", one(8, 3, 2, 7), "DCTDecode", false, 3, 2},
        {"jpeg_grey", one(8, 1, 1, 7), "DCTDecode", false, 1, 2},
        {"jpeg_cmyk", one(8, 4, 5, 7), "DCTDecode", false, 4, 2},
        {"jpeg_ycbcr_strips", one(8, 3, 6, 7, set(&tiffpage::rowsperstrip, 16U)), "FlateDecode",
         false, 3, 0},
        {"oldjpeg", [](uint32_t w, uint32_t h) { return oldjpeg(w, h, false); }, "FlateDecode",
         false, 3, 0},
        {"lzw_onetile", one(8, 3, 2, 5, onetile), "FlateDecode", false, 3, 0},
        {"deflate_tiles", one(8, 3, 2, 8, tiles), "FlateDecode", false, 3, 0},
        {"lzw_planar", one(8, 3, 2, 5, set(&tiffpage::planar, uint16_t{2})), "FlateDecode", false,
         3, 0},
        {"tiles_planar_rgb_alpha",
         one(8, 4, 2, 8,
             [=](tiffpage& p) {
                 tiles(p);
                 p.planar = 2;
                 p.extrasamples = {2};
             }),
         "FlateDecode", false, 3, 2},
        {"grey_alpha", one(8, 2, 1, 5, alpha(2)), "FlateDecode", false, 1, 2},
        {"rgb16_premultiplied_be", one(16, 4, 2, 1, alpha(1), byteorder::big), "FlateDecode", false,
         3, 3},
        {"orientation_6_and_3", turned(6, 3, 5), "FlateDecode", false, 3, 0},
        {"orientation_5_and_8", turned(5, 8, 8), "FlateDecode", true, 3, 0},
        {"icc_srgb", one(8, 3, 2, 1, [](tiffpage& p) { p.icc = srgbprofile(); }), "FlateDecode",
         false, 3, 3},
        {"ycbcr_subsampled", one(8, 3, 6, 1, set(&tiffpage::subsampling, uint16_t{2})),
         "FlateDecode", false, 3, 0},
        {"bigtiff_two_pages",
         [](uint32_t w, uint32_t h) {
             return written({make(w, h, 1, 1, 0, 4), make(h, w, 8, 3, 2, 5)}, byteorder::big, true);
         },
         "CCITTFaxDecode", true, 3, 0},
    };
}

class tiffformat : public ::testing::TestWithParam<tiffcase> {
protected:
    ovintest::tempdir dir;
};

TEST_P(tiffformat, LooksLikeLibtiffShowsIt) {
    const tiffcase& c = GetParam();
    const std::string file = dir.file(std::string(c.name) + ".tif");
    ovintest::tiffsavebytes(file, c.file(48, 32));

    const std::string pdf = dir.file("out.pdf");
    const ovintest::documentpdf made = ovintest::makedocumentpdf(file, pdf);
    ASSERT_EQ(made.code, 0) << made.error;
    EXPECT_EQ(made.qpdf, "");
    const ovintest::pdffile& parsed = made.pdf;
    ASSERT_EQ(parsed.error, "");
    EXPECT_NE(parsed.object(1).find(std::string("/Filter/") + c.filter), std::string::npos)
        << parsed.object(1).substr(0, 400);
    if (c.stored) {
        const std::vector<uint8_t> raw = ovintest::tiffrawdata(file, 1);
        EXPECT_TRUE(parsed.stream(1) == std::string(raw.begin(), raw.end()))
            << "page 1's stream is not its data as stored";
    }
    // pdfimages names the filters it knows by their own names.
    const std::string listed =
        ovintest::runcommand("pdfimages -f 1 -l 1 -list '" + pdf + "'").output;
    const std::string filter = c.filter;
    const char* enc = filter == "CCITTFaxDecode" ? " ccitt "
                      : filter == "DCTDecode"    ? " jpeg "
                                                 : " image ";
    EXPECT_NE(listed.find(enc), std::string::npos) << listed;

    const auto pages = static_cast<int>(made.pages);
    for (int page = 1; page <= pages; ++page) {
        const auto p = static_cast<uint16_t>(page);
        const raster expected = c.channels == 4 ? ovintest::storedsamples(file, p)
                                                : ovintest::tiffappearance(file, p, c.channels);
        ASSERT_EQ(expected.error, "");
        for (reader rd : {reader::poppler, reader::mupdf}) {
            SCOPED_TRACE(std::string(ovintest::readername(rd)) + " page " + std::to_string(page));
            const raster seen =
                c.channels == 4
                    ? ovintest::cmykpage(rd, pdf, page, 72 * kScale, kScale)
                    : ovintest::sampled(
                          ovintest::renderpage(rd, pdf, page, 72 * kScale, c.channels), kScale);
            ASSERT_EQ(seen.error, "");
            const ovintest::difference d = ovintest::compare(seen, expected);
            EXPECT_EQ(d.error, "");
            EXPECT_LE(d.maximum, c.tolerance) << d.differing << " samples differ";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, tiffformat, ::testing::ValuesIn(cases()),
                         [](const auto& test) { return std::string(test.param.name); });

// Files the reader refuses, each with a message that names the file.
struct refusal {
    const char* name;
    std::vector<uint8_t> (*file)();
    const char* says;
};

// A directory of one uncompressed page whose strip holds `size` bytes and
// whose tags besides its size and strip are `more`.
template <typename More> std::vector<uint8_t> plainpage(uint32_t w, uint32_t h, More more) {
    ovintest::tiffbuilder b;
    const uint32_t strip = b.append(std::vector<uint8_t>(64, 0x33));
    b.longs(256, {w}).longs(257, {h});
    more(b);
    b.longs(273, {strip}).longs(279, {64}).rational(282, 60000, 1).rational(283, 60000, 1);
    b.endifd();
    return b.bytes();
}

const refusal kRefusals[] = {
    {"float",
     [] {
         return plainpage(4, 2, [](ovintest::tiffbuilder& b) {
             b.shorts(258, {32}).shorts(259, {1}).shorts(262, {1}).shorts(277, {1});
             b.shorts(339, {3}); // SampleFormat: IEEE floating point
         });
     },
     "floating-point samples are not supported"},
    {"huge",
     [] {
         return plainpage(100000, 100000, [](ovintest::tiffbuilder& b) {
             b.shorts(258, {8, 8, 8}).shorts(259, {1}).shorts(262, {2}).shorts(277, {3});
         });
     },
     "bytes of data cannot hold 100000 x 100000 pixels"},
    {"oldjpeg_damaged", [] { return oldjpeg(16, 16, true); },
     "old-style JPEG data cannot be decoded"},
};

TEST(TiffFormat, RefusesWithAMessageNamingTheFile) {
    for (const refusal& r : kRefusals) {
        SCOPED_TRACE(r.name);
        ovintest::tempdir dir;
        const std::string file = dir.file(std::string(r.name) + ".tif");
        ovintest::tiffsavebytes(file, r.file());
        // Some are refused when added, others only once decoded.
        const ovintest::documentpdf made = ovintest::makedocumentpdf(file, dir.file("out.pdf"));
        ASSERT_NE(made.code, 0);
        const std::string& text = made.error;
        EXPECT_NE(text.find(r.says), std::string::npos) << text;
        EXPECT_NE(text.find(file), std::string::npos) << text;
    }
}

// A file whose first page is a PDF 1.4 page and whose second needs PDF 1.5
// (16-bit samples) makes a document that says 1.5, in its catalog.
TEST(TiffFormat, ALaterPageThatNeedsPdf15RaisesTheVersion) {
    ovintest::tempdir dir;
    const std::string file = dir.file("mixed.tif");
    ovintest::tiffpage deep = ovintest::greypage(16, 16);
    deep.bits = 16;
    deep.pixels.resize(size_t{deep.height} * deep.rowbytes(), 0x5a);
    ovintest::writetiff(file, {ovintest::greypage(16, 16), deep});
    const ovintest::documentpdf made = ovintest::makedocumentpdf(file, dir.file("out.pdf"));
    ASSERT_EQ(made.code, 0) << made.error;
    EXPECT_EQ(made.qpdf, "");
    EXPECT_TRUE(made.pdf.bytes.starts_with("%PDF-1.4"));
    EXPECT_NE(made.pdf.bytes.find("/Version /1.5"), std::string::npos);
    // poppler reads the version from the catalog too.
    EXPECT_NE(ovintest::runcommand("pdfinfo '" + dir.file("out.pdf") + "'")
                  .output.find("PDF version:     1.5"),
              std::string::npos);
}

// The fuzz target's seeds (fuzz/corpus/tiffdoc/): the table's files at 16 x
// 16 pixels and the refused files, but the 16-bit palette (its colour map
// alone takes 384 KB).
TEST(TiffFormat, FuzzSeedsAreTheTablesFiles) {
    std::map<std::string, std::vector<uint8_t>> seeds;
    for (const tiffcase& c : cases()) {
        if (std::string(c.name) != "lzw_palette16") {
            seeds[std::string(c.name) + ".tif"] = c.file(16, 16);
        }
    }
    for (const refusal& r : kRefusals) {
        seeds[std::string(r.name) + ".tif"] = r.file();
    }
    for (const auto& [name, bytes] : seeds) {
        ovintest::fuzzseed("tiffdoc", name, bytes);
    }
}

} // namespace
