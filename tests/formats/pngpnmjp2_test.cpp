// PNG, PNM and JPEG 2000 pages through the document face. Every kind of
// file the readers take, made here by libpng, OpenJPEG or by hand, is saved
// into one PDF that qpdf checks; poppler and MuPDF must draw each page like
// the source decodes (over white where it is transparent). Damaged files are
// refused with a message. The fuzz targets' seeds come from the same files
// (OVIN_WRITE_FUZZ_SEEDS=1 rewrites fuzz/corpus/{png,pnm,jp2}).
#include "jp2page.h"
#include "library.h"
#include "pdftools.h"
#include "pngfixtures.h"
#include "pngpage.h"
#include "pnmpage.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;
using ovintest::raster;

struct pagecase {
    std::string name;
    bytes file;
    raster look;                         // how the page must look, RGB
    int dpi = 200;                       // the page's resolution (200 when the file has none)
    int tolerance = 0;                   // largest difference of a sample (colour managed pages)
    std::vector<std::string> dictionary; // found in the image's dictionary
    std::string seed;                    // a fuzz seed's name, when the file is one
};

struct saved {
    int32_t code = 0;
    std::string error;
    ovintest::pdffile pdf;
};

saved savefiles(const ovintest::tempdir& dir, const std::vector<std::string>& files) {
    ovin::Library lib;
    lib.pdfinit(0, dir.file("OVINPDF.TMP"));
    lib.setoptions(ovin::documentface());
    saved s;
    for (const std::string& f : files) {
        if ((s.code = lib.addimagepages(f, 0)) != 0) {
            s.error = lib.geterror(s.code);
            return s;
        }
    }
    s.code = lib.pdfsave(dir.file("out.pdf"));
    s.error = lib.geterror(s.code);
    if (s.code == 0) {
        std::string check;
        EXPECT_TRUE(ovintest::qpdfcheck(dir.file("out.pdf"), &check)) << check;
        s.pdf = ovintest::parsepdf(dir.file("out.pdf"));
    }
    return s;
}

// Saves the cases as the pages of one document and compares every page.
void checkpages(const std::vector<pagecase>& cases, const std::string& header) {
    ovintest::tempdir dir;
    std::vector<std::string> files;
    for (const pagecase& c : cases) {
        files.push_back(dir.file(c.name));
        ovintest::writebytes(files.back(), std::string(c.file.begin(), c.file.end()));
    }
    const saved s = savefiles(dir, files);
    ASSERT_EQ(s.code, 0) << s.error;
    EXPECT_TRUE(s.pdf.bytes.starts_with(header));
    const std::string pdf = dir.file("out.pdf");
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const std::string& image = s.pdf.object(static_cast<int32_t>(4 * i + 1));
        for (const std::string& entry : cases[i].dictionary) {
            EXPECT_NE(image.find(entry), std::string::npos)
                << entry << " in " << image.substr(0, 400);
        }
        for (auto r : {ovintest::reader::poppler, ovintest::reader::mupdf}) {
            const raster seen = ovintest::sampled(
                ovintest::renderpage(r, pdf, static_cast<int>(i + 1), 4 * cases[i].dpi, 3), 4);
            const ovintest::difference d = ovintest::compare(seen, cases[i].look);
            EXPECT_TRUE(d.error.empty() && d.maximum <= cases[i].tolerance)
                << ovintest::readername(r) << ": " << seen.error << d.error << " largest "
                << d.maximum << ", " << d.differing << " samples differ";
        }
    }
}

// The length of the IDAT chunks' contents, which a kept page's data is.
size_t idatlength(const bytes& file) {
    size_t idat = 0;
    for (size_t at = 8; at + 8 <= file.size();) {
        const size_t length = size_t{file[at]} << 24 | size_t{file[at + 1]} << 16 |
                              size_t{file[at + 2]} << 8 | file[at + 3];
        idat += std::memcmp(&file[at + 4], "IDAT", 4) == 0 ? length : 0;
        at += length + 12;
    }
    return idat;
}

std::vector<pagecase> pngcases() {
    std::vector<pagecase> cases;
    const auto add = [&](std::string name, ovintest::pngoptions o,
                         std::vector<std::string> dictionary, std::string seed = "") {
        const bytes file = ovintest::makepng(o);
        // Compositing over white may round either way.
        const bool alpha = o.transparency || o.colourtype == 4 || o.colourtype == 6;
        cases.push_back({name + ".png", file, ovintest::decodepng(file), o.ppm != 0 ? 72 : 200,
                         o.icc.empty() ? alpha ? 1 : 0 : 2, dictionary, seed});
    };
    const std::vector<std::pair<int, int>> plain = {
        {0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1}, {3, 2}, {3, 4}, {3, 8}};
    for (const auto& [type, depth] : plain) {
        ovintest::pngoptions o;
        o.colourtype = type;
        o.depth = depth;
        o.ppm = depth == 8 ? 2835 : 0;
        const std::string name = "type" + std::to_string(type) + "_" + std::to_string(depth);
        const bytes file = ovintest::makepng(o);
        add(name, o,
            {"/Predictor 15 /Colors " + std::to_string(type == 2 ? 3 : 1) + " /BitsPerComponent " +
                 std::to_string(depth) + " /Columns 50",
             "/Length " + std::to_string(idatlength(file)) + "\r\n"},
            depth == 8 ? name : "");
        // The same pixels through libpng: interlaced, or with tRNS.
        o.interlaced = true;
        add(name + "_interlaced", o, {"/FlateDecode\r\n/Length"}, type == 3 ? name + "i" : "");
        o.interlaced = false;
        o.transparency = true;
        add(name + "_trns", o, {"/SMask"}, type == 0 && depth == 2 ? name + "t" : "");
    }
    for (const auto& [type, depth] : {std::pair{4, 8}, {4, 16}, {6, 8}, {6, 16}}) {
        ovintest::pngoptions o;
        o.colourtype = type;
        o.depth = depth;
        o.interlaced = depth == 16;
        add("alpha" + std::to_string(type) + "_" + std::to_string(depth), o,
            {"/BitsPerComponent " + std::to_string(depth), "/SMask"},
            type == 6 && depth == 8 ? "rgba" : "");
    }
    ovintest::pngoptions icc;
    icc.icc = ovintest::iccprofile(false);
    add("srgb", icc, {"/ICCBased"});
    icc.colourtype = 0;
    icc.icc = ovintest::iccprofile(true);
    add("grey_profile", icc, {"/ICCBased"});
    ovintest::pngoptions turned;
    turned.orientation = 6;
    add("exif6", turned, {"/Predictor 15"}, "exif6");
    // The picture turned a quarter clockwise.
    raster& look = cases.back().look;
    raster upright = look;
    std::swap(upright.width, upright.height);
    for (int y = 0; y < upright.height; ++y) {
        for (int x = 0; x < upright.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                upright.pixels[size_t((y * upright.width + x) * 3 + c)] =
                    look.pixels[size_t(((look.height - 1 - x) * look.width + y) * 3 + c)];
            }
        }
    }
    look = upright;
    return cases;
}

TEST(PngPages, LookAsLibpngDecodesThem) {
    checkpages(pngcases(), "%PDF-1.5"); // 16-bit pages
}

} // namespace
