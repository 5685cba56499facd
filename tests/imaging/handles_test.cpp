// Handles, option blocks, safe file creation and broken input.
#include "bmpfixtures.h"
#include "imagingtest.h"
#include "jpegfixtures.h"
#include "options.h"
#include "tifffixtures.h"

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using imgtest::Handle;
using ovin::imaging::OptionBlock;

namespace {

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") {
                names.push_back(n);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string folderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// --- Option blocks ---

TEST(OptionBlocks, ParseKeyValueLinesWhateverTheLineEnds) {
    const auto block = OptionBlock::parse(
        "COMPRESS = ON\rtiff_compress=group4\r\nOverWrite   =   off  \nLOSSY_QUALITY = 80\r"
        "no equals sign here\r = orphan value\rUNKNOWN_KEY = 1\rTIFF_ROWSPERSTRIP = 2x\r\r");
    EXPECT_EQ(block.flag("compress"), true);
    EXPECT_EQ(block.text("TIFF_COMPRESS"), "group4");
    EXPECT_EQ(block.flag("OVERWRITE"), false);
    EXPECT_EQ(block.number("LOSSY_QUALITY"), 80);
    EXPECT_EQ(block.number("TIFF_ROWSPERSTRIP"), std::nullopt); // not a number
    EXPECT_EQ(block.text("JPEG_OPTIMIZE_CODING"), std::nullopt);
    EXPECT_EQ(block.size(), 6u); // the five keys above and UNKNOWN_KEY

    EXPECT_EQ(OptionBlock::parse("").size(), 0u);
    EXPECT_EQ(OptionBlock::parse("A = 1\rA = 2").number("a"), 2);
    EXPECT_EQ(OptionBlock::parse("A = maybe").flag("A"), std::nullopt);
    EXPECT_EQ(OptionBlock::parse("A = 99999999999").number("A"), std::nullopt);
}

TEST(OptionBlocks, HandlesComeAndGo) {
    const ImgHandle empty = ImgXOptBlkCreate("");
    const ImgHandle none = ImgXOptBlkCreate(nullptr);
    EXPECT_NE(empty, 0u);
    EXPECT_NE(none, 0u);
    EXPECT_NE(empty, none);
    EXPECT_EQ(ImgXOptBlkDel(empty), 1);
    EXPECT_EQ(ImgXOptBlkDel(empty), 0);
    EXPECT_EQ(ImgXOptBlkDel(none), 1);
    EXPECT_EQ(ImgXOptBlkDel(0), 0);
}

// --- Handles ---

class HandleTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.path("scan.tif");
        ovintest::writetiff(path, {ovintest::bilevelpage(64, 48, 4), ovintest::greypage(8, 8)});
    }
    ovintest::tiffscratch dir;
    std::string path;
};

TEST_F(HandleTest, UnknownStaleAndWrongKindHandlesFailCleanly) {
    const ImgHandle image = ImgOpenSolo(path.c_str(), "TIF");
    ASSERT_NE(image, 0u);
    const ImgHandle options = ImgXOptBlkCreate("COMPRESS = OFF");
    const ImgHandle dib = ImgGetDIB(image, 0, 0);
    ASSERT_NE(dib, 0u);
    std::vector<uint32_t> px(16, 0);
    ImgSurface s{px.data(), 4, 4, 16};
    ImgRect r{0, 0, 4, 4};
    const std::string out = dir.path("out.tif");

    // An option block or a bitmap is not an image.
    for (ImgHandle wrong : {ImgHandle(0), ImgHandle(0xDEADBEEF), options, dib}) {
        EXPECT_EQ(ImgGetInfo(wrong, nullptr), nullptr);
        EXPECT_EQ(ImgCopy(wrong, 4, 4, 0, 16), 0u);
        EXPECT_EQ(ImgDrawImage(wrong, &s, &r, 0), 0);
        EXPECT_EQ(ImgSetPage(wrong, 0), 0);
        EXPECT_EQ(ImgGetDIB(wrong, 0, 0), 0u);
    }
    EXPECT_EQ(ImgXOptBlkDel(image), 0);
    EXPECT_EQ(ImgXWriteDIB(out.c_str(), "TIF", options, options, 0, 0), 0);
    EXPECT_EQ(ImgXWriteDIB(out.c_str(), "TIF", dib, 0xDEADBEEF, 0, 0), 0);
    EXPECT_NE(ImgGetInfo(image, nullptr), nullptr); // all of that left the image alone

    // Closing the image takes its bitmap with it; both handles go stale.
    EXPECT_EQ(ImgClose(image), 1);
    EXPECT_EQ(ImgClose(image), 0);
    EXPECT_EQ(ImgGetInfo(image, nullptr), nullptr);
    EXPECT_EQ(ImgXWriteDIB(out.c_str(), "TIF", dib, options, 0, 0), 0);
    EXPECT_EQ(access(out.c_str(), F_OK), -1);
    EXPECT_EQ(ImgClose(0), 0);
    EXPECT_EQ(ImgXOptBlkDel(options), 1);

    // A new handle does not take the number of the one just closed.
    const ImgHandle again = ImgOpenSolo(path.c_str(), "TIF");
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, image);
    EXPECT_EQ(ImgClose(again), 1);
}

TEST(Pages, AreFoundInAnyOrder) {
    ovintest::tiffscratch dir;
    std::vector<ovintest::tiffpage> pages;
    for (uint32_t k = 0; k < 30; ++k) {
        pages.push_back(ovintest::bilevelpage(8 + k, 4, 4, k + 1));
    }
    ovintest::writetiff(dir.path("book.tif"), pages);
    Handle image(ImgOpenSolo(dir.path("book.tif").c_str(), "TIF"));
    // Ahead past pages not seen yet, back, on one by one, past the end.
    for (int page : {12, 5, 13, 29, 0, 1, 2, 28, 27, 14, 15, 3}) {
        ASSERT_EQ(ImgSetPage(image.get(), page), 1) << page;
        EXPECT_EQ(ImgGetInfo(image.get(), nullptr)->width, 8 + page);
    }
    EXPECT_EQ(ImgSetPage(image.get(), 30), 0);
    EXPECT_EQ(imgtest::pixelsOf(image.get()).width, 11);
}

TEST_F(HandleTest, CopiesAreIndependentHandles) {
    Handle image(ImgOpenSolo(path.c_str(), "TIF"));
    const ImgHandle copy = ImgCopy(image.get(), 16, 12, 0, 16);
    ASSERT_NE(copy, 0u);
    EXPECT_EQ(ImgClose(image.get()), 1);
    const ImgInfo* info = ImgGetInfo(copy, nullptr);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, 16);
    EXPECT_EQ(info->pages, 1);
    Handle copyOfCopy(ImgCopy(copy, 4, 3, 0, 0));
    EXPECT_TRUE(copyOfCopy);
    EXPECT_EQ(ImgClose(copy), 1);
    ImgClose(copyOfCopy.get());
}

TEST_F(HandleTest, CopySizesOutsideTheLimitsAreRefused) {
    Handle image(ImgOpenSolo(path.c_str(), "TIF"));
    ASSERT_TRUE(image);
    for (auto [w, h] : {std::pair{0, 10},
                        {10, 0},
                        {-5, 10},
                        {10, -1},
                        {32769, 1},
                        {1, 40000},
                        {32768, 32768},
                        {INT32_MAX, INT32_MAX}}) {
        EXPECT_EQ(ImgCopy(image.get(), w, h, 0, 16), 0u) << w << "x" << h;
    }
    Handle thin(ImgCopy(image.get(), 32768, 1, 0, 16));
    EXPECT_TRUE(thin);
}

TEST_F(HandleTest, ShutdownReleasesEverythingAndWorkGoesOnWithoutInit) {
    EXPECT_EQ(ImgInit(), 1);
    const ImgHandle image = ImgOpenSolo(path.c_str(), "TIF");
    const ImgHandle options = ImgXOptBlkCreate("");
    ASSERT_NE(image, 0u);
    EXPECT_EQ(ImgShutdown(), 1);
    EXPECT_EQ(ImgGetInfo(image, nullptr), nullptr);
    EXPECT_EQ(ImgXOptBlkDel(options), 0);
    Handle reopened(ImgOpenSolo(path.c_str(), "TIF"));
    EXPECT_NE(ImgGetInfo(reopened.get(), nullptr), nullptr);
}

// --- Writing files safely ---

class SafeWrite : public HandleTest {
protected:
    void SetUp() override {
        HandleTest::SetUp();
        image = ImgOpenSolo(path.c_str(), "TIF");
        ASSERT_NE(image, 0u);
        dib = ImgGetDIB(image, 0, 0);
        ASSERT_NE(dib, 0u);
        target = dir.path("OVINPDF.TMP");
    }
    void TearDown() override { ImgClose(image); }

    int write(const char* text) {
        Handle options(ImgXOptBlkCreate(text));
        return ImgXWriteDIB(target.c_str(), "TIF", dib, options.get(), 0, 0);
    }

    ImgHandle image = 0;
    ImgHandle dib = 0;
    std::string target;
};

TEST_F(SafeWrite, WhateverHasTheNameIsLeftAloneWhateverOverwriteSays) {
    const std::string victim = dir.path("victim");
    ovintest::tiffsavebytes(victim, {'k', 'e', 'e', 'p'});
    const std::string nowhere = dir.path("created-through-link");
    const std::vector<std::pair<const char*, std::function<int()>>> occupants = {
        {"a file", [&] { return std::filesystem::copy_file(victim, target) ? 0 : -1; }},
        {"a link to a file", [&] { return symlink(victim.c_str(), target.c_str()); }},
        {"a link to nowhere", [&] { return symlink(nowhere.c_str(), target.c_str()); }},
        {"a folder", [&] { return mkdir(target.c_str(), 0700); }},
        {"a pipe", [&] { return mkfifo(target.c_str(), 0600); }},
    };
    for (const auto& [what, make] : occupants) {
        ASSERT_EQ(make(), 0) << what;
        for (const char* text : {"COMPRESS = OFF", "COMPRESS = OFF\rOVERWRITE = ON",
                                 "COMPRESS = OFF\rOVERWRITE = OFF"}) {
            EXPECT_EQ(write(text), kImgFileExists) << what << ": " << text;
        }
        if (std::filesystem::is_regular_file(std::filesystem::symlink_status(target))) {
            EXPECT_EQ(ovintest::tifffilebytes(target), ovintest::tifffilebytes(victim));
        }
        std::filesystem::remove(target);
    }
    EXPECT_EQ(ovintest::tifffilebytes(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(std::filesystem::exists(nowhere));

    // With the name free the page is written, readable by its owner only.
    EXPECT_EQ(write("COMPRESS = OFF\rOVERWRITE = ON"), 1);
    EXPECT_EQ(ovintest::decodetiff(target, 1), ovintest::bilevelpage(64, 48, 4).pixels);
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SafeWrite, AFailedWriteLeavesNoPartialFileAndKeepsTheOldOne) {
    // The file size limit makes every write past 512 bytes fail (EFBIG).
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 512;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    const int fresh = write("COMPRESS = OFF");
    ovintest::tiffsavebytes(dir.path("old"), {'o', 'l', 'd'});
    ASSERT_EQ(rename(dir.path("old").c_str(), target.c_str()), 0);
    const int replace = write("COMPRESS = OFF\rOVERWRITE = ON");

    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(fresh, 0);
    EXPECT_EQ(replace, kImgFileExists);
    EXPECT_EQ(ovintest::tifffilebytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(filesIn(folderOf(target)), (std::vector<std::string>{"OVINPDF.TMP", "scan.tif"}));
    // And a folder that does not exist gives a clean failure.
    EXPECT_EQ(ImgXWriteDIB(dir.path("no/such/file").c_str(), "TIF", dib, 0, 0, 0), 0);
}

// --- Broken and odd files ---

class BrokenFiles : public ::testing::Test {
protected:
    // Opens the bytes as a file and runs every preview operation on it; the
    // handle (0 or not) is returned after all of them ran without a crash.
    ImgHandle exercise(const std::vector<uint8_t>& bytes, const char* type) {
        const std::string path = dir.path("broken");
        ovintest::tiffsavebytes(path, bytes);
        const ImgHandle h = ImgOpenSolo(path.c_str(), type);
        if (h != 0) {
            ImgGetInfo(h, nullptr);
            Handle copy(ImgCopy(h, 7, 5, 0, 16));
            std::vector<uint32_t> px(8 * 8, 0);
            ImgSurface s{px.data(), 8, 8, 32};
            ImgRect r{0, 0, 8, 8};
            ImgDrawImage(h, &s, &r, 0);
            ImgSetPage(h, 1);
            ImgGetDIB(h, 0, 0);
            EXPECT_EQ(ImgClose(h), 1);
        }
        return h;
    }
    ovintest::tiffscratch dir;
};

TEST_F(BrokenFiles, AreRefusedWithoutACrashOrAWord) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(ImgOpenSolo(dir.path("missing.tif").c_str(), "TIF"), 0u);
    EXPECT_EQ(ImgOpenSolo(dir.path("").c_str(), "TIF"), 0u); // a folder
    EXPECT_EQ(ImgOpenSolo(nullptr, "TIF"), 0u);
    EXPECT_EQ(exercise({}, "TIF"), 0u);
    EXPECT_EQ(exercise({'G', 'I', 'F', '8', '9', 'a', 0, 0}, "TIF"), 0u);
    EXPECT_EQ(exercise({'I', 'I', 42, 0}, "TIF"), 0u);
    EXPECT_EQ(exercise({'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0}, "TIF"), 0u);
    EXPECT_EQ(exercise({'M', 'M', 0, 42, 0, 0, 0, 200}, "TIF"), 0u);

    // A Group 4 page cut off in the middle of its data.
    ovintest::tiffscratch scratch;
    ovintest::writetiff(scratch.path("g4.tif"), {ovintest::bilevelpage(300, 300, 4)});
    auto g4 = ovintest::tifffilebytes(scratch.path("g4.tif"));
    auto cut = g4;
    cut.resize(g4.size() / 3);
    exercise(cut, "TIF");
    // The same page with its strip bytes scrambled.
    auto scrambled = g4;
    for (size_t i = 8; i < scrambled.size() / 2; i += 3) {
        scrambled[i] = uint8_t(scrambled[i] * 31 + 7);
    }
    exercise(scrambled, "TIF");

    // JPEG: no image, cut short, garbage after a good header.
    EXPECT_EQ(exercise(ovintest::jpegbytes().soi().eoi().bytes(), "JPG"), 0u);
    EXPECT_EQ(exercise(ovintest::jpegbytes().soi().sof(0xC0, 8, 16, 16, 3).eoi().bytes(), "JPG"),
              0u);
    auto jpeg = ovintest::makejpeg(64, 64, ovintest::jpegpattern(64, 64, 3));
    auto jcut = jpeg;
    jcut.resize(jpeg.size() / 2);
    EXPECT_NE(exercise(jcut, "JPG"), 0u); // header complete: opens, decodes what is there
    jcut.resize(40);
    EXPECT_EQ(exercise(jcut, "JPG"), 0u);

    // BMP: headers that lie.
    ovintest::bmpoptions o;
    o.width = 20;
    o.height = 10;
    auto bmp = ovintest::makebmp(o);
    auto bcut = bmp;
    bcut.resize(bmp.size() - 30);
    EXPECT_EQ(exercise(bcut, "BMP"), 0u);
    for (auto [field, value] : {std::pair{ovintest::bmpfield::width, 0u},
                                {ovintest::bmpfield::width, 0x7FFFFFFFu},
                                {ovintest::bmpfield::height, 0x80000000u},
                                {ovintest::bmpfield::headersize, 7u},
                                {ovintest::bmpfield::offset, 0xFFFFFFF0u},
                                {ovintest::bmpfield::compression, 1u}}) {
        auto bad = bmp;
        ovintest::putle32(bad, field, value);
        EXPECT_EQ(exercise(bad, "BMP"), 0u) << field;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(BrokenFiles, HugeDeclaredPagesAreRefusedBeforeAllocating) {
    // A one-strip page that claims 200000 x 200000 pixels.
    ovintest::tiffbuilder b;
    const uint32_t data = b.append(std::vector<uint8_t>(64, 0));
    b.longs(256, {200000})
        .longs(257, {200000})
        .shorts(258, {8})
        .shorts(259, {1})
        .shorts(262, {1})
        .longs(273, {data})
        .shorts(277, {1})
        .longs(278, {200000})
        .longs(279, {64});
    b.endifd();
    b.save(dir.path("huge.tif"));
    // Its 64 bytes cannot hold the pixels: the file is not opened.
    EXPECT_FALSE(Handle(ImgOpenSolo(dir.path("huge.tif").c_str(), "TIF")));
}

TEST_F(BrokenFiles, TheSignatureDecidesNotTheName) {
    const std::string path = dir.path("photo.tif");
    const auto jpeg = ovintest::makejpeg(30, 20, ovintest::jpegpattern(30, 20, 1), [] {
        ovintest::jpegoptions o;
        o.components = 1;
        return o;
    }());
    ASSERT_TRUE(ovintest::savejpeg(path, jpeg));
    Handle image(ImgOpenSolo(path.c_str(), "TIF"));
    ASSERT_TRUE(image);
    EXPECT_EQ(ImgGetInfo(image.get(), nullptr)->bitsperpixel, 8);
    EXPECT_EQ(ImgGetInfo(image.get(), nullptr)->width, 30);
}

TEST_F(BrokenFiles, APageThatCannotBeReadKeepsTheCurrentOne) {
    // Page 2's directory is cut off: the chain names it, libtiff cannot read it.
    ovintest::tiffbuilder b;
    const uint32_t data = b.append(std::vector<uint8_t>(16, 0xFF));
    b.longs(256, {16})
        .longs(257, {8})
        .shorts(258, {1})
        .shorts(259, {1})
        .shorts(262, {0})
        .longs(273, {data})
        .longs(278, {8})
        .longs(279, {16});
    const uint32_t first = b.endifd();
    b.put32(b.nextfield(first), b.size() + 1000); // past the end
    b.save(dir.path("two.tif"));
    Handle image(ImgOpenSolo(dir.path("two.tif").c_str(), "TIF"));
    ASSERT_TRUE(image);
    EXPECT_EQ(ImgSetPage(image.get(), 1), 0);
    EXPECT_EQ(ImgGetInfo(image.get(), nullptr)->width, 16);
    EXPECT_EQ(imgtest::pixelsOf(image.get()).px[0], 0); // all set bits: black
}

} // namespace
