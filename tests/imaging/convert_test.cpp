// Re-encoding multi-strip TIFF pages the way the PDF library does: open,
// select the page, option block, page bitmap, write; then the written file
// is read back with libtiff or libjpeg and compared with the source page.
#include "encode.h"
#include "imagingtest.h"
#include "jpegfixtures.h"
#include "source.h"
#include "tifffixtures.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
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

TEST(Conversion, ABitmapStaysThePageItWasMadeFrom) {
    ovintest::tiffscratch dir;
    const std::string source = dir.path("three.tif");
    const std::vector<ovintest::tiffpage> pages = {ovintest::bilevelpage(50, 40, 4, 1),
                                                   ovintest::bilevelpage(60, 30, 4, 2),
                                                   ovintest::greypage(20, 10)};
    ovintest::writetiff(source, pages);
    Handle image(ImgOpenSolo(source.c_str(), "TIF"));
    ASSERT_EQ(ImgSetPage(image.get(), 1), 1);
    const ImgHandle dib = ImgGetDIB(image.get(), 0, 0);
    ASSERT_EQ(ImgSetPage(image.get(), 2), 1);
    Handle options(ImgXOptBlkCreate("COMPRESS = ON\rTIFF_COMPRESS = GROUP4"));
    const std::string out = dir.path("page2.tif");
    ASSERT_EQ(ImgXWriteDIB(out.c_str(), "TIF", dib, options.get(), 0, 0), 1);
    EXPECT_EQ(ovintest::decodetiff(out, 1), pages[1].pixels);
    EXPECT_EQ(ImgGetInfo(image.get(), nullptr)->width, 20); // the image kept its page
    // A bitmap can be released on its own; the image stays.
    EXPECT_EQ(ImgClose(dib), 1);
    EXPECT_EQ(ImgXWriteDIB(dir.path("again.tif").c_str(), "TIF", dib, options.get(), 0, 0), 0);
    EXPECT_NE(ImgGetInfo(image.get(), nullptr), nullptr);
}

// Planar RGB and RGB with alpha go through libtiff's RGBA reader, whose
// raster is narrowed to the bitmap in its own buffer.
TEST(Conversion, PagesThroughLibtiffsRgbaReaderKeepTheirPixels) {
    ovintest::tiffscratch dir;
    constexpr uint32_t w = 7;
    constexpr uint32_t h = 5;
    constexpr uint32_t n = w * h;
    std::vector<uint8_t> rgb(3 * n);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = uint8_t(i * 37 + 11);
    }
    for (const bool planar : {true, false}) {
        SCOPED_TRACE(planar ? "planar" : "with alpha");
        std::vector<uint8_t> stored;
        for (uint32_t i = 0; i < (planar ? 3 * n : n); ++i) {
            if (planar) { // all red samples, then green, then blue
                stored.push_back(rgb[3 * (i % n) + i / n]);
            } else {
                stored.insert(stored.end(), {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 255});
            }
        }
        const uint32_t plane = planar ? n : 4 * n;
        ovintest::tiffbuilder b;
        const uint32_t data = b.append(stored);
        b.longs(256, {w}).longs(257, {h}).shorts(259, {1}).shorts(262, {2});
        if (planar) {
            b.shorts(258, {8, 8, 8}).longs(273, {data, data + plane, data + 2 * plane});
            b.shorts(277, {3}).longs(278, {h}).longs(279, {plane, plane, plane});
            b.shorts(284, {2});
        } else {
            b.shorts(258, {8, 8, 8, 8}).longs(273, {data}).shorts(277, {4}).longs(278, {h});
            b.longs(279, {plane}).shorts(338, {2});
        }
        b.endifd();
        b.save(dir.path("rgb.tif"));
        Handle image(ImgOpenSolo(dir.path("rgb.tif").c_str(), "TIF"));
        ASSERT_TRUE(image);
        EXPECT_EQ(ImgGetInfo(image.get(), nullptr)->bitsperpixel, planar ? 24 : 32);
        Handle options(ImgXOptBlkCreate("COMPRESS = OFF"));
        const std::string out = dir.path(planar ? "planar.tif" : "alpha.tif");
        ASSERT_EQ(ImgXWriteDIB(out.c_str(), "TIF", image.get(), options.get(), 0, 0), 1);
        EXPECT_EQ(ovintest::decodetiff(out, 1), rgb);
        EXPECT_EQ(imgtest::pixelsOf(image.get()).px, rgb);
    }
}

// A page too large for libjpeg's one-pass optimised coding is coded in two
// passes; forcing either way on the same pages must give the same bytes.
TEST(Conversion, TwoPassOptimisedJpegHasLibjpegsOwnBytes) {
    using namespace ovin::imaging;
    ovintest::tiffscratch dir;
    auto smooth = ovintest::rgbpage(201, 149);
    smooth.pixels = ovintest::jpegpattern(201, 149, 3);
    const std::vector<std::tuple<const char*, ovintest::tiffpage, int>> cases = {
        {"grey", ovintest::greypage(257, 190, 32773, 11), 75},
        {"bilevel", ovintest::bilevelpage(301, 211, 4, 5), 75},
        {"colour", smooth, 75},
        {"colour noise, finest", ovintest::rgbpage(97, 61, 3), 100},
        {"palette, coarse", ovintest::palettepage(111, 67), 20},
        {"tiny", ovintest::greypage(3, 2), 90},
    };
    for (const auto& [name, page, quality] : cases) {
        SCOPED_TRACE(name);
        const std::string source = dir.path("page.tif");
        ovintest::writetiff(source, {page});
        const auto options = OptionBlock::parse("JPEG_OPTIMIZE_CODING = ON\rLOSSY_QUALITY = " +
                                                std::to_string(quality));
        std::vector<std::vector<uint8_t>> files;
        for (const size_t budget : {SIZE_MAX, size_t{0}}) {
            const auto image = openImageFile(source.c_str());
            ASSERT_TRUE(image);
            const auto rows = image->rows();
            ASSERT_TRUE(rows);
            const auto settings = jpegSettings(rows->format(), options);
            ASSERT_TRUE(settings);
            const std::string out = dir.path("out.jpg");
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ASSERT_GE(fd, 0);
            EXPECT_TRUE(encodeJpeg(*rows, *settings, fd, budget));
            ::close(fd);
            files.push_back(ovintest::tifffilebytes(out));
        }
        EXPECT_GT(files[0].size(), 100u);
        EXPECT_TRUE(files[0] == files[1]);
    }
}

// Runs op in a child process, its address space limited to what it holds
// at the start plus `room` bytes (no limit for 0). The child's exit status,
// or -1 when it did not exit (an abort, a signal).
int statusInChild(const std::function<int()>& op, size_t room) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (room > 0) {
            unsigned long pages = 0;
            if (FILE* f = std::fopen("/proc/self/statm", "r")) {
                pages = std::fscanf(f, "%lu", &pages) == 1 ? pages : 0;
                std::fclose(f);
            }
            const rlimit limit{pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + room,
                               RLIM_INFINITY};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        ::_exit(op() & 0xFF);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Conversion, RunningOutOfMemoryIsAFailureResult) {
    ovintest::tiffscratch dir;
    // A grey page of 16 MB in one PackBits strip (zero bytes: literal runs
    // of one zero) that the file system keeps sparse: nothing that large is
    // allocated, and freed for reuse, in this process.
    const std::string source = dir.path("large.tif");
    constexpr uint32_t kSide = 4096;
    constexpr uint32_t kData = 1 << 20;
    ovintest::tiffbuilder b;
    b.longs(256, {kSide}).longs(257, {kSide}).shorts(258, {8}).shorts(259, {32773});
    b.shorts(262, {1}).longs(273, {kData}).shorts(277, {1}).longs(278, {kSide});
    b.longs(279, {2 * kSide * kSide});
    b.endifd();
    b.save(source);
    std::filesystem::resize_file(source, kData + 2 * kSide * kSide);
    Handle image(ImgOpenSolo(source.c_str(), "TIF"));
    const ImgHandle dib = ImgGetDIB(image.get(), 0, 0);
    Handle tiff(ImgXOptBlkCreate("COMPRESS = OFF"));
    Handle jpeg(ImgXOptBlkCreate("JPEG_OPTIMIZE_CODING = ON"));
    const std::string out = dir.path("out");
    const std::vector<std::pair<const char*, std::function<int()>>> operations = {
        {"preview", [&] { return ImgCopy(image.get(), 64, 64, 0, 16) != 0 ? 1 : 0; }},
        {"TIFF", [&] { return ImgXWriteDIB(out.c_str(), "TIF", dib, tiff.get(), 0, 0); }},
        {"JPEG", [&] { return ImgXWriteDIB(out.c_str(), "JPG", dib, jpeg.get(), 0, 0); }},
    };
    for (const auto& [what, op] : operations) {
        // Whichever allocation fails first, the operation ends with a result.
        for (const size_t mb : {4, 12, 20, 28, 36}) {
            const int status = statusInChild(op, mb << 20);
            EXPECT_TRUE(status == 0 || status == 1) << what << " in " << mb << " MB: " << status;
            EXPECT_TRUE(status == 1 || !std::filesystem::exists(out)) << what;
            EXPECT_TRUE(mb > 4 || status == 0) << what;
            std::filesystem::remove(out);
        }
        EXPECT_EQ(statusInChild(op, 0), 1) << what; // what the limits stopped works without them
        std::filesystem::remove(out);
    }
}

} // namespace
