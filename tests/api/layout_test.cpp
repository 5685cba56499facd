// Page layout and document information through the document API: the
// media box and the picture's place on the rendered page, and the Info
// dictionary and XMP stream, reproducible with SOURCE_DATE_EPOCH.
#include "ovinpdf_document.h"

#include "pdftools.h"
#include "render.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

struct deleter {
    void operator()(ovinpdf_document* d) const { ovinpdf_document_free(d); }
};
using document = std::unique_ptr<ovinpdf_document, deleter>;

struct box {
    double x0, y0, x1, y1; // points, from the page's bottom left
};

// The dark pixels of a rendered page as a box in points.
box darkbox(const ovintest::raster& r, int dpi) {
    int left = r.width, right = -1, top = r.height, bottom = -1;
    for (int y = 0; y < r.height; ++y) {
        for (int x = 0; x < r.width; ++x) {
            if (r.pixels[static_cast<size_t>(y * r.width + x)] < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    const double k = 72.0 / dpi;
    return {left * k, (r.height - 1 - bottom) * k, (right + 1) * k, (r.height - top) * k};
}

TEST(Layout, PageSizesFitsAndBordersPlaceThePicture) {
    ovintest::tempdir dir;
    // 300 x 150 pixels of black at 100 dpi: 216 x 108 points.
    ovintest::tiffpage page;
    page.width = 300;
    page.height = 150;
    page.compression = 1;
    page.photometric = 1;
    page.xres = page.yres = 100;
    page.pixels.assign(static_cast<size_t>(page.rowbytes()) * page.height, 0);
    const std::string image = dir.file("black.tif");
    ovintest::writetiff(image, {page});

    struct layout {
        const char* size;
        int orientation;
        int fit;
        double border;
        double pw, ph;         // media box
        double x0, y0, x1, y1; // the picture
    };
    const double a4w = 595.276, a4h = 841.89;
    const std::vector<layout> table = {
        // Own size, own size with borders.
        {"", OVINPDF_ORIENTATION_AUTO, OVINPDF_FIT_INTO, 0, 216, 108, 0, 0, 216, 108},
        {"", OVINPDF_ORIENTATION_AUTO, OVINPDF_FIT_INTO, 36, 288, 180, 36, 36, 252, 144},
        // A4 turned the image's way (landscape), fitted inside.
        {"A4", OVINPDF_ORIENTATION_AUTO, OVINPDF_FIT_INTO, 0, a4h, a4w, 0, (a4w - 420.945) / 2, a4h,
         (a4w + 420.945) / 2},
        // A4 portrait: the image's width fills the page, centred.
        {"A4", OVINPDF_ORIENTATION_PORTRAIT, OVINPDF_FIT_INTO, 0, a4w, a4h, 0, (a4h - a4w / 2) / 2,
         a4w, (a4h + a4w / 2) / 2},
        // Shrink only: a small image keeps its size, centred.
        {"A4", OVINPDF_ORIENTATION_PORTRAIT, OVINPDF_FIT_SHRINK, 0, a4w, a4h, (a4w - 216) / 2,
         (a4h - 108) / 2, (a4w + 216) / 2, (a4h + 108) / 2},
        // Exact: stretched inside the borders.
        {"A4", OVINPDF_ORIENTATION_PORTRAIT, OVINPDF_FIT_EXACT, 72, a4w, a4h, 72, 72, a4w - 72,
         a4h - 72},
        // Fill: covers the box inside the borders, cut at its edges.
        {"A5", OVINPDF_ORIENTATION_PORTRAIT, OVINPDF_FIT_FILL, 36, 419.528, 595.276, 36, 36,
         419.528 - 36, 595.276 - 36},
    };
    for (const layout& l : table) {
        SCOPED_TRACE(std::string(l.size) + " fit " + std::to_string(l.fit));
        document d(ovinpdf_document_new());
        if (*l.size != 0) {
            double w = 0, h = 0;
            ASSERT_TRUE(ovinpdf_page_size_from_text(l.size, &w, &h));
            ASSERT_EQ(ovinpdf_set_page_size(d.get(), w, h), OVINPDF_OK);
        }
        ASSERT_EQ(ovinpdf_set_page_orientation(d.get(), l.orientation), OVINPDF_OK);
        ASSERT_EQ(ovinpdf_set_fit(d.get(), l.fit), OVINPDF_OK);
        ASSERT_EQ(ovinpdf_set_border(d.get(), l.border, l.border), OVINPDF_OK);
        ASSERT_EQ(ovinpdf_add_image(d.get(), image.c_str()), OVINPDF_OK);
        const std::string out = dir.file("layout.pdf");
        ASSERT_EQ(ovinpdf_save(d.get(), out.c_str(), nullptr, nullptr), OVINPDF_OK)
            << ovinpdf_last_error(d.get());
        ASSERT_TRUE(ovintest::qpdfcheck(out));
        const ovintest::pdffile pdf = ovintest::parsepdf(out);
        const std::string& pageobject = pdf.object(3);
        const size_t at = pageobject.find("/MediaBox[0 0 ");
        ASSERT_NE(at, std::string::npos) << pageobject;
        double pw = 0, ph = 0;
        ASSERT_EQ(std::sscanf(pageobject.c_str() + at, "/MediaBox[0 0 %lf %lf", &pw, &ph), 2);
        EXPECT_NEAR(pw, l.pw, 0.01);
        EXPECT_NEAR(ph, l.ph, 0.01);
        for (ovintest::reader r : {ovintest::reader::poppler, ovintest::reader::mupdf}) {
            constexpr int kDpi = 36;
            const box b = darkbox(ovintest::renderpage(r, out, 1, kDpi, 1), kDpi);
            const double tolerance = 2 * 72.0 / kDpi;
            EXPECT_NEAR(b.x0, l.x0, tolerance) << ovintest::readername(r);
            EXPECT_NEAR(b.y0, l.y0, tolerance) << ovintest::readername(r);
            EXPECT_NEAR(b.x1, l.x1, tolerance) << ovintest::readername(r);
            EXPECT_NEAR(b.y1, l.y1, tolerance) << ovintest::readername(r);
        }
    }
    double w = 0, h = 0;
    for (const char* bad :
         {"A7", "10x10", "10mmx10", "0x10mm", "10xmm", "300x300in", "2x2pt", "1e3x1e3pt", ""}) {
        EXPECT_FALSE(ovinpdf_page_size_from_text(bad, &w, &h)) << bad;
    }
    const std::tuple<const char*, double, double> sizes[] = {
        {"8.5x11in", 612, 792}, {"8.5inx11in", 612, 792}, {"72ptx1in", 72, 72},
        {"a6", 297.64, 419.53}, {"A0", 2383.94, 3370.39}, {"C5", 459.21, 649.13}};
    for (const auto& [text, width, height] : sizes) {
        ASSERT_TRUE(ovinpdf_page_size_from_text(text, &w, &h)) << text;
        EXPECT_NEAR(w, width, 0.01) << text;
        EXPECT_NEAR(h, height, 0.01) << text;
    }
}

TEST(Metadata, InfoAndXmpAreWrittenAndReproducible) {
    ovintest::tempdir dir;
    auto save = [&](const std::string& name, bool titled = true) {
        document d(ovinpdf_document_new());
        ovinpdf_add_text(d.get(), "page");
        ovinpdf_set_title(d.get(), titled ? "Minutes & notes" : "");
        ovinpdf_set_author(d.get(), "Zoë Öberg");
        ovinpdf_set_subject(d.get(), "Meeting");
        ovinpdf_set_keywords(d.get(), "minutes, 2024");
        ovinpdf_set_creator(d.get(), "scanner");
        const std::string out = dir.file(name);
        EXPECT_EQ(ovinpdf_save(d.get(), out.c_str(), nullptr, nullptr), OVINPDF_OK);
        return ovintest::readbytes(out);
    };
    ::setenv("SOURCE_DATE_EPOCH", "1714564800", 1); // 2024-05-01 12:00:00 UTC
    const std::string first = save("a.pdf");
    const std::string second = save("b.pdf");
    ::unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(first, second);
    for (const char* expected :
         {"/Title (Minutes & notes)", "/Author <FEFF005A006F00EB002000D60062006500720067>",
          "/Subject (Meeting)", "/Keywords (minutes, 2024)", "/Creator (scanner)",
          "/CreationDate (D:20240501120000Z)", "/ModDate (D:20240501120000Z)",
          "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Minutes &amp; notes</rdf:li>",
          "<rdf:li>Zoë Öberg</rdf:li>", "<xmp:CreateDate>2024-05-01T12:00:00Z<",
          "/Type /Metadata /Subtype /XML"}) {
        EXPECT_NE(first.find(expected), std::string::npos) << expected;
    }
    // The time the metadata was last written is the writer's to set: tools
    // that rewrite it (OCR, PDF/A) would drop it and warn.
    EXPECT_EQ(first.find("MetadataDate"), std::string::npos);
    EXPECT_TRUE(ovintest::qpdfcheck(dir.file("a.pdf")));
    // No title: none at all, so that viewers show the file's name.
    EXPECT_EQ(save("untitled.pdf", false).find("/Title"), std::string::npos);
    const std::string info = ovintest::runcommand("pdfinfo '" + dir.file("a.pdf") + "'").output;
    EXPECT_NE(info.find("Zoë Öberg"), std::string::npos) << info;
}

} // namespace
