// The tool's page options as scripts written for other converters spell
// them, and what a page gets from them: its media box and turn as the PDF
// holds them, the coding --jpeg-quality chooses, and the lines that say
// when an option cannot apply or a page cannot be its own size.
#include "clitool.h"
#include "pdfacheck.h"
#include "pdftools.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace {

using clitest::kTool;

ovintest::commandresult run(const ovintest::tempdir& dir, const std::string& args) {
    return ovintest::runcommand("cd '" + dir.path().string() + "' && '" + kTool + "' " + args);
}

// An 8-bit grey or RGB picture with a smooth gradient, LZW-coded.
ovintest::tiffpage photo(uint32_t width, uint32_t height, uint16_t samples, double dpi) {
    ovintest::tiffpage page;
    page.width = width;
    page.height = height;
    page.bits = 8;
    page.samples = samples;
    page.photometric = samples == 3 ? 2 : 1;
    page.compression = 5;
    page.xres = page.yres = dpi;
    page.pixels.resize(static_cast<size_t>(page.rowbytes()) * height);
    for (size_t k = 0; k < page.pixels.size(); ++k) {
        page.pixels[k] = static_cast<uint8_t>((k / samples) % width * 255 / width);
    }
    return page;
}

TEST(PageOptions, OtherConvertersSpellingsGiveTheSamePages) {
    ovintest::tempdir dir;
    // 300 x 150 pixels at 100 dpi: 216 x 108 points.
    ovintest::writetiff(dir.file("wide.tif"), {photo(300, 150, 1, 100)});
    struct spelling {
        std::string args;
        double width, height; // the media box
        int rotate;
    };
    const double a4w = 595.276, a4h = 841.89;
    for (const spelling& s : std::vector<spelling>{
             {"-S A4", a4h, a4w, 0},           // turned the image's way
             {"--pagesize=A4^T", a4h, a4w, 0}, // landscape whatever the image
             {"--pagesize a5^t", 595.276, 419.528, 0},
             {"-s 144x144pt", 144, 72, 0},               // fitted into the box, the page around it
             {"-s 144x144pt -b 1in:0.5in", 216, 216, 0}, // colon: top and bottom first
             {"-b 0.5in,1in -s 144x144pt", 216, 216, 0}, // comma: left and right first
             {"-S A4 -s 144x144pt", a4h, a4w, 0},        // the box centred on the page
             {"-r 90", 216, 108, 90},
             {"--rotation=270", 216, 108, 270},
             {"-r none", 216, 108, 0},
         }) {
        SCOPED_TRACE(s.args);
        const ovintest::commandresult r = run(dir, s.args + " -q wide.tif -o out.pdf");
        ASSERT_EQ(r.status, 0) << r.output;
        const std::string pdf = ovintest::readbytes(dir.file("out.pdf"));
        const size_t at = pdf.find("/MediaBox[0 0 ");
        ASSERT_NE(at, std::string::npos);
        double w = 0, h = 0;
        ASSERT_EQ(std::sscanf(pdf.c_str() + at, "/MediaBox[0 0 %lf %lf", &w, &h), 2);
        EXPECT_NEAR(w, s.width, 0.01);
        EXPECT_NEAR(h, s.height, 0.01);
        const size_t turn = pdf.find("/Rotate ");
        EXPECT_EQ(turn == std::string::npos ? 0 : std::atoi(pdf.c_str() + turn + 8), s.rotate);
    }
    for (const char* bad : {"-r sideways", "-b 1in,1in:2in", "-S A4^X", "-s 10x"}) {
        EXPECT_EQ(run(dir, std::string(bad) + " wide.tif -o out.pdf").status, 2) << bad;
    }
}

TEST(PageOptions, JpegQualityLowResolutionAndOversizedPagesAreToldOnce) {
    ovintest::tempdir dir;
    ovintest::writetiff(dir.file("photo.tif"), {photo(200, 100, 3, 300)});
    ovintest::writetiff(dir.file("scan.tif"), {ovintest::bilevelpage(200, 100, 4, 1)});
    // A stored LZW photograph becomes JPEG; the bilevel scan cannot.
    ovintest::commandresult r = run(dir, "--jpeg-quality=80 photo.tif scan.tif -o out.pdf");
    ASSERT_EQ(r.status, 0) << r.output;
    const ovintest::pdffile pdf = ovintest::parsepdf(dir.file("out.pdf"));
    EXPECT_NE(pdf.object(1).find("/DCTDecode"), std::string::npos) << pdf.object(1);
    EXPECT_NE(r.output.find("'scan.tif': --jpeg-quality does not apply to its bilevel pages, "
                            "kept as they are\n"),
              std::string::npos)
        << r.output;

    // Three files of 72 dpi are one line; one of 100 dpi a line of its own.
    ovintest::writetiff(dir.file("a.tif"), {photo(40, 40, 1, 72)});
    ovintest::writetiff(dir.file("b.tif"), {photo(40, 40, 1, 72)});
    ovintest::writetiff(dir.file("c.tif"), {photo(40, 40, 1, 72)});
    ovintest::writetiff(dir.file("d.tif"), {photo(40, 40, 1, 100)});
    ovintest::writetiff(dir.file("fine.tif"), {photo(40, 40, 1, 150)});
    r = run(dir, "a.tif b.tif c.tif d.tif fine.tif a.tif -o out.pdf");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "3 files have a low resolution (72 dpi), taken as it is\n"
                        "'d.tif': low resolution (100 dpi), taken as it is\n"
                        "'out.pdf' written: 6 pages\n");

    // A panorama at 72 dpi is too wide for a page of its own size, not
    // for A4.
    ovintest::writetiff(dir.file("pano.tif"), {photo(16000, 20, 1, 72)});
    r = run(dir, "-q pano.tif -o out.pdf");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "ovinpdf: 'pano.tif': 16000 x 20 pixels at 72 x 72 dpi make a page of "
                        "222.2 x 0.3 inches, more than the 200 inches a page may have a side; "
                        "lay it out on a page (--page-size=A4, say) or give its resolution "
                        "(--dpi)\n");
    EXPECT_EQ(run(dir, "-q -S A4 pano.tif -o out.pdf").status, 0);
}

} // namespace

namespace {

// Text beyond Windows-1252 is set in an embedded font found for it, and
// comes back from the PDF as it was given; a character no font has is
// named.
TEST(PageOptions, TextInEveryScriptComesBack) {
    ovintest::tempdir dir;
    // Chinese from a second font (Droid Sans Fallback) in the same line.
    const std::string words = "Ωμέγα Привет Größe façade 漢字テスト";
    std::string longline;
    for (int k = 0; k < 200; ++k) {
        longline += "Привет" + std::to_string(k) + " ";
    }
    ovintest::commandresult r =
        run(dir, "-q -S A5 --text '" + words + "' --text '" + longline + "' -o out.pdf");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string pdf = dir.file("out.pdf");
    EXPECT_TRUE(ovintest::qpdfcheck(pdf));
    const std::string text = ovintest::pdftotext(pdf);
    EXPECT_NE(text.find(words), std::string::npos) << text;
    // Every word of the long line, each line within the page.
    std::istringstream seen(text.substr(text.find(words) + words.size()));
    int next = 0;
    for (std::string word; seen >> word; ++next) {
        ASSERT_EQ(word, "Привет" + std::to_string(next));
    }
    EXPECT_EQ(next, 200);
    const std::string fonts = ovintest::runcommand("pdffonts '" + pdf + "'").output;
    EXPECT_NE(
        fonts.find("DejaVuSans                    CID TrueType      Identity-H       yes yes yes"),
        std::string::npos)
        << fonts;
    EXPECT_NE(fonts.find("DroidSansFallback             CID TrueType      Identity-H       yes yes "
                         "yes"),
              std::string::npos)
        << fonts;
    EXPECT_EQ(fonts.find(" no "), std::string::npos) << fonts;
    const std::string boxes =
        ovintest::runcommand("pdftotext -bbox '" + pdf + "' - | grep -o 'xMax=\"[0-9.]*\"'").output;
    for (size_t at = boxes.find('"'); at != std::string::npos;
         at = boxes.find('"', boxes.find('"', at + 1) + 1)) {
        EXPECT_LT(std::atof(boxes.c_str() + at + 1), 419.5) << "a line runs off the A5 page";
    }

    r = run(dir, "-q --text 'private \xee\x80\x80 use' -o out.pdf");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("no installed font has the character U+E000 of the text pages"),
              std::string::npos)
        << r.output;
}

} // namespace

namespace {

// --pdfa makes a file that keeps the PDF/A-2b rules, which the same pages
// without it break; a page it cannot hold is refused with the reason.
TEST(PageOptions, PdfaKeepsTheArchivalRules) {
    ovintest::tempdir dir;
    ovintest::writetiff(dir.file("photo.tif"), {photo(120, 80, 3, 300)});
    ovintest::writetiff(dir.file("scan.tif"), {ovintest::bilevelpage(200, 100, 4, 1)});
    const std::string pages = "--title Letter --text 'Größe Привет' photo.tif scan.tif";
    ASSERT_EQ(run(dir, "-q " + pages + " -o plain.pdf").status, 0);
    EXPECT_GE(ovintest::pdfaproblems(dir.file("plain.pdf")).size(), 4U);
    const ovintest::commandresult r = run(dir, "-q --pdfa " + pages + " -o archive.pdf");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(ovintest::qpdfcheck(dir.file("archive.pdf")));
    EXPECT_EQ(ovintest::pdfaproblems(dir.file("archive.pdf")), std::vector<std::string>{});

    ovintest::tiffpage cmyk = photo(40, 40, 1, 300);
    cmyk.samples = 4;
    cmyk.photometric = 5;
    cmyk.compression = 1;
    cmyk.pixels.assign(size_t{cmyk.rowbytes()} * cmyk.height, 60);
    ovintest::writetiff(dir.file("cmyk.tif"), {cmyk});
    EXPECT_EQ(run(dir, "-q --pdfa cmyk.tif -o c.pdf").output,
              "ovinpdf: 'cmyk.tif': a CMYK page without an ICC profile cannot be in a PDF/A "
              "file, whose colours are sRGB\n");
}

} // namespace
