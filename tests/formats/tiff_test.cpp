// TIFF files through the document face. One table of files made by libtiff
// covers the codings and layouts the reader meets; each file is added and
// saved, qpdf finds nothing wrong, every page looks in poppler and MuPDF as
// libtiff shows it (turned upright), and page 1 carries the filter it
// should, with its data as stored where nothing needs decoding. The same
// table, at a small size, makes the fuzz target's seeds.
#include "library.h"
#include "pdftools.h"
#include "render.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <tiffio.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>

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

std::vector<uint8_t> srgbprofile() {
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

struct tiffcase {
    const char* name;
    std::function<std::vector<tiffpage>(uint32_t w, uint32_t h)> pages;
    const char* filter; // of page 1, as written after /Filter
    bool stored;        // page 1's stream is its strips as stored
    int channels;       // compared as grey (1), RGB (3) or CMYK samples (4)
    int tolerance;      // largest difference of one sample
    byteorder order = byteorder::little;
    bool bigtiff = false;
};

std::vector<tiffcase> cases() {
    using v = std::vector<tiffpage>;
    const auto set = [](auto field, auto value) { return [=](tiffpage& p) { p.*field = value; }; };
    const auto strips = set(&tiffpage::rowsperstrip, 5U);
    const auto tiles = [](tiffpage& p) { p.tilewidth = p.tilelength = 16; };
    const auto onetile = [](tiffpage& p) {
        p.tilewidth = p.width;
        p.tilelength = p.height;
    };
    const auto predictor = set(&tiffpage::predictor, uint16_t{2});
    return {
        {"g4", [](auto w, auto h) { return v{make(w, h, 1, 1, 0, 4)}; }, "CCITTFaxDecode", true, 1,
         0},
        {"g3_2d_fill2",
         [](auto w, auto h) {
             return v{make(w, h, 1, 1, 1, 3, [](tiffpage& p) {
                 p.t4options = 1;
                 p.fillorder = 2;
             })};
         },
         "CCITTFaxDecode", false, 1, 0},
        {"huffman_be", [](auto w, auto h) { return v{make(w, h, 1, 1, 0, 2)}; }, "CCITTFaxDecode",
         true, 1, 0, byteorder::big},
        {"g4_strips", [=](auto w, auto h) { return v{make(w, h, 1, 1, 0, 4, strips)}; },
         "FlateDecode", false, 1, 0},
        {"lzw_grey", [](auto w, auto h) { return v{make(w, h, 8, 1, 1, 5)}; }, "LZWDecode", true, 1,
         0},
        {"lzw_rgb_predictor", [=](auto w, auto h) { return v{make(w, h, 8, 3, 2, 5, predictor)}; },
         "LZWDecode", true, 3, 0},
        {"deflate_rgb", [](auto w, auto h) { return v{make(w, h, 8, 3, 2, 8)}; }, "FlateDecode",
         true, 3, 0},
        {"adobedeflate_grey_predictor",
         [=](auto w, auto h) { return v{make(w, h, 8, 1, 1, 32946, predictor)}; }, "FlateDecode",
         true, 1, 0},
        {"deflate_rgb16_predictor_be",
         [=](auto w, auto h) { return v{make(w, h, 16, 3, 2, 8, predictor)}; }, "FlateDecode",
         false, 3, 1, byteorder::big},
        {"deflate_grey16_predictor_le",
         [=](auto w, auto h) { return v{make(w, h, 16, 1, 1, 8, predictor)}; }, "FlateDecode",
         false, 1, 1},
        {"lzw_rgb_strips", [=](auto w, auto h) { return v{make(w, h, 8, 3, 2, 5, strips)}; },
         "FlateDecode", false, 3, 0},
        {"packbits_grey_strips",
         [=](auto w, auto h) { return v{make(w, h, 8, 1, 1, 32773, strips)}; }, "RunLengthDecode",
         true, 1, 0},
        {"packbits_palette", [](auto w, auto h) { return v{make(w, h, 8, 1, 3, 32773)}; },
         "RunLengthDecode", true, 3, 0},
        {"none_rgb_strips", [=](auto w, auto h) { return v{make(w, h, 8, 3, 2, 1, strips)}; },
         "FlateDecode", false, 3, 0},
        {"none_grey16_le", [](auto w, auto h) { return v{make(w, h, 16, 1, 1, 1)}; }, "FlateDecode",
         false, 1, 1},
        {"none_grey2_miniswhite", [](auto w, auto h) { return v{make(w, h, 2, 1, 0, 1)}; },
         "FlateDecode", false, 1, 0},
        {"lzw_palette4", [](auto w, auto h) { return v{make(w, h, 4, 1, 3, 5)}; }, "LZWDecode",
         true, 3, 0},
        {"lzw_palette16", [](auto w, auto h) { return v{make(w, h, 16, 1, 3, 5)}; }, "FlateDecode",
         false, 3, 0},
        {"none_cmyk", [](auto w, auto h) { return v{make(w, h, 8, 4, 5, 1)}; }, "FlateDecode",
         false, 4, 0},
        {"jpeg_ycbcr", [](auto w, auto h) { return v{make(w, h, 8, 3, 6, 7)}; }, "DCTDecode", false,
         3, 2},
        {"jpeg_rgb", [](auto w, auto h) { return v{make(w, h, 8, 3, 2, 7)}; }, "DCTDecode", false,
         3, 2},
        {"jpeg_grey", [](auto w, auto h) { return v{make(w, h, 8, 1, 1, 7)}; }, "DCTDecode", false,
         1, 2},
        {"jpeg_cmyk", [](auto w, auto h) { return v{make(w, h, 8, 4, 5, 7)}; }, "DCTDecode", false,
         4, 2},
        {"jpeg_ycbcr_strips",
         [](auto w, auto h) {
             return v{make(w, h, 8, 3, 6, 7, [](tiffpage& p) { p.rowsperstrip = 16; })};
         },
         "FlateDecode", false, 3, 0},
        {"lzw_onetile", [=](auto w, auto h) { return v{make(w, h, 8, 3, 2, 5, onetile)}; },
         "LZWDecode", true, 3, 0},
        {"deflate_tiles", [=](auto w, auto h) { return v{make(w, h, 8, 3, 2, 8, tiles)}; },
         "FlateDecode", false, 3, 0},
        {"lzw_planar",
         [](auto w, auto h) {
             return v{make(w, h, 8, 3, 2, 5, [](tiffpage& p) { p.planar = 2; })};
         },
         "FlateDecode", false, 3, 0},
        {"tiles_planar_rgb_alpha",
         [=](auto w, auto h) {
             return v{make(w, h, 8, 4, 2, 8, [=](tiffpage& p) {
                 tiles(p);
                 p.planar = 2;
                 p.extrasamples = {2};
             })};
         },
         "FlateDecode", false, 3, 2},
        {"lzw_grey4_strips", [=](auto w, auto h) { return v{make(w, h, 4, 1, 1, 5, strips)}; },
         "FlateDecode", false, 1, 0},
        {"grey_alpha",
         [](auto w, auto h) {
             return v{make(w, h, 8, 2, 1, 5, [](tiffpage& p) { p.extrasamples = {2}; })};
         },
         "FlateDecode", false, 1, 2},
        {"rgb16_premultiplied_be",
         [](auto w, auto h) {
             return v{make(w, h, 16, 4, 2, 1, [](tiffpage& p) { p.extrasamples = {1}; })};
         },
         "FlateDecode", false, 3, 3, byteorder::big},
        {"orientation_6_and_3",
         [=](auto w, auto h) {
             return v{make(w, h, 8, 3, 2, 5, set(&tiffpage::orientation, uint16_t{6})),
                      make(h, w, 8, 1, 1, 1, set(&tiffpage::orientation, uint16_t{3}))};
         },
         "LZWDecode", true, 3, 0},
        {"orientation_5_and_8",
         [=](auto w, auto h) {
             return v{make(w, h, 8, 3, 2, 8, set(&tiffpage::orientation, uint16_t{5})),
                      make(w, h, 8, 3, 2, 8, set(&tiffpage::orientation, uint16_t{8}))};
         },
         "FlateDecode", true, 3, 0},
        {"icc_srgb",
         [](auto w, auto h) {
             return v{make(w, h, 8, 3, 2, 1, [](tiffpage& p) { p.icc = srgbprofile(); })};
         },
         "FlateDecode", false, 3, 3},
        {"ycbcr_subsampled",
         [=](auto w, auto h) {
             return v{make(w, h, 8, 3, 6, 1, set(&tiffpage::subsampling, uint16_t{2}))};
         },
         "FlateDecode", false, 3, 0},
        {"bigtiff_two_pages",
         [](auto w, auto h) {
             return v{make(w, h, 1, 1, 0, 4), make(h, w, 8, 3, 2, 5)};
         },
         "CCITTFaxDecode", true, 3, 0, byteorder::big, true},
    };
}

// The stream of object `number`: its bytes between "stream" and "endstream".
std::string streamof(const ovintest::pdffile& pdf, int32_t number) {
    const std::string& text = pdf.object(number);
    const size_t from = text.find("stream\r\n");
    const size_t to = text.rfind("endstream");
    return from == std::string::npos || to == std::string::npos || to < from + 8
               ? std::string()
               : text.substr(from + 8, to - from - 8);
}

class tiffformat : public ::testing::TestWithParam<tiffcase> {
protected:
    ovintest::tempdir dir;
};

TEST_P(tiffformat, LooksLikeLibtiffShowsIt) {
    const tiffcase& c = GetParam();
    const std::string file = dir.file(std::string(c.name) + ".tif");
    const std::vector<tiffpage> pages = c.pages(48, 32);
    ovintest::writetiff(file, pages, c.order, c.bigtiff);

    ovin::Library lib;
    lib.pdfinit(0, dir.file("OVINPDF.TMP"));
    lib.setoptions(ovin::documentface());
    int32_t r = lib.addimagepages(file, 0);
    ASSERT_EQ(r, 0) << lib.geterror(r);
    const std::string pdf = dir.file("out.pdf");
    r = lib.pdfsave(pdf);
    ASSERT_EQ(r, 0) << lib.geterror(r);
    std::string check;
    EXPECT_TRUE(ovintest::qpdfcheck(pdf, &check)) << check;

    const ovintest::pdffile parsed = ovintest::parsepdf(pdf);
    ASSERT_EQ(parsed.error, "");
    EXPECT_NE(parsed.object(1).find(std::string("/Filter /") + c.filter), std::string::npos)
        << parsed.object(1).substr(0, 400);
    if (c.stored) {
        const std::vector<uint8_t> raw = ovintest::tiffrawdata(file, 1);
        EXPECT_TRUE(streamof(parsed, 1) == std::string(raw.begin(), raw.end()))
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

    for (int page = 1; page <= static_cast<int>(pages.size()); ++page) {
        const int channels = page > 1 && c.channels == 4 ? 3 : c.channels;
        raster expected;
        if (channels == 4) {
            const tiffpage& p = pages[static_cast<size_t>(page - 1)];
            expected = {static_cast<int>(p.width), static_cast<int>(p.height), 4,
                        ovintest::decodetiff(file, static_cast<uint16_t>(page)), ""};
        } else {
            expected = ovintest::tiffappearance(file, static_cast<uint16_t>(page), channels);
        }
        ASSERT_EQ(expected.error, "");
        for (reader rd : {reader::poppler, reader::mupdf}) {
            SCOPED_TRACE(std::string(ovintest::readername(rd)) + " page " + std::to_string(page));
            const raster seen =
                channels == 4
                    ? ovintest::cmykpage(rd, pdf, page, 72 * kScale, kScale)
                    : ovintest::sampled(ovintest::renderpage(rd, pdf, page, 72 * kScale, channels),
                                        kScale);
            ASSERT_EQ(seen.error, "");
            const ovintest::difference d = ovintest::compare(seen, expected);
            EXPECT_EQ(d.error, "");
            EXPECT_LE(d.maximum, c.tolerance) << d.differing << " samples differ";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, tiffformat, ::testing::ValuesIn(cases()),
                         [](const auto& test) { return std::string(test.param.name); });

} // namespace
