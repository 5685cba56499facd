// JPEG photographs through the document face: the EXIF orientation turns
// the page upright, EXIF gives the resolution where JFIF does not, and an
// ICC profile in APP2 chunks gives the colours, in poppler and MuPDF alike.
#include "documentpdf.h"
#include "fuzzseeds.h"
#include "jpegfixtures.h"
#include "pagelook.h"
#include "pdftools.h"
#include "quote.h"
#include "render.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using ovintest::raster;
using ovintest::reader;

constexpr int kScale = 4; // pages are rendered at four times the image's 72 dpi

raster decoded(const std::vector<uint8_t>& jpeg) {
    const ovintest::decodedjpeg d = ovintest::decodejpeg(jpeg);
    return {static_cast<int>(d.width), static_cast<int>(d.height), 3, d.pixels, d.error};
}

// Whether MuPDF's build manages colour (Debian's says "ICC support is not
// available" and draws ICC-based images in their alternate space).
bool mupdficc() {
    static const bool icc = ovintest::runcommand("mutool draw -o /dev/null -F txt /dev/null")
                                .output.find("ICC support is not available") == std::string::npos;
    return icc;
}

raster rendered(reader r, const std::string& pdf) {
    return ovintest::sampled(ovintest::renderpage(r, pdf, 1, 72 * kScale, 3), kScale);
}

class JpegDocument : public ::testing::Test {
protected:
    ovintest::tempdir dir;

    // Saves the file, makes its PDF through the document face; the PDF's name.
    std::string pdfof(const std::string& name, const std::vector<uint8_t>& jpeg,
                      std::vector<std::string>* warnings = nullptr) {
        const std::string file = dir.file(name);
        ovintest::savejpeg(file, jpeg);
        const ovintest::documentpdf made = ovintest::makedocumentpdf(file, file + ".pdf");
        EXPECT_EQ(made.code, 0) << made.error;
        EXPECT_EQ(made.qpdf, "");
        // The photograph goes in as it is, byte for byte.
        EXPECT_TRUE(made.pdf.stream(1) == std::string(jpeg.begin(), jpeg.end()));
        if (warnings != nullptr) {
            *warnings = made.warnings;
        }
        return file + ".pdf";
    }
};

TEST_F(JpegDocument, EveryExifOrientationStandsUpright) {
    ovintest::jpegoptions o;
    o.xdensity = o.ydensity = 72;
    const std::vector<uint8_t> pixels = ovintest::jpegpattern(64, 48, 3);
    for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        // Both byte orders of the EXIF block; baseline and progressive JPEG.
        o.progressive = orientation > 4;
        o.extra = {{0xE1, ovintest::exifpayload({orientation, 0, 0, 0, orientation % 2 == 1})}};
        const std::vector<uint8_t> jpeg = ovintest::makejpeg(64, 48, pixels, o);
        const std::string pdf = pdfof("o" + std::to_string(orientation) + ".jpg", jpeg);
        const raster expected = ovintest::oriented(decoded(jpeg), orientation);
        for (const reader r : {reader::poppler, reader::mupdf}) {
            const ovintest::difference d = ovintest::compare(rendered(r, pdf), expected);
            EXPECT_EQ(d.error, "") << ovintest::readername(r);
            EXPECT_LE(d.maximum, 40) << ovintest::readername(r);
            EXPECT_LE(d.mean, 1.5) << ovintest::readername(r);
        }
        ovintest::fuzzseed("exif", "orientation" + std::to_string(orientation), o.extra[0].payload);
    }
}

TEST_F(JpegDocument, ResolutionFromJfifElseExif) {
    struct resolutioncase {
        bool jfif;
        uint8_t units;
        uint16_t density;
        ovintest::exiftags exif;
        const char* mediabox; // of a 100 x 50 image, exact
        bool defaulted;       // the 200 dpi default, with its warning
    };
    const resolutioncase cases[] = {
        {false, 0, 0, {0, 100, 100, 2, true}, "72 36", false},
        {false, 0, 0, {0, 50, 50, 0, false}, "144 72", false}, // inches unless said
        {true, 0, 1, {0, 40, 40, 3, true}, "70.5882352941176 35.2941176470588", false}, // 102 dpi
        {true, 1, 300, {0, 100, 100, 2, false}, "24 12", false},
        {false, 0, 0, {0, 100, 100, 1, true}, "36 18", true}, // no unit: no resolution
        {false, 0, 0, {0, 100, 0, 2, true}, "36 18", true},   // one direction only
    };
    for (const resolutioncase& c : cases) {
        SCOPED_TRACE(c.mediabox);
        const auto index = static_cast<size_t>(&c - cases);
        ovintest::fuzzseed("exif", "resolution" + std::to_string(index),
                           ovintest::exifpayload(c.exif));
        ovintest::jpegoptions o;
        o.jfif = c.jfif;
        o.densityunit = c.units;
        o.xdensity = o.ydensity = c.density;
        o.extra = {{0xE1, ovintest::exifpayload(c.exif)}};
        std::vector<std::string> warnings;
        const std::string pdf = pdfof(
            "r.jpg", ovintest::makejpeg(100, 50, ovintest::jpegpattern(100, 50, 3), o), &warnings);
        EXPECT_NE(ovintest::readbytes(pdf).find("/MediaBox[0 0 " + std::string(c.mediabox) + "]"),
                  std::string::npos);
        EXPECT_EQ(warnings.size() == 1 && warnings[0].ends_with(": no resolution, 200 dpi assumed"),
                  c.defaulted);
    }
}

TEST_F(JpegDocument, IccProfilesInChunksGiveTheirColours) {
    // Flat patches that fill whole blocks, so that the decoders agree.
    const uint8_t colours[][3] = {{200, 80, 40},  {60, 160, 90},   {50, 90, 200},
                                  {230, 210, 60}, {128, 128, 128}, {90, 40, 120}};
    std::vector<uint8_t> pixels;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 48; ++x) {
            const uint8_t* c = colours[(y / 16) * 3 + x / 16];
            pixels.insert(pixels.end(), c, c + 3);
        }
    }
    const std::vector<uint8_t> srgb = ovintest::srgbprofile();
    const std::vector<uint8_t> wide = ovintest::widergbprofile();
    const std::vector<ovintest::jpegmarker> widechunks = ovintest::iccmarkers(wide, 3);
    struct icccase {
        const char* name;
        std::vector<ovintest::jpegmarker> chunks;
        const std::vector<uint8_t>* shown; // the profile the colours show in; null: device
        bool warned;
    };
    const icccase cases[] = {
        {"srgb", ovintest::iccmarkers(srgb, 2), &srgb, false},
        {"wide_out_of_order", {widechunks[2], widechunks[0], widechunks[1]}, &wide, false},
        {"wide_chunk_missing", {widechunks[0], widechunks[2]}, nullptr, false},
        {"wide_chunk_twice",
         {widechunks[0], widechunks[1], widechunks[1], widechunks[2]},
         nullptr,
         false},
        {"grey_profile", ovintest::iccmarkers(ovintest::greyprofile(), 1), nullptr, true},
    };
    for (const icccase& c : cases) {
        SCOPED_TRACE(c.name);
        ovintest::jpegoptions o;
        o.quality = 95;
        o.xdensity = o.ydensity = 72;
        o.extra = c.chunks;
        const std::vector<uint8_t> jpeg = ovintest::makejpeg(48, 32, pixels, o);
        std::vector<std::string> warnings;
        const std::string file = dir.file(std::string(c.name) + ".jpg");
        const std::string pdf = pdfof(std::string(c.name) + ".jpg", jpeg, &warnings);
        const raster source = decoded(jpeg);
        const raster expected = c.shown != nullptr ? ovintest::tosrgb(source, *c.shown) : source;
        // The wide profile's colours differ from the device ones, so either
        // answer tells which space the page was shown in.
        EXPECT_GT(ovintest::deltae(ovintest::tosrgb(source, wide), source).mean, 5);
        for (const reader r : {reader::poppler, reader::mupdf}) {
            // A MuPDF built without LittleCMS shows a profile's alternate space.
            const ovintest::colourdifference d = ovintest::deltae(
                rendered(r, pdf), r == reader::mupdf && !mupdficc() ? source : expected);
            EXPECT_EQ(d.error, "") << ovintest::readername(r);
            EXPECT_LE(d.maximum, 3) << ovintest::readername(r);
        }
        const std::string images = ovintest::runcommand("pdfimages -list '" + pdf + "'").output;
        EXPECT_EQ(images.find(" icc ") != std::string::npos, c.shown != nullptr) << images;
        const std::string warning =
            ovin::quotename(file) + ": unusable ICC profile, device colours used";
        EXPECT_EQ(std::count(warnings.begin(), warnings.end(), warning), c.warned ? 1 : 0);
        // A small copy of each case seeds the fuzz target.
        ovintest::fuzzseed("jpegdoc", std::string(c.name) + ".jpg",
                           ovintest::makejpeg(8, 8, pixels, o));
    }
    ovintest::fuzzseed("icc", "srgb.icc", srgb);
    ovintest::fuzzseed("icc", "wide.icc", wide);
    ovintest::fuzzseed("icc", "grey.icc", ovintest::greyprofile());
}

} // namespace
