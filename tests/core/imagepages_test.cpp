// Image pages end to end through the library: what pdfaddimage accepts,
// warns about and refuses, and the objects the writer makes of each page.
#include "bmpfixtures.h"
#include "core/library.h"
#include "jpegfixtures.h"
#include "pdf/pdftext.h"
#include "pdftools.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ovintest::byteorder;
using ovintest::tiffbuilder;

// A one-strip bilevel page built by hand: any size, any tags.
std::string handtiff(const std::string& path, uint32_t width, uint32_t height, uint16_t compression,
                     int photometric, uint32_t xres = 200, uint32_t yres = 200,
                     byteorder order = byteorder::little) {
    tiffbuilder b(order);
    uint32_t data = b.append({0x00, 0x10, 0x01, 0xFF});
    b.longs(256, {width}).longs(257, {height}).shorts(258, {1}).shorts(259, {compression});
    if (photometric >= 0) {
        b.shorts(262, {static_cast<uint16_t>(photometric)});
    }
    b.longs(273, {data}).longs(278, {height}).longs(279, {4});
    if (xres > 0) {
        b.rational(282, xres, 1);
    }
    if (yres > 0) {
        b.rational(283, yres, 1);
    }
    b.endifd();
    b.save(path);
    return path;
}

struct imagefixture : ::testing::Test {
    ovintest::tempdir dir;
    ovin::Library lib;
    void SetUp() override { lib.pdfinit(0, dir.file("OVINPDF.TMP")); }

    std::vector<std::string> warnings() const {
        std::vector<std::string> w;
        lib.getwarnings([&](const std::string& line) { w.push_back(line); });
        return w;
    }

    ovintest::pdffile save(int32_t expect = 0) {
        std::string path = dir.file("out.pdf");
        int32_t r = lib.pdfsave(path);
        EXPECT_EQ(r, expect) << lib.geterror(r);
        if (expect != 0) {
            EXPECT_FALSE(std::filesystem::exists(path));
            return {};
        }
        std::string check;
        EXPECT_TRUE(ovintest::qpdfcheck(path, &check)) << check;
        ovintest::pdffile pdf = ovintest::parsepdf(path);
        EXPECT_EQ(pdf.error, "");
        return pdf;
    }
};

TEST_F(imagefixture, Group4DecodeParmsFollowThePhotometricTag) {
    lib.pdfaddimage(handtiff(dir.file("a.tif"), 2480, 3508, 4, -1, 300, 300));
    lib.pdfaddimage(handtiff(dir.file("b.tif"), 2480, 3508, 4, 1, 300, 300));
    lib.pdfaddimage(handtiff(dir.file("c.tif"), 2480, 3508, 2, -1, 300, 300));
    ovintest::pdffile pdf = save();
    const std::string& a = pdf.object(1);
    EXPECT_NE(a.find("/BitsPerComponent 1\r\n/ColorSpace /DeviceGray\r\n/Filter /CCITTFaxDecode\r\n"
                     "/DecodeParms << /K -1 /Columns 2480 /Rows 3508 /BlackIs1 false >>\r\n"),
              std::string::npos)
        << a;
    EXPECT_NE(pdf.object(5).find("/K -1 /Columns 2480 /Rows 3508 /BlackIs1 true >>"),
              std::string::npos);
    // Modified Huffman rows start on byte boundaries, and the black runs
    // are 1 bits as in Group 3 and 4.
    EXPECT_NE(pdf.object(9).find("/K 0 /Columns 2480 /Rows 3508 /BlackIs1 false "
                                 "/EncodedByteAlign true >>"),
              std::string::npos);
    EXPECT_NE(pdf.object(2).find("<< /ProcSet [ /PDF /ImageB ]\r\n"), std::string::npos);
    // Each page names only its own image.
    EXPECT_NE(pdf.object(6).find("/XObject << /KTR6 5 0 R >> >>"), std::string::npos);
    EXPECT_NE(pdf.object(10).find("/XObject << /KTR10 9 0 R >> >>"), std::string::npos);
    EXPECT_NE(pdf.object(4).find("/MediaBox [0 0 595 842 ]"), std::string::npos);
    EXPECT_NE(pdf.object(4).find("<</Type /Page /Parent 14 0 R\r\n"), std::string::npos);
    EXPECT_NE(pdf.object(4).find("/Resources 2 0 R /Contents 3 0 R\r\n"), std::string::npos);
    // The strip is embedded as stored, directly followed by endstream.
    EXPECT_NE(a.find("/Length 4\r\n>>\r\nstream\r\n" + std::string("\x00\x10\x01\xFF", 4) +
                     "endstream\r\n"),
              std::string::npos);
    // The content stream decodes to the one painting line, and its length
    // counts the final LF.
    std::string content = ovintest::runcommand("qpdf --show-object=3 --filtered-stream-data '" +
                                               dir.file("out.pdf") + "'")
                              .output;
    EXPECT_EQ(content, "q 595.2 0 0 841.92 0 0 cm /KTR2 Do Q");
    const std::string& c = pdf.object(3);
    size_t start = c.find("stream\r\n") + 8;
    size_t end = c.find("endstream");
    EXPECT_EQ(c[end - 1], '\n');
    EXPECT_NE(c.find("<</Filter /FlateDecode /Length " + std::to_string(end - start) + " >>"),
              std::string::npos);
}

TEST_F(imagefixture, PageSizeFromResolution) {
    lib.pdfaddimage(handtiff(dir.file("letter.tif"), 1700, 2200, 4, 0));
    lib.pdfaddtext("A text page takes the size of the first image and wraps at 115 characters.");
    ovintest::pdffile pdf = save();
    EXPECT_NE(pdf.object(4).find("/MediaBox [0 0 612 792 ]"), std::string::npos);
    EXPECT_NE(pdf.object(8).find("/MediaBox [0 0 612 792 ]"), std::string::npos);
    EXPECT_NE(pdf.object(5).find("31 713 Td"), std::string::npos);
    std::string content = ovintest::runcommand("qpdf --show-object=3 --filtered-stream-data '" +
                                               dir.file("out.pdf") + "'")
                              .output;
    EXPECT_EQ(content, "q 612 0 0 792 0 0 cm /KTR2 Do Q");
}

TEST_F(imagefixture, ResolutionWarningsAndDefaults) {
    std::string zero = handtiff(dir.file("zero.tif"), 100, 100, 4, 0, 0, 300);
    ASSERT_EQ(lib.pdfaddimage(zero), 0);
    EXPECT_EQ(warnings(),
              (std::vector<std::string>{"WARNING : zero dpi (horizontal) found in file " + zero +
                                        " (defaulting to 200 dpi)"}));
    ovintest::bmpoptions o;
    o.width = 30;
    o.height = 20;
    o.xppm = o.yppm = 5906; // 150 dpi
    o.pixels.assign(1800, 128);
    std::string low = dir.file("low.bmp");
    ovintest::savebmp(low, ovintest::makebmp(o));
    ASSERT_EQ(lib.pdfaddimage(low), 0);
    std::vector<std::string> w = warnings();
    ASSERT_EQ(w.size(), 3U);
    EXPECT_EQ(w[1], "WARNING : 150 dpi (horizontal) found in file " + low);
    EXPECT_EQ(w[2], "WARNING : 150 dpi (vertical) found in file " + low);
    // Saving probes every page again: the same lines are not repeated.
    save();
    EXPECT_EQ(warnings().size(), 3U);
}

TEST_F(imagefixture, DefaultResolutionComesFromTheFirstGoodImage) {
    std::string first = handtiff(dir.file("first.tif"), 100, 100, 4, 0, 300, 400);
    std::string zero = handtiff(dir.file("zero.tif"), 100, 100, 4, 0, 0, 0);
    ASSERT_EQ(lib.pdfaddimage(first), 0);
    ASSERT_EQ(lib.pdfaddimage(zero), 0);
    save();
    std::vector<std::string> w = warnings();
    EXPECT_NE(std::find(w.begin(), w.end(),
                        "WARNING : zero dpi (vertical) found in file " + zero +
                            " (defaulting to 400 dpi)"),
              w.end());
    EXPECT_NE(std::find(w.begin(), w.end(),
                        "WARNING : zero dpi (vertical) found in file " + zero +
                            " (defaulting to 200 dpi)"),
              w.end());
}

TEST_F(imagefixture, PagesUpTo200InchesAreAccepted) {
    EXPECT_EQ(lib.pdfaddimage(handtiff(dir.file("w40000.tif"), 40000, 10, 4, 0)), 0);
    EXPECT_EQ(lib.pdfaddimage(handtiff(dir.file("w40001.tif"), 40001, 10, 4, 0)), 0);
    std::string wide = handtiff(dir.file("w40002.tif"), 40002, 10, 4, 0);
    EXPECT_EQ(lib.pdfaddimage(wide), -6);
    EXPECT_EQ(lib.geterror(-6), "ERROR : Image Error (Image width too big - file " + wide + ")");
    std::string both = handtiff(dir.file("both.tif"), 50000, 50000, 4, 0);
    EXPECT_EQ(lib.pdfaddimage(both), -6);
    EXPECT_EQ(lib.state().errorarg, "Image width too big - file " + both);
    std::string tall = handtiff(dir.file("tall.tif"), 10, 40002, 4, 0);
    EXPECT_EQ(lib.pdfaddimage(tall), -6);
    EXPECT_EQ(lib.state().errorarg, "Image height too big - file " + tall);
    // Widths beyond 16 bits are not cut: 70000 pixels at 400 dpi fit.
    EXPECT_EQ(lib.pdfaddimage(handtiff(dir.file("w70000.tif"), 70000, 20, 4, 0, 400, 400)), 0);
}

TEST_F(imagefixture, MultiPageTiffAddsEveryPage) {
    std::vector<ovintest::tiffpage> pages;
    for (uint32_t k = 1; k <= 3; ++k) {
        pages.push_back(ovintest::bilevelpage(64, 32, 4, k));
    }
    std::string file = dir.file("three.tif");
    ovintest::writetiff(file, pages);
    ASSERT_EQ(lib.pdfaddimage(file), 0);
    ASSERT_EQ(lib.state().pages.size(), 3U);
    EXPECT_EQ(lib.state().pages[2].pagenumber, 3);
    ASSERT_EQ(lib.pdfaddindex(file, "Last"), 0);
    EXPECT_EQ(lib.state().outline.nodes[0].pageindex, 2);
    EXPECT_EQ(lib.pdfaddimage(file), -10);
    ovintest::pdffile pdf = save();
    // Each page carries its own page's strip.
    for (int k = 0; k < 3; ++k) {
        std::vector<uint8_t> raw = ovintest::tiffrawdata(file, static_cast<uint16_t>(k + 1));
        EXPECT_NE(pdf.object(4 * k + 1).find(std::string(raw.begin(), raw.end())),
                  std::string::npos);
    }
}

TEST_F(imagefixture, JpegAndBitmapDictionaries) {
    ovintest::jpegoptions grey;
    grey.components = 1;
    std::string g = dir.file("grey.jpg");
    std::vector<uint8_t> greybytes =
        ovintest::makejpeg(16, 16, ovintest::jpegpattern(16, 16, 1), grey);
    ovintest::savejpeg(g, greybytes);
    ASSERT_EQ(lib.pdfaddimage(g), 0);
    ovintest::bmpoptions o;
    o.width = 15;
    o.height = 9;
    o.pixels.assign(405, 200);
    std::string b = dir.file("rgb.bmp");
    ovintest::savebmp(b, ovintest::makebmp(o));
    ASSERT_EQ(lib.pdfaddimage(b), 0);
    ovintest::pdffile pdf = save();
    EXPECT_NE(pdf.object(1).find("/BitsPerComponent 8\r\n/ColorSpace /DeviceGray\r\n"
                                 "/Filter /DCTDecode\r\n/Length " +
                                 std::to_string(greybytes.size()) + "\r\n"),
              std::string::npos);
    // The whole JPEG file is the stream.
    EXPECT_NE(pdf.object(1).find(std::string(greybytes.begin(), greybytes.end()) + "endstream"),
              std::string::npos);
    EXPECT_NE(pdf.object(2).find("/ImageC ]"), std::string::npos);
    EXPECT_NE(
        pdf.object(5).find("/BitsPerComponent 8\r\n/ColorSpace /DeviceRGB\r\n/Length 405\r\n"),
        std::string::npos);
    EXPECT_EQ(pdf.object(5).find("/Filter"), std::string::npos);
}

TEST_F(imagefixture, UnsupportedCompressionBecomesAnErrorPage) {
    std::string lzw = handtiff(dir.file("seven.tif"), 10, 10, 7, 0);
    // The probe refuses compression 7 when the file is added...
    EXPECT_EQ(lib.pdfaddimage(lzw), -6);
    EXPECT_EQ(lib.state().errorarg, "Error - TIFF Compression 7 found in " + lzw);
    // ...and a file that breaks after it was added gives an error page: the
    // document is finished, then removed, and the message is kept escaped.
    std::string changing = handtiff(dir.file("later (1).tif"), 10, 10, 4, 0);
    ASSERT_EQ(lib.pdfaddimage(changing), 0);
    lib.pdfaddtext("after");
    handtiff(changing, 10, 10, 7, 0);
    auto owned = std::make_unique<ovintest::fakeui>();
    ovintest::fakeui* ui = owned.get();
    lib.setui(std::move(owned));
    save(-6);
    EXPECT_EQ(lib.state().errorarg,
              "Error - TIFF Compression 7 found in " + ovin::pdfescape(changing));
    EXPECT_EQ(ui->steps, 2); // the loop went on to the text page
    EXPECT_TRUE(ui->messages.empty());
}

TEST_F(imagefixture, SamplesThatCannotBeShownRightAreRefused) {
    // Four samples of RGB with alpha are not CMYK: the page is refused
    // rather than drawn in wrong colours.
    tiffbuilder b;
    uint32_t data = b.append(std::vector<uint8_t>(16 * 16 * 4, 0x80));
    b.shorts(256, {16}).shorts(257, {16}).shorts(258, {8, 8, 8, 8}).shorts(259, {1});
    b.shorts(262, {2}).longs(273, {data}).shorts(277, {4}).longs(278, {16}).longs(279, {1024});
    b.rational(282, 300, 1).rational(283, 300, 1);
    b.endifd();
    std::string rgba = dir.file("rgba.tif");
    b.save(rgba);
    ASSERT_EQ(lib.pdfaddimage(rgba), 0);
    save(-6);
    EXPECT_EQ(lib.state().errorarg,
              "Unsupported samples per pixel value 4 with photometric interpretation 2 in file " +
                  rgba);
}

TEST_F(imagefixture, TruncatedFilesGiveClearCodes) {
    ovintest::jpegoptions o;
    std::vector<uint8_t> bytes = ovintest::makejpeg(16, 16, ovintest::jpegpattern(16, 16, 3), o);
    bytes.resize(bytes.size() / 3);
    std::string j = dir.file("cut.jpg");
    ovintest::savejpeg(j, bytes);
    int32_t r = lib.pdfaddimage(j);
    // The probe's read came up short, or the file ends before its scan:
    // either way no broken page is accepted.
    if (r == OVINPDF_IO_ERROR) {
        EXPECT_EQ(lib.state().errorarg, "100");
    } else {
        EXPECT_EQ(r, OVINPDF_IMAGE_ERROR);
        EXPECT_EQ(lib.state().errorarg, "No image data (no start of scan) in " + j);
    }
    std::vector<uint8_t> tiny = {'I', 'I', 42, 0};
    std::string t = dir.file("cut.tif");
    ovintest::tiffsavebytes(t, tiny);
    EXPECT_NE(lib.pdfaddimage(t), 0);
    EXPECT_TRUE(lib.state().pages.empty() || lib.state().pages.size() == 1U);
}

TEST_F(imagefixture, LeftoverTemporaryFileBlocksConversion) {
    ovintest::tiffpage page = ovintest::bilevelpage(64, 64, 4, 3);
    page.rowsperstrip = 16;
    std::string file = dir.file("strips.tif");
    ovintest::writetiff(file, {page});
    ASSERT_EQ(lib.pdfaddimage(file), 0);
    ovintest::writebytes(dir.file("OVINPDF.TMP"), "left over");
    save(-6);
    EXPECT_EQ(lib.state().errorarg, ovin::pdfescape(dir.file("OVINPDF.TMP")));
    EXPECT_EQ(ovintest::readbytes(dir.file("OVINPDF.TMP")), "left over");
}

} // namespace

namespace {

// A target that is one of the document's own images would destroy it: the
// save refuses such a target whatever its spelling, and leaves it as it was.
TEST_F(imagefixture, TheOutputIsNeverOneOfTheInputs) {
    const std::string scan = handtiff(dir.file("scan.tif"), 8, 8, 4, -1);
    ASSERT_EQ(lib.pdfaddimage(scan), 0);
    const std::string before = ovintest::readbytes(scan);
    std::filesystem::create_hard_link(scan, dir.file("hard.tif"));
    std::filesystem::create_symlink(scan, dir.file("soft.pdf"));
    const std::string dotted = (dir.path() / "." / "scan.tif").string();
    for (const std::string& target : {scan, dotted, dir.file("hard.tif"), dir.file("soft.pdf")}) {
        EXPECT_EQ(lib.pdfsave(target), OVINPDF_INVALID_NAME) << target;
        EXPECT_EQ(lib.state().errorarg, target);
        EXPECT_EQ(ovintest::readbytes(scan), before);
    }
    EXPECT_EQ(lib.pdfsave(dir.file("out.pdf")), 0);
}

// A TIFF's page count is bounded by what the file holds, not by a counter
// width; a page whose strips hold nothing is refused, not written empty.
TEST_F(imagefixture, EveryPageOfALongTiffAndNoEmptyPage) {
    constexpr uint32_t kPages = 100'000;
    tiffbuilder b;
    const uint32_t data = b.append({0x00, 0x10, 0x01, 0xFF});
    for (uint32_t i = 0; i < kPages; ++i) {
        b.longs(256, {8}).longs(257, {8}).shorts(258, {1}).shorts(259, {4});
        b.longs(273, {data}).longs(279, {4});
        b.endifd();
    }
    const std::string many = dir.file("many.tif");
    b.save(many);
    ASSERT_EQ(lib.pdfaddimage(many), 0) << lib.geterror(-6);
    ASSERT_EQ(lib.state().pages.size(), kPages);
    EXPECT_EQ(lib.state().pages.back().pagenumber, kPages);
    const std::string out = dir.file("many.pdf");
    ASSERT_EQ(lib.pdfsave(out), 0) << lib.geterror(lib.pdfsave(out));
    EXPECT_NE(ovintest::readbytes(out).find("/Count 100000\r\n"), std::string::npos);

    tiffbuilder e;
    e.longs(256, {8}).longs(257, {8}).shorts(258, {1}).shorts(259, {4});
    e.longs(273, {8}).longs(279, {0});
    e.endifd();
    const std::string empty = dir.file("empty.tif");
    e.save(empty);
    EXPECT_EQ(lib.pdfaddimage(empty), OVINPDF_IMAGE_ERROR);
    EXPECT_EQ(lib.state().errorarg, "Error - TIFF page 1 has no image data in " + empty);
}

} // namespace

namespace {

// Memory that runs out while a page is read ends the save with an I/O
// error whose detail is ENOMEM, not with an abort; the process goes on.
TEST_F(imagefixture, RunningOutOfMemoryEndsTheSaveWithACode) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator cannot run under an address-space limit";
#endif
    // One uncompressed strip of 256 MB that the file system keeps sparse.
    constexpr uint32_t kSide = 16384;
    tiffbuilder b;
    b.longs(256, {kSide}).longs(257, {kSide}).shorts(258, {8}).shorts(259, {1});
    b.shorts(262, {1}).longs(273, {4096}).longs(278, {kSide}).longs(279, {kSide * kSide});
    b.endifd();
    const std::string big = dir.file("big.tif");
    b.save(big);
    std::filesystem::resize_file(big, 4096 + uint64_t{kSide} * kSide);
    ASSERT_EQ(lib.pdfaddimage(big), 0) << lib.geterror(-6);

    const pid_t child = ::fork();
    if (child == 0) {
        unsigned long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            pages = std::fscanf(f, "%lu", &pages) == 1 ? pages : 0;
            std::fclose(f);
        }
        const rlimit limit{pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (64 << 20),
                           RLIM_INFINITY};
        ::setrlimit(RLIMIT_AS, &limit);
        const int32_t code = lib.pdfsave(dir.file("big.pdf"));
        ::_exit(code == OVINPDF_IO_ERROR && lib.state().errorarg == "12" ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::exists(dir.file("big.pdf")));
}

} // namespace
