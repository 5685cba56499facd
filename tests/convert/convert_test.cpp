// Re-encoding of pages stored in several strips: the record it leaves, its
// failures, and that it releases the image and the temporary file on every
// path. This program links with unlink wrapped so that a test can make the
// deletion of the temporary file fail, and defines its own lstat so that a
// test can have a file appear right after the library looked.
#include "compression/reencode.h"
#include "core/library.h"
#include "core/prepare.h"
#include "pdftools.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {
std::string failingunlink; // unlink of this path fails with EBUSY
std::string appearing;     // made, by "someone else", right after lstat found it missing
} // namespace

extern "C" int lstat(const char* path, struct stat* st) noexcept {
    const int result = ::fstatat(AT_FDCWD, path, st, AT_SYMLINK_NOFOLLOW);
    if (result != 0 && !appearing.empty() && appearing == path) {
        ovintest::writebytes(appearing, "someone else's");
    }
    return result;
}

extern "C" int __real_unlink(const char* path);
extern "C" int __wrap_unlink(const char* path) {
    if (!failingunlink.empty() && failingunlink == path) {
        errno = EBUSY;
        return -1;
    }
    return __real_unlink(path);
}

namespace {

size_t openfiles() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

struct convertfixture : ::testing::Test {
    ovintest::tempdir dir;
    ovin::warninglist warnings;
    ovin::documentoptions options;
    ovintest::fakeui ui;
    std::string temp;

    void SetUp() override { temp = dir.file("OVINPDF.TMP"); }
    const std::unique_ptr<ovin::facepolicy> face = ovin::makeclassicface();
    void TearDown() override {
        failingunlink.clear();
        appearing.clear();
    }

    std::string stripfile(const std::string& name, ovintest::tiffpage page) {
        page.rowsperstrip = 8;
        std::string file = dir.file(name);
        ovintest::writetiff(file, {page});
        return file;
    }

    ovin::status probe(const std::string& file, ovin::imagedesc& image) {
        ovin::readcontext context{ui, warnings, options};
        return ovin::readimage(*face, context, ovin::imagekind::tiff, file, nullptr, 1,
                               ovin::imagedata::read, image);
    }
    ovin::status convert(const std::string& file, uint32_t page, ovin::imagedesc& image,
                         ovin::conversioncache* cache = nullptr) {
        return ovin::convertimage({ui, temp, 0, cache}, ovin::imagekind::tiff, file, page, image);
    }
    ovin::status probeandconvert(const std::string& file, uint32_t page, ovin::imagedesc& image) {
        ovin::status probed = probe(file, image);
        EXPECT_TRUE(probed.ok()) << probed.detail();
        EXPECT_FALSE(image.passthrough);
        return convert(file, page, image);
    }
};

// A re-encoding that asks the imaging library for nothing it can write.
struct unwritable final : ovin::reencoding {
    std::string options() const override { return {}; }
    std::string format() const override { return {}; }
    std::string refusal() const override { return {}; }
    ovin::status adopt(const std::string&, ovin::imagedesc&) const override { return {}; }
};

TEST_F(convertfixture, ThePageTakesTheNewDataAndKeepsItsSizeAndColours) {
    ovintest::tiffpage g3 = ovintest::bilevelpage(100, 40, 3, 2);
    g3.photometric = 1;
    g3.xres = 300;
    g3.yres = 150;
    std::string file = stripfile("g3.tif", g3);
    ovin::imagedesc image;
    ovin::status converted = probeandconvert(file, 1, image);
    ASSERT_TRUE(converted.ok()) << converted.detail();
    EXPECT_EQ(image.filter, ovin::pdffilter::ccittfax);
    EXPECT_GE(image.ccitt.k, 0); // Group 3 again
    EXPECT_TRUE(image.ccitt.blackis1);
    EXPECT_EQ(image.width, 100);
    EXPECT_EQ(image.height, 40);
    EXPECT_EQ(image.xdpi, 300);
    EXPECT_EQ(image.ydpi, 150);
    EXPECT_TRUE(image.passthrough);
    EXPECT_FALSE(std::filesystem::exists(temp));

    // The new data is one strip of Group 3 that decodes to the source.
    ovintest::tiffpage wrapped = g3;
    ovintest::writerawtiff(dir.file("check.tif"), wrapped, image.data);
    EXPECT_EQ(ovintest::decodetiff(dir.file("check.tif"), 1), g3.pixels);

    ovintest::tiffpage packed = ovintest::bilevelpage(64, 40, 32773, 3);
    ovin::imagedesc bilevel;
    ASSERT_TRUE(probeandconvert(stripfile("pb1.tif", packed), 1, bilevel).ok());
    EXPECT_EQ(bilevel.filter, ovin::pdffilter::ccittfax);
    EXPECT_EQ(bilevel.ccitt.k, -1);
    EXPECT_EQ(bilevel.bitspercomponent, 1);

    ovintest::tiffpage grey = ovintest::greypage(64, 40, 32773, 4);
    grey.photometric = 0; // white is zero: the JPEG keeps the stored values
    ovin::imagedesc jpeg;
    ASSERT_TRUE(probeandconvert(stripfile("pb8.tif", grey), 1, jpeg).ok());
    EXPECT_EQ(jpeg.filter, ovin::pdffilter::dct);
    EXPECT_EQ(jpeg.bitspercomponent, 8);
    EXPECT_EQ(jpeg.colour, ovin::colourspace::gray);
    EXPECT_TRUE(jpeg.decodeinverted);
    ASSERT_GE(jpeg.data.size(), 4U);
    EXPECT_EQ(jpeg.data[0], 0xFF);
    EXPECT_EQ(jpeg.data[1], 0xD8);
}

TEST_F(convertfixture, OnlyTheSourcePageIsWarnedAbout) {
    ovintest::tiffpage page = ovintest::bilevelpage(64, 40, 4, 8);
    page.xres = page.yres = 0;
    std::string file = stripfile("nores.tif", page);
    ovin::imagedesc image;
    ASSERT_TRUE(probeandconvert(file, 1, image).ok());
    EXPECT_EQ(
        warnings.lines(),
        (std::vector<std::string>{
            "WARNING : zero dpi (horizontal) found in file " + file + " (defaulting to 200 dpi)",
            "WARNING : zero dpi (vertical) found in file " + file + " (defaulting to 200 dpi)"}));
    EXPECT_EQ(image.xdpi, 200);
}

TEST_F(convertfixture, FailuresReleaseTheImage) {
    std::string file = stripfile("g4.tif", ovintest::bilevelpage(64, 40, 4, 5));
    ovin::imagedesc image;
    ASSERT_TRUE(probe(file, image).ok());
    const size_t before = openfiles();
    ovin::status failed = convert(file, 5, image);
    EXPECT_EQ(failed.code(), OVINPDF_IMAGE_ERROR);
    EXPECT_EQ(failed.detail(), "ImageMan cannot find page 5 in file " + file);
    EXPECT_EQ(openfiles(), before);

    ovintest::tiffpage fourbit = ovintest::greypage(64, 40, 32773, 6);
    fourbit.bits = 4;
    fourbit.photometric = 1;
    ovintest::fillpattern(fourbit, 6);
    const std::string fourbitfile = stripfile("pb4.tif", fourbit);
    ovin::imagedesc refused;
    failed = probeandconvert(fourbitfile, 1, refused);
    EXPECT_EQ(failed.code(), OVINPDF_IMAGE_ERROR);
    EXPECT_EQ(failed.detail(),
              "Unsupported bits per sample value of 4 for PACKBITS compression in image " +
                  fourbitfile);
    EXPECT_EQ(openfiles(), before);

    // Nothing the imaging library can write: nothing is written.
    ovin::imagedesc nothing = image;
    nothing.reencode = std::make_shared<unwritable>();
    failed = convert(file, 1, nothing);
    EXPECT_EQ(failed.code(), OVINPDF_IMAGE_ERROR);
    EXPECT_EQ(failed.detail(), "ImageMan cannot convert compression data in image " + file);
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_EQ(openfiles(), before);

    std::string broken = dir.file("broken.tif");
    ovintest::writebytes(broken, "II*\0garbage");
    failed = convert(broken, 1, image);
    EXPECT_EQ(failed.code(), OVINPDF_IMAGE_ERROR);
    EXPECT_EQ(failed.detail(), "ImageMan cannot open image " + broken);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(convertfixture, LeftoverTemporaryFileBlocksEveryConversion) {
    std::string file = stripfile("g4.tif", ovintest::bilevelpage(64, 40, 4, 6));
    ovintest::writebytes(temp, "someone else's");
    ovin::imagedesc image;
    ovin::status blocked = probeandconvert(file, 1, image);
    EXPECT_EQ(blocked.code(), OVINPDF_TEMP_EXISTS);
    EXPECT_EQ(blocked.detail(), temp);
    EXPECT_EQ(ovintest::readbytes(temp), "someone else's");
    // A symbolic link in its place, even a dangling one, blocks it too and
    // is never written through.
    std::filesystem::remove(temp);
    std::filesystem::create_symlink(dir.file("target"), temp);
    EXPECT_EQ(probeandconvert(file, 1, image).code(), OVINPDF_TEMP_EXISTS);
    EXPECT_FALSE(std::filesystem::exists(dir.file("target")));
}

TEST_F(convertfixture, ATemporaryFileMadeMeanwhileIsNeitherReadNorRemoved) {
    std::string file = stripfile("g4.tif", ovintest::bilevelpage(64, 40, 4, 9));
    ovin::imagedesc image;
    ASSERT_TRUE(probe(file, image).ok());
    appearing = temp;
    const ovin::status blocked = convert(file, 1, image);
    EXPECT_EQ(blocked.code(), OVINPDF_TEMP_EXISTS);
    EXPECT_EQ(blocked.detail(), temp);
    EXPECT_EQ(ovintest::readbytes(temp), "someone else's");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(convertfixture, ACacheKeepsTheFileOpenFromPageToPage) {
    std::vector<ovintest::tiffpage> pages;
    for (uint32_t k = 0; k < 4; ++k) {
        pages.push_back(ovintest::bilevelpage(64 + k, 40, k % 2 ? 4 : 32773, k + 1));
        pages.back().rowsperstrip = 8;
    }
    const std::string book = dir.file("book.tif");
    ovintest::writetiff(book, pages);
    const std::string other = stripfile("other.tif", ovintest::greypage(30, 20, 32773));
    const size_t before = openfiles();
    {
        ovin::conversioncache cache;
        // Pages out of order, another file between: each page is the one a
        // conversion without the cache gives.
        for (const auto& [file, page] : std::vector<std::pair<std::string, uint32_t>>{
                 {book, 1}, {book, 2}, {book, 4}, {other, 1}, {book, 3}, {book, 2}}) {
            ovin::imagedesc plain;
            ovin::readcontext context{ui, warnings, options};
            ASSERT_TRUE(ovin::readimage(*face, context, ovin::imagekind::tiff, file, nullptr, page,
                                        ovin::imagedata::read, plain)
                            .ok());
            ovin::imagedesc cached = plain;
            ASSERT_TRUE(convert(file, page, plain).ok());
            ASSERT_TRUE(convert(file, page, cached, &cache).ok());
            EXPECT_EQ(cached.data, plain.data) << file << " page " << page;
            EXPECT_EQ(cache.file, file);
            EXPECT_EQ(openfiles(), before + 1);
        }
    }
    EXPECT_EQ(openfiles(), before);
}

TEST_F(convertfixture, UndeletableTemporaryFileIsReported) {
    std::string file = stripfile("g4.tif", ovintest::bilevelpage(64, 40, 4, 7));
    failingunlink = temp;
    ovin::imagedesc image;
    EXPECT_TRUE(probeandconvert(file, 1, image).ok());
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Unable to delete file " + temp}));
    failingunlink.clear();
    std::filesystem::remove(temp);
}

} // namespace
