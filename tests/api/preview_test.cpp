// Reading files without adding them (ovinpdf_image_pages) and pages as
// reduced upright pictures (ovinpdf_page_preview): every kind drawn as its
// own decoder sees it, the orientation tag applied, and bad files and
// requests refused with messages that name them.
#include "ovinpdf_document.h"

#include "bmpfixtures.h"
#include "heifjxlfixtures.h"
#include "jpegfixtures.h"
#include "pdftools.h"
#include "pngfixtures.h"
#include "tifffixtures.h"
#include "webpgiffixtures.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

struct deleter {
    void operator()(ovinpdf_document* d) const { ovinpdf_document_free(d); }
};
using document = std::unique_ptr<ovinpdf_document, deleter>;

struct picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;
    std::array<uint8_t, 3> at(uint32_t x, uint32_t y) const {
        const size_t i = 3 * (size_t{y} * width + x);
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

int32_t preview(ovinpdf_document* d, const std::string& file, uint32_t page, uint32_t side,
                picture& out) {
    out.rgb.assign(3 * size_t{side} * side, 0);
    const int32_t code = ovinpdf_page_preview(d, file.c_str(), page, side, out.rgb.data(),
                                              out.rgb.size(), &out.width, &out.height);
    out.rgb.resize(3 * size_t{out.width} * out.height);
    return code;
}

// The mean of each of red, green and blue over RGB (or grey) pixels.
std::array<double, 3> mean(const std::vector<uint8_t>& pixels, int channels) {
    std::array<double, 3> sum{};
    const size_t count = pixels.size() / static_cast<size_t>(channels);
    for (size_t i = 0; i < count; ++i) {
        for (size_t c = 0; c < 3; ++c) {
            sum[c] += pixels[i * static_cast<size_t>(channels) + (channels == 1 ? 0 : c)];
        }
    }
    for (double& s : sum) {
        s /= static_cast<double>(count);
    }
    return sum;
}

struct kindcase {
    const char* name;
    uint32_t width;
    uint32_t height;
    // Writes the file and gives how it looks.
    std::function<ovintest::raster(const std::string& path)> make;
};

ovintest::raster pngcase(const std::string& path, int colourtype, int depth) {
    ovintest::pngoptions o;
    o.width = 120;
    o.height = 80;
    o.colourtype = colourtype;
    o.depth = depth;
    const std::vector<uint8_t> bytes = ovintest::makepng(o);
    ovintest::writebytes(path, std::string(bytes.begin(), bytes.end()));
    return ovintest::decodepng(bytes);
}

// A file of those bytes, looking as `look` says.
ovintest::raster saved(const std::string& path, const std::vector<uint8_t>& bytes,
                       ovintest::raster look) {
    ovintest::writebytes(path, std::string(bytes.begin(), bytes.end()));
    return look;
}

ovintest::raster tiffcase(const std::string& path, ovintest::tiffpage page) {
    ovintest::writetiff(path, {page});
    return ovintest::appearance(page);
}

} // namespace

TEST(pagepreview, EveryKindLooksAsItsDecoderSeesIt) {
    const std::vector<kindcase> cases = {
        {"JPEG", 120, 80,
         [](const std::string& path) {
             const std::vector<uint8_t> jpeg =
                 ovintest::makejpeg(120, 80, ovintest::jpegpattern(120, 80, 3));
             ovintest::savejpeg(path, jpeg);
             const ovintest::decodedjpeg d = ovintest::decodejpeg(jpeg);
             return ovintest::raster{120, 80, 3, d.pixels, {}};
         }},
        {"PNG palette 4-bit", 120, 80, [](const std::string& p) { return pngcase(p, 3, 4); }},
        {"PNG grey 16-bit", 120, 80, [](const std::string& p) { return pngcase(p, 0, 16); }},
        {"PNG RGB", 120, 80, [](const std::string& p) { return pngcase(p, 2, 8); }},
        {"TIFF Group 4", 200, 120,
         [](const std::string& p) { return tiffcase(p, ovintest::bilevelpage(200, 120, 4, 3)); }},
        {"TIFF RGB", 120, 80,
         [](const std::string& p) { return tiffcase(p, ovintest::rgbpage(120, 80, 2)); }},
        {"TIFF palette", 120, 80,
         [](const std::string& p) { return tiffcase(p, ovintest::palettepage(120, 80, 5)); }},
        {"WebP", 40, 24,
         [](const std::string& p) {
             const auto bytes = ovintest::makewebp({});
             return saved(p, bytes, ovintest::decodewebp(bytes).at(0));
         }},
        {"HEIC", 48, 32,
         [](const std::string& p) {
             const auto bytes = ovintest::makeheif({}, false);
             return saved(p, bytes, ovintest::decodeheif(bytes));
         }},
        {"JPEG XL", 48, 32,
         [](const std::string& p) {
             ovintest::pictureoptions o;
             o.lossless = true;
             const auto bytes = ovintest::makejxl(o);
             return saved(p, bytes, ovintest::decodejxl(bytes));
         }},
        {"JPEG 2000", 50, 25,
         [](const std::string& p) {
             const auto bytes = ovintest::makejp2({});
             return saved(p, bytes, ovintest::decodejp2(bytes));
         }},
        {"BMP", 120, 80,
         [](const std::string& path) {
             ovintest::bmpoptions bmp;
             bmp.width = 120;
             bmp.height = 80;
             for (int i = 0; i < 120 * 80; ++i) {
                 bmp.pixels.insert(bmp.pixels.end(), {static_cast<uint8_t>(i % 120 * 2),
                                                      static_cast<uint8_t>(i / 120 * 3), 200});
             }
             ovintest::savebmp(path, ovintest::makebmp(bmp));
             return ovintest::raster{120, 80, 3, bmp.pixels, {}};
         }},
    };
    ovintest::tempdir dir;
    const document d(ovinpdf_document_new());
    for (const kindcase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file(std::string(c.name) + ".page");
        const ovintest::raster look = c.make(file);
        uint32_t pages = 0;
        ASSERT_EQ(ovinpdf_image_pages(d.get(), file.c_str(), &pages), OVINPDF_OK)
            << ovinpdf_last_error(d.get());
        EXPECT_EQ(pages, 1u);
        picture shown;
        ASSERT_EQ(preview(d.get(), file, 1, 40, shown), OVINPDF_OK) << ovinpdf_last_error(d.get());
        // Reduced to 40 at the longer side, proportions kept.
        EXPECT_EQ(shown.width, 40u);
        EXPECT_NEAR(shown.height, 40.0 * c.height / c.width, 1.0);
        const std::array<double, 3> want = mean(look.pixels, look.channels);
        const std::array<double, 3> got = mean(shown.rgb, 3);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(got[i], want[i], 6.0) << "channel " << i;
        }
    }
}

TEST(pagepreview, OrientationTurnsThePicture) {
    // Stored corners: which of them each orientation puts at the top left
    // and the top right (0 top left, 1 top right, 2 bottom left, 3 bottom
    // right), and whether it turns the sides.
    struct turn {
        uint16_t orientation;
        int topleft;
        int topright;
        bool across;
    };
    const std::array<turn, 8> turns{{{1, 0, 1, false},
                                     {2, 1, 0, false},
                                     {3, 3, 2, false},
                                     {4, 2, 3, false},
                                     {5, 0, 2, true},
                                     {6, 2, 0, true},
                                     {7, 3, 1, true},
                                     {8, 1, 3, true}}};
    ovintest::tempdir dir;
    const document d(ovinpdf_document_new());
    for (const turn& t : turns) {
        SCOPED_TRACE(t.orientation);
        ovintest::tiffpage page = ovintest::rgbpage(4, 2);
        for (size_t i = 0; i < page.pixels.size(); ++i) {
            page.pixels[i] = static_cast<uint8_t>(i * 10);
        }
        page.orientation = t.orientation;
        page.xres = page.yres = 10; // a page large enough to be added
        const std::string file = dir.file("turned.tif");
        ovintest::writetiff(file, {page});
        const ovintest::raster look = ovintest::appearance(page);
        const auto corner = [&](int which) {
            const size_t x = which % 2 == 0 ? 0 : 3;
            const size_t y = which < 2 ? 0 : 1;
            const size_t i = 3 * (y * 4 + x);
            return std::array<uint8_t, 3>{look.pixels[i], look.pixels[i + 1], look.pixels[i + 2]};
        };
        picture shown;
        ASSERT_EQ(preview(d.get(), file, 1, 16, shown), OVINPDF_OK) << ovinpdf_last_error(d.get());
        EXPECT_EQ(shown.width, t.across ? 2u : 4u);
        EXPECT_EQ(shown.at(0, 0), corner(t.topleft));
        EXPECT_EQ(shown.at(shown.width - 1, 0), corner(t.topright));
    }
}

TEST(pagepreview, PagesOfAFileAndFailuresInWords) {
    ovintest::tempdir dir;
    const document d(ovinpdf_document_new());
    const std::string tif = dir.file("three.tif");
    ovintest::writetiff(tif, {ovintest::greypage(40, 30, 1, 1), ovintest::rgbpage(30, 40, 2),
                              ovintest::bilevelpage(64, 32, 4, 3)});
    uint32_t pages = 0;
    ASSERT_EQ(ovinpdf_image_pages(d.get(), tif.c_str(), &pages), OVINPDF_OK);
    EXPECT_EQ(pages, 3u);
    picture shown;
    ASSERT_EQ(preview(d.get(), tif, 2, 100, shown), OVINPDF_OK);
    EXPECT_EQ(shown.width, 30u); // never enlarged
    EXPECT_EQ(shown.height, 40u);

    const std::vector<uint8_t> jpeg = ovintest::makejpeg(64, 48, ovintest::jpegpattern(64, 48, 3));
    const std::string cut = dir.file("cut.jpg");
    ovintest::savejpeg(cut, {jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 2)});
    const std::string text = dir.file("notes.txt");
    ovintest::writebytes(text, "not a picture");
    struct failure {
        std::string file;
        uint32_t page;
        uint32_t side;
        int32_t code;
        std::string words;
    };
    for (const failure& f : std::vector<failure>{
             {cut, 1, 50, OVINPDF_IMAGE_ERROR, "cut.jpg"},
             {text, 1, 50, OVINPDF_UNSUPPORTED_TYPE, "notes.txt"},
             {dir.file("missing.png"), 1, 50, OVINPDF_FILE_NOT_FOUND, "missing.png"},
             {tif, 4, 50, OVINPDF_IMAGE_ERROR, "has 3 pages, not 4"},
             {tif, 1, 0, OVINPDF_INVALID_ARGUMENT, "invalid preview request"},
         }) {
        SCOPED_TRACE(f.file + " page " + std::to_string(f.page));
        std::vector<uint8_t> buffer(3 * 50 * 50);
        uint32_t w = 0;
        uint32_t h = 0;
        EXPECT_EQ(ovinpdf_page_preview(d.get(), f.file.c_str(), f.page, f.side, buffer.data(),
                                       buffer.size(), &w, &h),
                  f.code);
        EXPECT_NE(std::string(ovinpdf_last_error(d.get())).find(f.words), std::string::npos)
            << ovinpdf_last_error(d.get());
    }
    // A file that cannot be read fails when it is checked, as adding it would.
    EXPECT_EQ(ovinpdf_image_pages(d.get(), cut.c_str(), &pages), OVINPDF_IMAGE_ERROR);
    EXPECT_EQ(pages, 0u);
    // A buffer too small for the picture is refused, not overrun.
    std::vector<uint8_t> small(10);
    uint32_t w = 0;
    uint32_t h = 0;
    EXPECT_EQ(ovinpdf_page_preview(d.get(), tif.c_str(), 1, 40, small.data(), small.size(), &w, &h),
              OVINPDF_INVALID_ARGUMENT);
}
