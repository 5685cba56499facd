// Re-encoding multi-strip TIFF pages the way the PDF library does: open,
// select the page, option block, page bitmap, write; then the written file
// is read back with libtiff or libjpeg and compared with the source page.
#include "imagingtest.h"
#include "jpegfixtures.h"
#include "tifffixtures.h"

#include <tiffio.h>
#include <unistd.h>

#include <ostream>

using imgtest::Handle;

namespace {

struct ConvertCase {
    const char* name;
    ovintest::tiffpage page;
    ovintest::byteorder order;
};

void PrintTo(const ConvertCase& c, std::ostream* os) {
    *os << c.name;
}

// The option text and format the PDF library uses for a source coding.
std::pair<std::string, std::string> optionsFor(const ovintest::tiffpage& p) {
    const std::string rows = "TIFF_ROWSPERSTRIP = " + std::to_string(p.height);
    switch (p.compression) {
    case 1:
        return {"COMPRESS = OFF\rOVERWRITE = ON\r" + rows, "TIF"};
    case 3:
        return {"COMPRESS = ON\rOVERWRITE = ON\rTIFF_COMPRESS = GROUP3\r" + rows, "TIF"};
    case 32773:
        if (p.bits == 8) {
            return {"COMPRESS = ON\rOVERWRITE = ON\rJPEG_OPTIMIZE_CODING = ON\rLOSSY_QUALITY = 75",
                    "JPG"};
        }
        [[fallthrough]];
    default: // 2, 4 and 1-bit PackBits
        return {"COMPRESS = ON\rOVERWRITE = ON\rTIFF_COMPRESS = GROUP4\r" + rows, "TIF"};
    }
}

uint16_t expectedCompression(const ovintest::tiffpage& p) {
    return p.compression == 1   ? COMPRESSION_NONE
           : p.compression == 3 ? COMPRESSION_CCITTFAX3
                                : COMPRESSION_CCITTFAX4;
}

ovintest::tiffpage strips(ovintest::tiffpage p, uint32_t rows, uint16_t photometric = 0xFFFF,
                          uint16_t fillorder = 1, uint32_t t4 = 0) {
    p.rowsperstrip = rows;
    if (photometric != 0xFFFF) {
        p.photometric = photometric;
    }
    p.fillorder = fillorder;
    p.t4options = t4;
    p.xres = 300;
    p.yres = 200;
    return p;
}

std::vector<ConvertCase> cases() {
    using ovintest::bilevelpage;
    const auto little = ovintest::byteorder::little;
    const auto big = ovintest::byteorder::big;
    return {
        {"none_bilevel_minisblack", strips(bilevelpage(203, 150, 1), 10, 1), little},
        {"none_bilevel_miniswhite_bigendian", strips(bilevelpage(203, 150, 1, 2), 7, 0), big},
        {"none_grey8_bigendian", strips(ovintest::greypage(97, 61, 1), 5), big},
        {"none_grey8_miniswhite", strips(ovintest::greypage(97, 61, 1, 3), 6, 0), little},
        {"none_rgb", strips(ovintest::rgbpage(97, 61), 9), little},
        {"none_palette_bigendian", strips(ovintest::palettepage(97, 61), 9), big},
        {"mh", strips(bilevelpage(300, 211, 2, 3), 16), little},
        {"mh_bigendian", strips(bilevelpage(300, 211, 2, 4), 33), big},
        {"g3_1d", strips(bilevelpage(301, 211, 3, 5), 16), little},
        {"g3_2d_bigendian_fillorder2", strips(bilevelpage(301, 211, 3, 6), 20, 0, 2, 1), big},
        {"g4", strips(bilevelpage(405, 260, 4, 7), 16), little},
        {"g4_bigendian_minisblack", strips(bilevelpage(405, 260, 4, 8), 64, 1), big},
        {"packbits_bilevel", strips(bilevelpage(250, 180, 32773, 9), 12), little},
        {"packbits_bilevel_bigendian", strips(bilevelpage(250, 180, 32773, 10), 25), big},
        {"packbits_grey8", strips(ovintest::greypage(257, 190, 32773, 11), 12), little},
        {"packbits_grey8_bigendian", strips(ovintest::greypage(257, 190, 32773, 12), 40), big},
    };
}

class Conversion : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(Conversion, WritesOneStripWithTheSamePixels) {
    const ConvertCase& c = GetParam();
    ovintest::tiffscratch dir;
    const std::string source = dir.path("scan.tif");
    const std::string output = dir.path("OVINPDF.TMP");
    // The page to convert is the second of two: page selection must hold.
    ovintest::writetiff(source, {ovintest::bilevelpage(50, 40, 4), c.page}, c.order);

    const auto [text, format] = optionsFor(c.page);
    Handle image(ImgOpenSolo(source.c_str(), ".TIF"));
    ASSERT_TRUE(image);
    ASSERT_EQ(ImgSetPage(image.get(), 1), 1);
    const ImgHandle options = ImgXOptBlkCreate(text.c_str());
    ASSERT_NE(options, 0u);
    const ImgHandle dib = ImgGetDIB(image.get(), 0, 0);
    ASSERT_NE(dib, 0u);
    ASSERT_EQ(ImgXWriteDIB(output.c_str(), format.c_str(), dib, options, 0, 0), 1);
    EXPECT_EQ(ImgXOptBlkDel(options), 1);

    if (format == "JPG") {
        const auto decoded = ovintest::decodejpegfile(output);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.width, c.page.width);
        EXPECT_EQ(decoded.height, c.page.height);
        EXPECT_EQ(decoded.components, 1);
        EXPECT_GE(imgtest::psnr(decoded.pixels, c.page.pixels), 30.0);
        return;
    }

    // "c": the strips as stored, not cut into pieces by libtiff.
    TIFF* tif = TIFFOpen(output.c_str(), "rc");
    ASSERT_NE(tif, nullptr);
    uint32_t width = 0, height = 0, rows = 0;
    uint16_t compression = 0, photometric = 0, bits = 0, samples = 0, fillorder = 0;
    float xres = 0, yres = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rows);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_FILLORDER, &fillorder);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres);
    const uint32_t stripcount = TIFFNumberOfStrips(tif);
    uint32_t t4 = 0xFFFFFFFF;
    if (compression == COMPRESSION_CCITTFAX3) {
        TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &t4);
    }
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    std::vector<uint16_t> colormap;
    if (photometric == PHOTOMETRIC_PALETTE &&
        TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) == 1) {
        colormap.insert(colormap.end(), red, red + 256);
        colormap.insert(colormap.end(), green, green + 256);
        colormap.insert(colormap.end(), blue, blue + 256);
    }
    const tdir_t pages = TIFFNumberOfDirectories(tif);
    TIFFClose(tif);

    EXPECT_EQ(pages, 1u);
    EXPECT_EQ(width, c.page.width);
    EXPECT_EQ(height, c.page.height);
    EXPECT_EQ(stripcount, 1u);
    EXPECT_EQ(rows, c.page.height);
    EXPECT_EQ(compression, expectedCompression(c.page));
    EXPECT_EQ(photometric, c.page.photometric);
    EXPECT_EQ(bits, c.page.bits);
    EXPECT_EQ(samples, c.page.samples);
    EXPECT_EQ(fillorder, FILLORDER_MSB2LSB);
    EXPECT_FLOAT_EQ(xres, 300);
    EXPECT_FLOAT_EQ(yres, 200);
    if (compression == COMPRESSION_CCITTFAX3) {
        EXPECT_EQ(t4 & 1u, 0u); // one-dimensional coding
    }
    if (c.page.photometric == PHOTOMETRIC_PALETTE) {
        EXPECT_EQ(colormap, c.page.colormap);
    }
    // Bit for bit: nothing inverted, nothing reordered.
    EXPECT_EQ(ovintest::decodetiff(output, 1), c.page.pixels);
}

INSTANTIATE_TEST_SUITE_P(Codings, Conversion, ::testing::ValuesIn(cases()),
                         [](const auto& tp) { return std::string(tp.param.name); });

TEST(Conversion, DepthsThatACodingCannotCarryAreRefused) {
    ovintest::tiffscratch dir;
    const std::string source = dir.path("grey.tif");
    ovintest::writetiff(source, {strips(ovintest::greypage(40, 30), 4)});
    Handle image(ImgOpenSolo(source.c_str(), "TIF"));
    ASSERT_TRUE(image);
    const ImgHandle dib = ImgGetDIB(image.get(), 0, 0);
    ASSERT_NE(dib, 0u);
    for (const char* text :
         {"COMPRESS = ON\rTIFF_COMPRESS = GROUP4", "COMPRESS = ON\rTIFF_COMPRESS = GROUP3",
          "COMPRESS = ON\rTIFF_COMPRESS = WAVELET", "COMPRESS = MAYBE"}) {
        Handle options(ImgXOptBlkCreate(text));
        const std::string out = dir.path("out.tif");
        EXPECT_EQ(ImgXWriteDIB(out.c_str(), "TIF", dib, options.get(), 0, 0), 0) << text;
        EXPECT_NE(access(out.c_str(), F_OK), 0) << text;
    }
    // No format, or one the library does not write: nothing at all.
    Handle options(ImgXOptBlkCreate(""));
    for (const char* format : {"", "PNG", "TI"}) {
        const std::string out = dir.path("any.out");
        EXPECT_EQ(ImgXWriteDIB(out.c_str(), format, dib, options.get(), 0, 0), 0) << format;
        EXPECT_NE(access(out.c_str(), F_OK), 0) << format;
    }
    EXPECT_EQ(ImgXWriteDIB(dir.path("null").c_str(), nullptr, dib, options.get(), 0, 0), 0);
}

TEST(Conversion, JpegQualityAndOptimisedCodingShowInTheFile) {
    ovintest::tiffscratch dir;
    const std::string source = dir.path("rgb.tif");
    auto page = ovintest::rgbpage(200, 150);
    page.pixels = ovintest::jpegpattern(200, 150, 3); // smooth, as photographs are
    ovintest::writetiff(source, {page});
    Handle image(ImgOpenSolo(source.c_str(), "TIF"));
    const ImgHandle dib = ImgGetDIB(image.get(), 0, 0);
    ASSERT_NE(dib, 0u);
    const auto write = [&](const std::string& name, const char* text) {
        Handle options(ImgXOptBlkCreate(text));
        const std::string out = dir.path(name);
        EXPECT_EQ(ImgXWriteDIB(out.c_str(), "JPG", dib, options.get(), 0, 0), 1) << text;
        return ovintest::tifffilebytes(out);
    };
    const auto low = write("low.jpg", "LOSSY_QUALITY = 10");
    const auto normal = write("normal.jpg", "");
    const auto high = write("high.jpg", "LOSSY_QUALITY = 95");
    const auto optimised = write("opt.jpg", "LOSSY_QUALITY = 75\rJPEG_OPTIMIZE_CODING = ON");
    EXPECT_LT(low.size(), normal.size());
    EXPECT_LT(normal.size(), high.size());
    EXPECT_LT(optimised.size(), normal.size());

    const auto decoded = ovintest::decodejpeg(normal);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.components, 3);
    EXPECT_GE(imgtest::psnr(decoded.pixels, page.pixels), 30.0);
}

TEST(Conversion, RowsPerStripCanBeAskedFor) {
    ovintest::tiffscratch dir;
    const std::string source = dir.path("scan.tif");
    const auto page = ovintest::bilevelpage(100, 90, 4);
    ovintest::writetiff(source, {page});
    Handle image(ImgOpenSolo(source.c_str(), "TIF"));
    const ImgHandle dib = ImgGetDIB(image.get(), 0, 0);
    Handle options(ImgXOptBlkCreate("COMPRESS=ON\nTIFF_COMPRESS=GROUP4\nTIFF_ROWSPERSTRIP=40"));
    const std::string out = dir.path("strips.tif");
    ASSERT_EQ(ImgXWriteDIB(out.c_str(), "tif", dib, options.get(), 0, 0), 1);
    TIFF* tif = TIFFOpen(out.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    EXPECT_EQ(TIFFNumberOfStrips(tif), 3u);
    TIFFClose(tif);
    EXPECT_EQ(ovintest::decodetiff(out, 1), page.pixels);
}

} // namespace
