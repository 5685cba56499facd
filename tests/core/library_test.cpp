// The library calls: settings, the document list, result codes and texts.
#include "core/library.h"
#include "names.h"
#include "naturalorder.h"
#include "numbers.h"
#include "pdf/pdftext.h"
#include "pdftools.h"
#include "quote.h"

#include <gtest/gtest.h>

namespace {

TEST(ValidFext, AcceptsTheThreeTypesWithOrWithoutDot) {
    for (const char* ok : {"jpg", ".jpg", "Tif", ".BMP", "JPG", ".tif"}) {
        EXPECT_TRUE(ovin::validfext(ok)) << ok;
    }
    for (const char* no : {"", "   ", ".jpeg", "tiff", " jpg", ".png", "..jpg", "jpg "}) {
        EXPECT_FALSE(ovin::validfext(no)) << '"' << no << '"';
    }
}

TEST(FileNames, ForbiddenCharactersAfterTheLastSeparator) {
    EXPECT_TRUE(ovin::validfilename("/home/user/scans/page.jpg"));
    EXPECT_TRUE(ovin::validfilename("C:\\scans\\page.jpg"));
    EXPECT_TRUE(ovin::validfilename("C:/scans/page.jpg")); // "/" ends the directory part too
    EXPECT_TRUE(ovin::validfilename(""));
    EXPECT_TRUE(ovin::validfilename("dir/"));
    EXPECT_FALSE(ovin::validfilename("/tmp/a?b.pdf"));
    EXPECT_FALSE(ovin::validfilename("C:\\out\\a?b.pdf"));
    for (char c : std::string("*\"<>|")) {
        EXPECT_FALSE(ovin::validfilename(std::string("/tmp/x") + c + "y.tif")) << c;
    }
    EXPECT_TRUE(ovin::validfilename("/tmp/dir?/ok.tif")); // only the last part counts
    EXPECT_EQ(ovin::upperextension("/a.b/file"), "");
    EXPECT_EQ(ovin::upperextension("/tmp/Scan.JpG"), ".JPG");
    EXPECT_EQ(ovin::upperextension("x.tar.tiff"), ".TIFF");
}

TEST(PdfEscape, BackslashFirstThenParentheses) {
    EXPECT_EQ(ovin::pdfescape("a(b)\\c"), "a\\(b\\)\\\\c");
    EXPECT_EQ(ovin::pdfescape("(("), "\\(\\(");
    EXPECT_EQ(ovin::pdfunescape(ovin::pdfescape("x\\(y)\\\\")), "x\\(y)\\\\");
}

// Names in messages as coreutils quotes them: pasted back into a shell they
// name the file again, and no byte of them can act on a terminal.
TEST(FileNames, QuotedForMessagesAsCoreutilsDoes) {
    for (const auto& [name, quoted] : std::vector<std::pair<std::string, std::string>>{
             {"scan.png", "'scan.png'"},
             {"scan (1).png", "'scan (1).png'"},
             {"", "''"},
             {"it's.png", "\"it's.png\""},
             {"it's $HOME", "'it'\\''s $HOME'"},
             {"a\nb", "'a'$'\\n''b'"},
             {"\x1b[31mred", "$'\\033''[31mred'"},
             {"tab\t", "'tab'$'\\t'"},
             {"caf\xc3\xa9.jpg", "'caf\xc3\xa9.jpg'"},
             {"bad\xff.jpg", "'bad'$'\\377''.jpg'"},
         }) {
        EXPECT_EQ(ovin::quotename(name), quoted) << name;
    }
}

TEST(FileNames, NaturalOrderAsFileManagersShowThem) {
    const std::vector<std::string> sorted = {"",
                                             "Scan 1.jpg",
                                             "scan 2.jpg",
                                             "Scan 10.jpg",
                                             "scan 010b.jpg",
                                             "scan10b.jpg",
                                             "scan99.jpg",
                                             "scan100.jpg",
                                             "scan18446744073709551616.jpg",
                                             "scan18446744073709551617.jpg"};
    for (size_t i = 0; i < sorted.size(); ++i) {
        for (size_t j = 0; j < sorted.size(); ++j) {
            EXPECT_EQ(ovin::naturalless(sorted[i], sorted[j]), i < j)
                << sorted[i] << " / " << sorted[j];
        }
    }
    // Names that differ only in case or leading zeros keep a fixed order.
    EXPECT_NE(ovin::naturalless("a.jpg", "A.jpg"), ovin::naturalless("A.jpg", "a.jpg"));
    EXPECT_NE(ovin::naturalless("a01", "a1"), ovin::naturalless("a1", "a01"));
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(ovin::roundeven(0.5L), 0);
    EXPECT_EQ(ovin::roundeven(1.5L), 2);
    EXPECT_EQ(ovin::roundeven(2.5L), 2);
    EXPECT_EQ(ovin::roundeven(30.6L), 31);
    EXPECT_EQ(ovin::roundeven(-2.5L), -2);
    EXPECT_EQ(ovin::formatreal(2480.0L / 300 * 72), "595.2");
    EXPECT_EQ(ovin::formatreal(3508.0L / 300 * 72), "841.92");
    EXPECT_EQ(ovin::formatreal(1700.0L / 200 * 72), "612");
    EXPECT_EQ(ovin::formatreal(1.0L / 3), "0.333333333333333");
}

TEST(TextEncoding, WinAnsiAndUtf16) {
    EXPECT_EQ(ovin::towinansi("plain"), "plain");
    EXPECT_EQ(ovin::towinansi("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), "\xE9\x80?");
    EXPECT_EQ(ovin::towinansi("bad \xFF\xC3"), "bad ??");
    EXPECT_EQ(ovin::pdftextstring("a(b"), "(a\\(b)");
    EXPECT_EQ(ovin::pdftextstring("\xC3\xA9\xF0\x9F\x98\x80"), "<FEFF00E9D83DDE00>");
}

struct libraryfixture : ::testing::Test {
    ovintest::tempdir dir;
    ovin::Library lib;
    void SetUp() override { lib.pdfinit(0, dir.file("OVINPDF.TMP")); }
};

TEST_F(libraryfixture, ErrorTexts) {
    lib.pdfaddtext("x");
    EXPECT_EQ(lib.pdfaddindex("missing", "t"), -7);
    EXPECT_EQ(lib.geterror(-1), "ERROR : File Not Found (missing)");
    EXPECT_EQ(lib.geterror(-2), "ERROR : No Pages Added");
    EXPECT_EQ(lib.geterror(-3), "ERROR : Unsupported Image Type (missing)");
    EXPECT_EQ(lib.geterror(-5), "ERROR : I/O Error (missing)");
    EXPECT_EQ(lib.geterror(-6), "ERROR : Image Error (missing)");
    EXPECT_EQ(lib.geterror(-8), "ERROR : PDF Filename is blank");
    EXPECT_EQ(lib.geterror(-10), "ERROR : Page already added (missing)");
    // The temporary-file message names the path in use, whatever failed last.
    EXPECT_EQ(lib.geterror(-11), "ERROR : Cannot create temporary tiff (" +
                                     lib.state().tempimgpath + " already exists)");
    EXPECT_EQ(lib.geterror(0), "ERROR : Unknown error (0)");
    EXPECT_EQ(lib.geterror(-13), "ERROR : Unknown error (-13)");
}

TEST_F(libraryfixture, SettingsAndClear) {
    lib.settempimg("   ");
    EXPECT_EQ(lib.state().tempimgpath, dir.file("OVINPDF.TMP"));
    lib.settempimg(" /tmp/x.tmp");
    EXPECT_EQ(lib.state().tempimgpath, " /tmp/x.tmp");
    EXPECT_EQ(lib.state().pdfmaker, "Zentro Software");
    lib.setpdfmaker("");
    lib.setpdftitle("T");
    lib.pdfaddtext("a");
    lib.pdfaddindex("nothing", "x");
    lib.pdfclear();
    EXPECT_TRUE(lib.state().pages.empty());
    EXPECT_TRUE(lib.state().errorarg.empty());
    EXPECT_EQ(lib.state().pdfmaker, "");
    EXPECT_EQ(lib.state().pdftitle, "T");
    int count = 0;
    lib.getwarnings([&](const std::string&) { ++count; });
    EXPECT_EQ(count, 0);
    lib.pdfinit(0, "");
    EXPECT_EQ(lib.state().pdfmaker, "Zentro Software");
    EXPECT_EQ(lib.state().pdftitle, "");
    EXPECT_EQ(lib.state().tempimgpath, ovin::defaulttempimgpath());
}

TEST_F(libraryfixture, ImageNameChecksComeInOrder) {
    EXPECT_EQ(lib.pdfaddimage(dir.file("bad|name.jpg")), -12);
    EXPECT_EQ(lib.pdfaddimage(dir.file("missing.jpg")), -1);
    EXPECT_EQ(lib.state().errorarg, dir.file("missing.jpg"));
    ovintest::writebytes(dir.file("scan.tiff"), "x");
    EXPECT_EQ(lib.pdfaddimage(dir.file("scan.tiff")), -3);
    ovintest::writebytes(dir.file("noext"), "x");
    EXPECT_EQ(lib.pdfaddimage(dir.file("noext")), -3);
    // A text equal to an image's name makes that image a duplicate.
    ovintest::writebytes(dir.file("page.jpg"), "not a jpeg");
    lib.pdfaddtext(dir.file("page.jpg"));
    EXPECT_EQ(lib.pdfaddimage(dir.file("page.jpg")), -10);
    EXPECT_EQ(lib.geterror(-10), "ERROR : Page already added (" + dir.file("page.jpg") + ")");
    EXPECT_EQ(lib.state().pages.size(), 1U);
}

TEST_F(libraryfixture, CallsDuringASaveAreRefused) {
    auto owned = std::make_unique<ovintest::fakeui>();
    ovintest::fakeui* ui = owned.get();
    lib.setui(std::move(owned));
    lib.pdfaddtext("one");
    lib.pdfaddtext("two");
    std::vector<int32_t> results;
    ui->onmessages = [&] {
        results.push_back(lib.pdfaddtext("intruder"));
        results.push_back(lib.pdfsave(dir.file("other.pdf")));
        results.push_back(lib.pdfaddindex("one", "x"));
        lib.pdfclear();
        lib.setpdfmaker("changed");
    };
    ASSERT_EQ(lib.pdfsave(dir.file("doc.pdf")), 0);
    EXPECT_EQ(results, (std::vector<int32_t>{-13, -13, -13, -13, -13, -13}));
    EXPECT_EQ(lib.state().pages.size(), 2U);
    EXPECT_EQ(lib.state().pdfmaker, "Zentro Software");
    EXPECT_FALSE(std::filesystem::exists(dir.file("other.pdf")));
    EXPECT_TRUE(ovintest::qpdfcheck(dir.file("doc.pdf")));
    // After the save, calls work again.
    EXPECT_EQ(lib.pdfaddtext("three"), 0);
}

} // namespace
