// The document API through libovinpdf.so: handles that share nothing, the
// options, progress and cancel, warnings and plain messages, and two
// documents saved from two threads at once (this program also runs under
// ThreadSanitizer).
#include "ovinpdf_document.h"
#include "quote.h"

#include "bmpfixtures.h"
#include "jpegfixtures.h"
#include "pdftools.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

namespace {

struct deleter {
    void operator()(ovinpdf_document* d) const { ovinpdf_document_free(d); }
};
using document = std::unique_ptr<ovinpdf_document, deleter>;

document newdocument() {
    document d(ovinpdf_document_new());
    EXPECT_NE(d, nullptr);
    return d;
}

struct apifixture : ::testing::Test {
    ovintest::tempdir dir;

    // A few pages of each classic kind, named without their usual
    // extensions: the document API goes by content.
    std::vector<std::string> pages(const std::string& prefix) {
        const std::string tif = dir.file(prefix + "scan.image");
        ovintest::tiffpage g4 = ovintest::bilevelpage(200, 120, 4, 3);
        ovintest::tiffpage strips = ovintest::greypage(90, 64, 1, 4);
        strips.rowsperstrip = 8; // re-encoded through a temporary file
        ovintest::writetiff(tif, {g4, strips});
        const std::string jpg = dir.file(prefix + "photo.jpeg");
        ovintest::savejpeg(jpg, ovintest::makejpeg(64, 48, ovintest::jpegpattern(64, 48, 3), {}));
        return {tif, jpg};
    }
};

TEST_F(apifixture, ADocumentFromFilesOfAnyName) {
    const document d = newdocument();
    for (const std::string& file : pages("")) {
        ASSERT_EQ(ovinpdf_add_image(d.get(), file.c_str()), OVINPDF_OK)
            << ovinpdf_last_error(d.get());
    }
    ASSERT_EQ(ovinpdf_add_text(d.get(), "The end"), OVINPDF_OK);
    ASSERT_EQ(ovinpdf_add_bookmark(d.get(), "The end", "End"), OVINPDF_OK);
    EXPECT_EQ(ovinpdf_page_count(d.get()), 4u);
    ASSERT_EQ(ovinpdf_set_title(d.get(), "Title"), OVINPDF_OK);

    struct seen {
        std::vector<uint32_t> pages;
        uint32_t total = 0;
    } s;
    auto progress = [](void* context, uint32_t page, uint32_t total, const char*) {
        auto* p = static_cast<seen*>(context);
        p->pages.push_back(page);
        p->total = total;
        return 0;
    };
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(ovinpdf_save(d.get(), out.c_str(), progress, &s), OVINPDF_OK)
        << ovinpdf_last_error(d.get());
    EXPECT_EQ(s.pages, (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(s.total, 4u);
    std::string check;
    EXPECT_TRUE(ovintest::qpdfcheck(out, &check)) << check;
    EXPECT_EQ(std::string(ovinpdf_last_error(d.get())), "");
}

// Every failure names the file, quoted as coreutils shows names (no PDF
// escapes, control characters written out), and says why in words.
TEST_F(apifixture, FailuresHaveMessagesInWords) {
    ovintest::bmpoptions whole;
    whole.width = 40;
    whole.height = 30;
    const std::string bmp = dir.file("whole.bmp");
    ASSERT_TRUE(ovintest::savebmp(bmp, ovintest::makebmp(whole)));
    std::string cut = ovintest::readbytes(bmp);
    cut.resize(cut.size() / 2);
    const std::string truncated = dir.file("scan (1).bmp");
    ovintest::writebytes(truncated, cut);
    const std::string text = dir.file("notes.jpg");
    ovintest::writebytes(text, "just some text, whatever the name says");
    const std::string escape = dir.file("a\x1b[31mred\nname.png");
    ovintest::writebytes(escape, "no picture");
    const std::string missing = dir.file("none.png");
    const std::string folder = dir.file("folder.png");
    std::filesystem::create_directory(folder);
    struct failure {
        std::string file;
        int32_t code;
        std::string message;
    };
    const auto q = ovin::quotename;
    for (const failure& f : std::vector<failure>{
             {missing, OVINPDF_FILE_NOT_FOUND,
              "cannot read " + q(missing) + ": No such file or directory"},
             {folder, OVINPDF_IO_ERROR, "cannot read " + q(folder) + ": Is a directory"},
             {truncated, OVINPDF_IMAGE_ERROR,
              "cannot read " + q(truncated) + ": it ends inside its image data"},
             {text, OVINPDF_UNSUPPORTED_TYPE,
              q(text) + " is not a JPEG, TIFF, PNG, BMP, PNM, JPEG 2000, WebP, GIF, HEIC, AVIF or "
                        "JPEG XL image"},
             {escape, OVINPDF_UNSUPPORTED_TYPE,
              q(escape) + " is not a JPEG, TIFF, PNG, BMP, PNM, JPEG 2000, WebP, GIF, HEIC, AVIF "
                          "or JPEG XL image"},
         }) {
        const document d = newdocument();
        EXPECT_EQ(ovinpdf_add_image(d.get(), f.file.c_str()), f.code) << f.file;
        EXPECT_EQ(std::string(ovinpdf_last_error(d.get())), f.message);
    }
    // A page the file does not have, counted in words.
    const document one = newdocument();
    EXPECT_EQ(ovinpdf_add_image_page(one.get(), bmp.c_str(), 2), OVINPDF_IMAGE_ERROR);
    EXPECT_EQ(std::string(ovinpdf_last_error(one.get())), q(bmp) + " has 1 page, not 2");
    EXPECT_NE(q(escape).find("$'\\033'"), std::string::npos) << q(escape);
    EXPECT_EQ(q(truncated).find('\\'), std::string::npos) << q(truncated);

    const document d = newdocument();
    const std::string nofolder = dir.file("no/such/folder/out.pdf");
    EXPECT_EQ(ovinpdf_save(d.get(), nofolder.c_str(), nullptr, nullptr), OVINPDF_NO_PAGES);
    ASSERT_EQ(ovinpdf_add_text(d.get(), "page"), OVINPDF_OK);
    EXPECT_EQ(ovinpdf_save(d.get(), nofolder.c_str(), nullptr, nullptr), OVINPDF_IO_ERROR);
    EXPECT_EQ(std::string(ovinpdf_last_error(d.get())),
              "cannot write " + q(nofolder) + ": No such file or directory");
    // An image that goes away between adding and saving.
    const std::string gone = dir.file("gone (2).bmp");
    std::filesystem::copy_file(bmp, gone);
    ASSERT_EQ(ovinpdf_add_image(d.get(), gone.c_str()), OVINPDF_OK);
    std::filesystem::remove(gone);
    EXPECT_EQ(ovinpdf_save(d.get(), dir.file("out.pdf").c_str(), nullptr, nullptr),
              OVINPDF_IMAGE_ERROR);
    EXPECT_EQ(std::string(ovinpdf_last_error(d.get())),
              "cannot read " + q(gone) + ": No such file or directory");
    EXPECT_EQ(ovinpdf_add_bookmark(d.get(), "nothing", "x"), OVINPDF_PAGE_NOT_FOUND);
    EXPECT_EQ(std::string(ovinpdf_last_error(d.get())), "no page named 'nothing'");
    EXPECT_NE(ovinpdf_set_resolution(d.get(), -1), OVINPDF_OK);
    EXPECT_EQ(ovinpdf_set_jpeg_quality(d.get(), 101), OVINPDF_INVALID_ARGUMENT);
    EXPECT_EQ(ovinpdf_set_jpeg_quality(d.get(), -1), OVINPDF_INVALID_ARGUMENT);
    // Dates a PDF date can hold (four digits for the year), pages readers draw.
    EXPECT_EQ(ovinpdf_set_modification_date(d.get(), 253402300799), OVINPDF_OK);
    EXPECT_EQ(ovinpdf_set_modification_date(d.get(), 253402300800), OVINPDF_INVALID_ARGUMENT);
    EXPECT_EQ(ovinpdf_set_creation_date(d.get(), INT64_MAX), OVINPDF_INVALID_ARGUMENT);
    EXPECT_EQ(ovinpdf_set_page_size(d.get(), 3, 3), OVINPDF_OK);
    EXPECT_EQ(ovinpdf_set_page_size(d.get(), 0.001, 0.001), OVINPDF_INVALID_ARGUMENT);
    EXPECT_EQ(ovinpdf_set_page_size(d.get(), 0, 0), OVINPDF_OK);
    // Borders that leave no room on the page, set after the size or before.
    EXPECT_EQ(ovinpdf_set_page_size(d.get(), 420, 595), OVINPDF_OK);
    EXPECT_EQ(ovinpdf_set_border(d.get(), 227, 0), OVINPDF_INVALID_ARGUMENT);
    EXPECT_EQ(ovinpdf_set_border(d.get(), 20, 20), OVINPDF_OK);
    EXPECT_EQ(ovinpdf_set_page_size(d.get(), 42, 42), OVINPDF_INVALID_ARGUMENT);
    EXPECT_EQ(ovinpdf_set_max_megapixels(d.get(), 0), OVINPDF_INVALID_ARGUMENT);
    EXPECT_EQ(ovinpdf_set_rotation(d.get(), 45), OVINPDF_INVALID_ARGUMENT);
    EXPECT_EQ(ovinpdf_add_text(nullptr, "x"), OVINPDF_INVALID_ARGUMENT);
}

TEST_F(apifixture, CancelFromTheCallbackLeavesNoFile) {
    const document d = newdocument();
    for (const std::string& file : pages("")) {
        ASSERT_EQ(ovinpdf_add_image(d.get(), file.c_str()), OVINPDF_OK);
    }
    const std::string out = dir.file("out.pdf");
    auto cancel = [](void*, uint32_t page, uint32_t, const char*) { return page == 2 ? 1 : 0; };
    EXPECT_EQ(ovinpdf_save(d.get(), out.c_str(), cancel, nullptr), OVINPDF_CANCELLED);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(apifixture, ResolutionOptionsAndOneWarningLinePerFile) {
    ovintest::tiffpage page = ovintest::bilevelpage(400, 200, 4, 5);
    page.xres = page.yres = 0;
    const std::string file = dir.file("nores.tif");
    ovintest::writetiff(file, {page, page});
    for (const auto& [option, dpi, width] : std::vector<std::tuple<int, double, std::string>>{
             {0, 0, "144"}, {1, 100, "288"}, {2, 400, "72"}}) {
        const document d = newdocument();
        if (option == 1) {
            ASSERT_EQ(ovinpdf_set_default_resolution(d.get(), dpi), OVINPDF_OK);
        } else if (option == 2) {
            ASSERT_EQ(ovinpdf_set_resolution(d.get(), dpi), OVINPDF_OK);
        }
        ASSERT_EQ(ovinpdf_add_image(d.get(), file.c_str()), OVINPDF_OK);
        const std::string out = dir.file("res.pdf");
        ASSERT_EQ(ovinpdf_save(d.get(), out.c_str(), nullptr, nullptr), OVINPDF_OK);
        EXPECT_NE(ovintest::readbytes(out).find("/MediaBox[0 0 " + width + " "), std::string::npos)
            << option;
        const size_t expected = option == 2 ? 0 : 1;
        ASSERT_EQ(ovinpdf_warning_count(d.get()), expected) << option;
        if (expected == 1) {
            EXPECT_EQ(std::string(ovinpdf_warning(d.get(), 0)),
                      ovin::quotename(file) + ": no resolution, " +
                          std::to_string(static_cast<int>(dpi > 0 ? dpi : 200)) + " dpi assumed");
        }
    }
}

// Each handle is a document of its own: two saved at once from two threads
// give exactly the bytes they give one after the other.
TEST_F(apifixture, TwoThreadsSaveTwoDocumentsAtOnce) {
    std::vector<std::string> files[2] = {pages("a"), pages("b")};
    auto save = [&](int which, const std::string& out) {
        const document d(ovinpdf_document_new());
        for (const std::string& file : files[which]) {
            if (ovinpdf_add_image(d.get(), file.c_str()) != OVINPDF_OK) {
                return false;
            }
        }
        ovinpdf_set_title(d.get(), which == 0 ? "first" : "second");
        // Fixed dates: saves a second apart must still give the same bytes.
        ovinpdf_set_creation_date(d.get(), 1700000000);
        ovinpdf_set_modification_date(d.get(), 1700000000);
        return ovinpdf_save(d.get(), out.c_str(), nullptr, nullptr) == OVINPDF_OK;
    };
    ASSERT_TRUE(save(0, dir.file("a1.pdf")));
    ASSERT_TRUE(save(1, dir.file("b1.pdf")));
    bool ok[2] = {false, false};
    std::thread first([&] { ok[0] = save(0, dir.file("a2.pdf")); });
    std::thread second([&] { ok[1] = save(1, dir.file("b2.pdf")); });
    first.join();
    second.join();
    ASSERT_TRUE(ok[0] && ok[1]);
    EXPECT_EQ(ovintest::readbytes(dir.file("a2.pdf")), ovintest::readbytes(dir.file("a1.pdf")));
    EXPECT_EQ(ovintest::readbytes(dir.file("b2.pdf")), ovintest::readbytes(dir.file("b1.pdf")));
}

} // namespace

// A text page keeps its line breaks, breaks a word longer than a line and
// runs on over as many pages as it needs; a bookmark still opens the page
// it was made for.
TEST_F(apifixture, TextRunsOnOverPagesWithItsLinesAndBookmarks) {
    std::string text = "First line\r\nSecond line\n\n" + std::string(300, 'x') + "\n";
    for (int k = 0; k < 3000; ++k) {
        text += "w" + std::to_string(k) + (k % 50 == 49 ? "\n" : " ");
    }
    const std::string image = dir.file("after.tif");
    ovintest::writetiff(image, {ovintest::bilevelpage(200, 120, 4, 3)});
    const document d = newdocument();
    double w = 0, h = 0;
    ASSERT_TRUE(ovinpdf_page_size_from_text("A5", &w, &h));
    ASSERT_EQ(ovinpdf_set_page_size(d.get(), w, h), OVINPDF_OK);
    ASSERT_EQ(ovinpdf_add_text(d.get(), text.c_str()), OVINPDF_OK);
    ASSERT_EQ(ovinpdf_add_image(d.get(), image.c_str()), OVINPDF_OK);
    ASSERT_EQ(ovinpdf_add_bookmark(d.get(), image.c_str(), "Image"), OVINPDF_OK);
    const std::string out = dir.file("text.pdf");
    ASSERT_EQ(ovinpdf_save(d.get(), out.c_str(), nullptr, nullptr), OVINPDF_OK)
        << ovinpdf_last_error(d.get());
    ASSERT_TRUE(ovintest::qpdfcheck(out));

    // Every word, in order, each page full but the last.
    const std::string seen = ovintest::pdftotext(out);
    EXPECT_NE(seen.find("First line\nSecond line\n"), std::string::npos) << seen.substr(0, 200);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 'x'), 300);
    std::istringstream words(seen);
    int next = 0;
    for (std::string word; words >> word;) {
        if (word.starts_with('w')) {
            ASSERT_EQ(word, "w" + std::to_string(next++));
        }
    }
    EXPECT_EQ(next, 3000);
    const std::string info = ovintest::runcommand("pdfinfo '" + out + "'").output;
    const int pages = std::atoi(info.c_str() + info.find("Pages:") + 6);
    EXPECT_GT(pages, 4);
    // The bookmark opens the image, the last page.
    const std::string outline = ovintest::runcommand("mutool show '" + out + "' outline").output;
    EXPECT_NE(outline.find("\"Image\"\t#page=" + std::to_string(pages)), std::string::npos)
        << outline;
}
