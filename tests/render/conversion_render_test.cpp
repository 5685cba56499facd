// Pages stored in several strips are re-encoded before they are embedded.
// They must still look like their source in both readers: pixel for pixel
// where the new coding is lossless (CCITT, uncompressed), close to it where
// it is a JPEG of quality 75.
#include "core/library.h"
#include "pdftools.h"
#include "render.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using ovintest::raster;
using ovintest::reader;

constexpr int kDpi = 72;
constexpr int kScale = 4;

double psnr(const raster& a, const raster& b) {
    double sum = 0;
    for (size_t k = 0; k < a.pixels.size(); ++k) {
        double d = static_cast<double>(a.pixels[k]) - static_cast<double>(b.pixels[k]);
        sum += d * d;
    }
    double mse = sum / static_cast<double>(a.pixels.size());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct stripcase {
    const char* name;
    uint16_t compression;
    uint16_t bits;
    uint16_t photometric;
    ovintest::byteorder order;
    bool lossy;
};

class conversion : public ::testing::TestWithParam<stripcase> {
protected:
    ovintest::tempdir dir;
};

TEST_P(conversion, ReencodedPageLooksLikeItsSource) {
    const stripcase& c = GetParam();
    ovintest::tiffpage page;
    if (c.bits == 1) {
        page = ovintest::bilevelpage(160, 120, c.compression, 21);
    } else if (c.photometric == 3) {
        page = ovintest::palettepage(160, 120, 22);
        page.compression = c.compression;
    } else if (c.photometric == 2) {
        page = ovintest::rgbpage(160, 120, 23);
        page.compression = c.compression;
    } else {
        page = ovintest::greypage(160, 120, c.compression, 24);
    }
    if (c.lossy && c.photometric != 1) {
        // JPEG is made for photographs, not for noise: smooth colours.
        for (uint32_t y = 0; y < page.height; ++y) {
            for (uint32_t x = 0; x < page.width; ++x) {
                uint8_t* p = page.pixels.data() + size_t{y} * page.rowbytes() + x * page.samples;
                p[0] = static_cast<uint8_t>((x + y) * 255 / (page.width + page.height));
                if (page.samples == 3) {
                    p[1] = static_cast<uint8_t>(y * 255 / page.height);
                    p[2] = static_cast<uint8_t>(128 + (x % 64) - 32);
                }
            }
        }
        for (size_t i = 0; i < page.colormap.size() / 3; ++i) {
            page.colormap[512 + i] = static_cast<uint16_t>(i / 2 * 257);
        }
    }
    page.photometric = c.photometric;
    page.rowsperstrip = 16;
    page.xres = page.yres = kDpi;
    std::string file = dir.file(std::string(c.name) + ".tif");
    ovintest::writetiff(file, {page}, c.order);

    ovin::Library lib;
    lib.pdfinit(0, dir.file("OVINPDF.TMP"));
    std::string pdf = dir.file("out.pdf");
    ASSERT_EQ(lib.pdfaddimage(file), 0);
    int32_t r = lib.pdfsave(pdf);
    ASSERT_EQ(r, 0) << lib.geterror(r);
    EXPECT_FALSE(std::filesystem::exists(dir.file("OVINPDF.TMP")));
    std::string check;
    EXPECT_TRUE(ovintest::qpdfcheck(pdf, &check)) << check;
    ovintest::pdffile parsed = ovintest::parsepdf(pdf);
    const std::string& xobject = parsed.object(1);
    if (c.lossy) {
        EXPECT_NE(xobject.find("/Filter /DCTDecode"), std::string::npos) << xobject;
    } else if (c.bits == 1 && c.compression != 1) {
        EXPECT_NE(xobject.find(c.compression == 3 ? "/K 0 " : "/K -1 "), std::string::npos)
            << xobject;
    }

    raster want = ovintest::appearance(page);
    for (reader rd : {reader::poppler, reader::mupdf}) {
        raster seen = ovintest::sampled(
            ovintest::renderpage(rd, pdf, 1, kDpi * kScale, want.channels), kScale);
        ASSERT_EQ(seen.error, "") << ovintest::readername(rd);
        ovintest::difference d = ovintest::compare(seen, want);
        ASSERT_EQ(d.error, "") << ovintest::readername(rd);
        if (c.lossy) {
            double quality = psnr(seen, want);
            RecordProperty(std::string(ovintest::readername(rd)) + "_psnr",
                           std::to_string(quality));
            EXPECT_GE(quality, 30.0) << ovintest::readername(rd);
        } else {
            EXPECT_EQ(d.maximum, 0)
                << ovintest::readername(rd) << ", " << d.differing << " samples differ";
        }
    }
}

constexpr auto little = ovintest::byteorder::little;
constexpr auto big = ovintest::byteorder::big;

INSTANTIATE_TEST_SUITE_P(
    MultiStrip, conversion,
    ::testing::Values(
        stripcase{"none_white0", 1, 1, 0, little, false},
        stripcase{"none_black0_be", 1, 1, 1, big, false}, stripcase{"mh", 2, 1, 0, little, false},
        stripcase{"mh_be", 2, 1, 0, big, false}, stripcase{"g3", 3, 1, 0, little, false},
        stripcase{"g3_black0_be", 3, 1, 1, big, false}, stripcase{"g4", 4, 1, 0, little, false},
        stripcase{"g4_be", 4, 1, 1, big, false}, stripcase{"packbits1", 32773, 1, 0, little, false},
        stripcase{"packbits1_be", 32773, 1, 1, big, false},
        stripcase{"grey_none", 1, 8, 1, little, false},
        stripcase{"rgb_none_be", 1, 8, 2, big, false},
        stripcase{"palette_none", 1, 8, 3, little, false},
        stripcase{"packbits8_grey", 32773, 8, 1, little, true},
        stripcase{"packbits8_grey_be", 32773, 8, 1, big, true},
        stripcase{"packbits8_rgb", 32773, 8, 2, little, true},
        stripcase{"packbits8_palette", 32773, 8, 3, little, true}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
