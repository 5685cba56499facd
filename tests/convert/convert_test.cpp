// Re-encoding of pages stored in several strips: the record it leaves, its
// failures, and that it releases the image and the temporary file on every
// path. This program links with unlink wrapped so that a test can make the
// deletion of the temporary file fail, and defines its own lstat so that a
// test can have a file appear right after the library looked.
#include "library.h"
#include "pdftools.h"
#include "prepare.h"
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
    ovin::librarystate state;
    ovintest::fakeui ui;

    void SetUp() override { state.tempimgpath = dir.file("OVINPDF.TMP"); }
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

    int32_t probeandconvert(const std::string& file, uint16_t page, ovin::imgdata& record) {
        int32_t r = ovin::probeimage(state, ui, file, 1, record);
        EXPECT_EQ(r, 0) << state.errorarg;
        EXPECT_FALSE(record.passthrough);
        return ovin::convertimage(state, ui, file, page, record);
    }
};

TEST_F(convertfixture, RecordTakesTheNewDataAndKeepsTheSourceFields) {
    ovintest::tiffpage g3 = ovintest::bilevelpage(100, 40, 3, 2);
    g3.photometric = 1;
    g3.xres = 300;
    g3.yres = 150;
    std::string file = stripfile("g3.tif", g3);
    ovin::imgdata record;
    ASSERT_EQ(probeandconvert(file, 1, record), 0) << state.errorarg;
    EXPECT_EQ(record.compression, 3);
    EXPECT_EQ(record.width, 100);
    EXPECT_EQ(record.height, 40);
    EXPECT_EQ(record.xdpi, 300);
    EXPECT_EQ(record.ydpi, 150);
    EXPECT_EQ(record.photometric, 1);
    EXPECT_EQ(record.ext, ".TIF");
    EXPECT_EQ(record.datalen, record.data.size());
    EXPECT_FALSE(std::filesystem::exists(state.tempimgpath));

    // The new data is one strip of Group 3 that decodes to the source.
    ovintest::tiffpage wrapped = g3;
    ovintest::writerawtiff(dir.file("check.tif"), wrapped, record.data);
    EXPECT_EQ(ovintest::decodetiff(dir.file("check.tif"), 1), g3.pixels);

    ovintest::tiffpage packed = ovintest::bilevelpage(64, 40, 32773, 3);
    ovin::imgdata bilevel;
    ASSERT_EQ(probeandconvert(stripfile("pb1.tif", packed), 1, bilevel), 0);
    EXPECT_EQ(bilevel.compression, 4);
    EXPECT_EQ(bilevel.bits, 1);

    ovintest::tiffpage grey = ovintest::greypage(64, 40, 32773, 4);
    grey.photometric = 1;
    ovin::imgdata jpeg;
    ASSERT_EQ(probeandconvert(stripfile("pb8.tif", grey), 1, jpeg), 0);
    EXPECT_EQ(jpeg.compression, 6);
    EXPECT_EQ(jpeg.bits, 8);
    EXPECT_EQ(jpeg.samples, 1);
    EXPECT_EQ(jpeg.ext, ".TIF");
    ASSERT_GE(jpeg.data.size(), 4U);
    EXPECT_EQ(jpeg.data[0], 0xFF);
    EXPECT_EQ(jpeg.data[1], 0xD8);
}

TEST_F(convertfixture, OnlyTheSourcePageIsWarnedAbout) {
    ovintest::tiffpage page = ovintest::bilevelpage(64, 40, 4, 8);
    page.xres = page.yres = 0;
    std::string file = stripfile("nores.tif", page);
    ovin::imgdata record;
    ASSERT_EQ(probeandconvert(file, 1, record), 0);
    EXPECT_EQ(
        state.warnings,
        (std::vector<std::string>{
            "WARNING : zero dpi (horizontal) found in file " + file + " (defaulting to 200 dpi)",
            "WARNING : zero dpi (vertical) found in file " + file + " (defaulting to 200 dpi)"}));
    EXPECT_EQ(record.xdpi, 200);
}

TEST_F(convertfixture, FailuresReleaseTheImage) {
    std::string file = stripfile("g4.tif", ovintest::bilevelpage(64, 40, 4, 5));
    ovin::imgdata record;
    ASSERT_EQ(ovin::probeimage(state, ui, file, 1, record), 0);
    const size_t before = openfiles();
    EXPECT_EQ(ovin::convertimage(state, ui, file, 5, record), -6);
    EXPECT_EQ(state.errorarg, "ImageMan cannot find page 5 in file " + file);
    EXPECT_EQ(openfiles(), before);

    ovin::imgdata fourbit = record;
    fourbit.compression = 32773;
    fourbit.bits = 4;
    EXPECT_EQ(ovin::convertimage(state, ui, file, 1, fourbit), -6);
    EXPECT_EQ(state.errorarg,
              "Unsupported bits per sample value of 4 for PACKBITS compression in image " + file);
    EXPECT_EQ(openfiles(), before);

    // JPEG inside TIFF has no re-encoding: nothing is written.
    ovin::imgdata oldjpeg = record;
    oldjpeg.compression = 6;
    EXPECT_EQ(ovin::convertimage(state, ui, file, 1, oldjpeg), -6);
    EXPECT_EQ(state.errorarg, "ImageMan cannot convert compression data in image " + file);
    EXPECT_FALSE(std::filesystem::exists(state.tempimgpath));
    EXPECT_EQ(openfiles(), before);

    std::string broken = dir.file("broken.tif");
    ovintest::writebytes(broken, "II*\0garbage");
    EXPECT_EQ(ovin::convertimage(state, ui, broken, 1, record), -6);
    EXPECT_EQ(state.errorarg, "ImageMan cannot open image " + broken);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(convertfixture, LeftoverTemporaryFileBlocksEveryConversion) {
    std::string file = stripfile("g4.tif", ovintest::bilevelpage(64, 40, 4, 6));
    ovintest::writebytes(state.tempimgpath, "someone else's");
    ovin::imgdata record;
    EXPECT_EQ(probeandconvert(file, 1, record), -11);
    EXPECT_EQ(state.errorarg, state.tempimgpath);
    EXPECT_EQ(ovintest::readbytes(state.tempimgpath), "someone else's");
    // A symbolic link in its place, even a dangling one, blocks it too and
    // is never written through.
    std::filesystem::remove(state.tempimgpath);
    std::filesystem::create_symlink(dir.file("target"), state.tempimgpath);
    EXPECT_EQ(probeandconvert(file, 1, record), -11);
    EXPECT_FALSE(std::filesystem::exists(dir.file("target")));
}

TEST_F(convertfixture, ATemporaryFileMadeMeanwhileIsNeitherReadNorRemoved) {
    std::string file = stripfile("g4.tif", ovintest::bilevelpage(64, 40, 4, 9));
    ovin::imgdata record;
    ASSERT_EQ(ovin::probeimage(state, ui, file, 1, record), 0);
    appearing = state.tempimgpath;
    EXPECT_EQ(ovin::convertimage(state, ui, file, 1, record), -11);
    EXPECT_EQ(state.errorarg, state.tempimgpath);
    EXPECT_EQ(ovintest::readbytes(state.tempimgpath), "someone else's");
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
        // Pages out of order, another file between: each record is the one
        // a conversion without the cache gives.
        for (const auto& [file, page] : std::vector<std::pair<std::string, uint16_t>>{
                 {book, 1}, {book, 2}, {book, 4}, {other, 1}, {book, 3}, {book, 2}}) {
            ovin::imgdata plain;
            ovin::imgdata cached;
            ASSERT_EQ(ovin::probeimage(state, ui, file, page, plain), 0);
            cached = plain;
            ASSERT_EQ(ovin::convertimage(state, ui, file, page, plain), 0) << state.errorarg;
            ASSERT_EQ(ovin::convertimage(state, ui, file, page, cached, &cache), 0);
            EXPECT_EQ(cached.data, plain.data) << file << " page " << page;
            EXPECT_EQ(cache.file, file);
            EXPECT_EQ(openfiles(), before + 1);
        }
    }
    EXPECT_EQ(openfiles(), before);
}

TEST_F(convertfixture, UndeletableTemporaryFileIsReported) {
    std::string file = stripfile("g4.tif", ovintest::bilevelpage(64, 40, 4, 7));
    failingunlink = state.tempimgpath;
    ovin::imgdata record;
    EXPECT_EQ(probeandconvert(file, 1, record), 0);
    EXPECT_EQ(ui.messages,
              (std::vector<std::string>{"Unable to delete file " + state.tempimgpath}));
    failingunlink.clear();
    std::filesystem::remove(state.tempimgpath);
}

} // namespace
