// Text recognition through the document API: scanned pages made here (words
// drawn at known places) come back from pdftotext word for word, each
// where it was drawn, over image data kept as it was; a missing language
// and a Cancel during recognition leave no file; odd pages do no harm.
#include "ovinpdf_document.h"

#include "jpegfixtures.h"
#include "pdfacheck.h"
#include "pdftools.h"
#include "textscan.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

namespace {

struct deleter {
    void operator()(ovinpdf_document* d) const { ovinpdf_document_free(d); }
};
using document = std::unique_ptr<ovinpdf_document, deleter>;

struct bboxword {
    std::string text;
    double xmin, ymin, xmax, ymax;
};

// The words of `pdftotext -bbox`, page by page.
std::vector<std::vector<bboxword>> bboxwords(const std::string& pdf) {
    const ovintest::commandresult r = ovintest::runcommand("pdftotext -bbox '" + pdf + "' -");
    std::vector<std::vector<bboxword>> pages;
    static const std::regex kWord(
        R"re(<word xMin="([-0-9.]+)" yMin="([-0-9.]+)" xMax="([-0-9.]+)" yMax="([-0-9.]+)">([^<]*)</word>)re");
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (line.find("<page ") != std::string::npos) {
            pages.emplace_back();
        } else if (std::regex_search(line, m, kWord) && !pages.empty()) {
            pages.back().push_back(
                {m[5], std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4])});
        }
    }
    return pages;
}

// At least 95% of the drawn words found, and every recognised word within
// a few points of the drawn word nearest to it.
void expectwords(const std::vector<ovintest::drawnword>& drawn, const std::vector<bboxword>& found,
                 double size) {
    constexpr double kFew = 4;
    size_t matched = 0;
    for (const ovintest::drawnword& d : drawn) {
        for (const bboxword& f : found) {
            if (f.text == d.text && std::fabs(f.xmin - d.left) < kFew &&
                std::fabs(f.ymax - d.baseline) < size) {
                ++matched;
                break;
            }
        }
    }
    EXPECT_GE(static_cast<double>(matched), 0.95 * static_cast<double>(drawn.size()))
        << matched << " of " << drawn.size() << " words found in place";
    for (const bboxword& f : found) {
        const ovintest::drawnword* nearest = nullptr;
        double best = 1e9;
        for (const ovintest::drawnword& d : drawn) {
            const double distance = std::fabs(f.xmin - d.left) + std::fabs(f.ymax - d.baseline);
            if (distance < best) {
                best = distance;
                nearest = &d;
            }
        }
        ASSERT_NE(nearest, nullptr);
        // The glyphs' box: DejaVu's ascender and descender.
        EXPECT_NEAR(f.xmin, nearest->left, kFew) << f.text;
        EXPECT_NEAR(f.xmax, nearest->right, kFew) << f.text << " / " << nearest->text;
        EXPECT_NEAR(f.ymin, nearest->baseline - 0.76 * size, kFew) << f.text;
        EXPECT_NEAR(f.ymax, nearest->baseline + 0.24 * size, kFew) << f.text;
    }
}

int32_t save(const std::vector<std::string>& files, const std::string& pdf, bool pdfa,
             bool orient = false, const char* languages = "eng", std::string* error = nullptr) {
    const document d(ovinpdf_document_new());
    for (const std::string& file : files) {
        EXPECT_EQ(ovinpdf_add_image(d.get(), file.c_str()), OVINPDF_OK)
            << ovinpdf_last_error(d.get());
    }
    EXPECT_EQ(ovinpdf_set_ocr(d.get(), languages), OVINPDF_OK);
    EXPECT_EQ(ovinpdf_set_ocr_orient(d.get(), orient), OVINPDF_OK);
    EXPECT_EQ(ovinpdf_set_pdfa(d.get(), pdfa), OVINPDF_OK);
    const int32_t code = ovinpdf_save(d.get(), pdf.c_str(), nullptr, nullptr);
    if (error != nullptr) {
        *error = ovinpdf_last_error(d.get());
    }
    return code;
}

TEST(ocr, AScannedLetterComesBackWordByWordWhereItWasDrawn) {
    ovintest::tempdir dir;
    const ovintest::textscan scan = ovintest::scantext(ovintest::letterlines(24, 7));
    ovintest::jpegoptions options;
    options.components = 1;
    const std::vector<uint8_t> jpeg = ovintest::makejpeg(
        static_cast<uint32_t>(scan.width), static_cast<uint32_t>(scan.height), scan.grey, options);
    const std::string image = dir.file("letter.jpg");
    ovintest::savejpeg(image, jpeg);
    const std::string pdf = dir.file("letter.pdf");
    ASSERT_EQ(save({image}, pdf, true), OVINPDF_OK);

    std::string qpdf;
    EXPECT_TRUE(ovintest::qpdfcheck(pdf, &qpdf)) << qpdf;
    EXPECT_EQ(ovintest::pdfaproblems(pdf), std::vector<std::string>{});
    EXPECT_NE(ovintest::readbytes(pdf).find(std::string(jpeg.begin(), jpeg.end())),
              std::string::npos)
        << "the JPEG is not in the PDF byte for byte";
    const auto pages = bboxwords(pdf);
    ASSERT_EQ(pages.size(), 1U);
    expectwords(scan.words, pages[0], 12);
    // Copying gives the words in reading order.
    EXPECT_NE(ovintest::pdftotext(pdf).find(ovintest::letterlines(24, 7)[3]), std::string::npos);
}

TEST(ocr, GroupFourGreyAndColourPagesTurnedUprightWhereAsked) {
    ovintest::tempdir dir;
    constexpr double kHigh = 300; // points: a third of A4
    std::vector<ovintest::textscan> scans;
    for (uint32_t k = 0; k < 3; ++k) {
        scans.push_back(
            ovintest::scantext(ovintest::letterlines(8, 20 + k), 300, 12, 595.28, kHigh, 40));
    }
    const auto w = static_cast<uint32_t>(scans[0].width);
    const auto h = static_cast<uint32_t>(scans[0].height);
    // Group 4 (1 is black) and uncompressed grey pages of one TIFF.
    ovintest::tiffpage g4;
    g4.width = w;
    g4.height = h;
    g4.compression = 4;
    g4.photometric = 0;
    g4.pixels.assign(size_t{g4.rowbytes()} * h, 0);
    for (size_t i = 0; i < scans[0].grey.size(); ++i) {
        if (scans[0].grey[i] < 128) {
            g4.pixels[(i / w) * g4.rowbytes() + (i % w) / 8] |=
                static_cast<uint8_t>(0x80 >> (i % w % 8));
        }
    }
    ovintest::tiffpage grey;
    grey.width = w;
    grey.height = h;
    grey.bits = 8;
    grey.photometric = 1;
    grey.pixels = scans[1].grey;
    const std::string tif = dir.file("pages.tif");
    ovintest::writetiff(tif, {g4, grey});
    // A colour page scanned upside down.
    std::vector<uint8_t> rgb;
    for (auto at = scans[2].grey.rbegin(); at != scans[2].grey.rend(); ++at) {
        rgb.insert(rgb.end(),
                   {static_cast<uint8_t>(*at / 2 + 100), *at, static_cast<uint8_t>(*at * 3 / 4)});
    }
    const std::string jpg = dir.file("colour.jpg");
    ovintest::savejpeg(jpg, ovintest::makejpeg(w, h, rgb));

    const std::string pdf = dir.file("mixed.pdf");
    ASSERT_EQ(save({tif, jpg}, pdf, true, true), OVINPDF_OK);
    std::string qpdf;
    EXPECT_TRUE(ovintest::qpdfcheck(pdf, &qpdf)) << qpdf;
    EXPECT_EQ(ovintest::pdfaproblems(pdf), std::vector<std::string>{});
    EXPECT_NE(ovintest::readbytes(pdf).find("/Rotate 180"), std::string::npos);
    const auto pages = bboxwords(pdf);
    ASSERT_EQ(pages.size(), 3U);
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE("page " + std::to_string(k + 1));
        expectwords(scans[k].words, pages[k], 12);
    }
}

TEST(ocr, AnLzwTiffPageIsRead) {
    ovintest::tempdir dir;
    const ovintest::textscan scan =
        ovintest::scantext(ovintest::letterlines(3, 40), 300, 12, 595.28, 150, 40);
    ovintest::tiffpage grey;
    grey.width = static_cast<uint32_t>(scan.width);
    grey.height = static_cast<uint32_t>(scan.height);
    grey.bits = 8;
    grey.photometric = 1;
    grey.compression = 5;
    grey.predictor = 2;
    grey.pixels = scan.grey;
    const std::string tif = dir.file("lzw.tif");
    ovintest::writetiff(tif, {grey});
    const std::string pdf = dir.file("lzw.pdf");
    ASSERT_EQ(save({tif}, pdf, false), OVINPDF_OK);
    const auto pages = bboxwords(pdf);
    ASSERT_EQ(pages.size(), 1U);
    expectwords(scan.words, pages[0], 12);
}

TEST(ocr, AMissingLanguageIsRefusedNamingItsPackage) {
    ovintest::tempdir dir;
    const std::string image = dir.file("small.jpg");
    ovintest::savejpeg(image, ovintest::makejpeg(64, 48, ovintest::jpegpattern(64, 48, 3)));
    std::string error;
    EXPECT_NE(save({image}, dir.file("out.pdf"), false, false, "eng+zz_qq", &error), OVINPDF_OK);
    EXPECT_NE(error.find("tesseract-ocr-zz-qq"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.pdf")));
    const document d(ovinpdf_document_new());
    EXPECT_NE(ovinpdf_set_ocr(d.get(), "eng+"), OVINPDF_OK);
    EXPECT_NE(ovinpdf_set_ocr(d.get(), "../eng"), OVINPDF_OK);
    EXPECT_EQ(ovinpdf_set_ocr(d.get(), nullptr), OVINPDF_OK);
}

TEST(ocr, CancelDuringRecognitionLeavesNoFile) {
    ovintest::tempdir dir;
    const ovintest::textscan scan = ovintest::scantext(ovintest::letterlines(30, 3));
    const std::string image = dir.file("page.jpg");
    ovintest::jpegoptions options;
    options.components = 1;
    ovintest::savejpeg(image,
                       ovintest::makejpeg(static_cast<uint32_t>(scan.width),
                                          static_cast<uint32_t>(scan.height), scan.grey, options));
    const document d(ovinpdf_document_new());
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(ovinpdf_add_image(d.get(), image.c_str()), OVINPDF_OK);
    }
    ASSERT_EQ(ovinpdf_set_ocr(d.get(), "eng"), OVINPDF_OK);
    std::vector<std::string> statuses;
    const auto progress = [](void* context, uint32_t, uint32_t, const char* status) {
        auto* seen = static_cast<std::vector<std::string>*>(context);
        seen->push_back(status);
        return std::string(status).starts_with("Recognising") ? 1 : 0;
    };
    const std::string pdf = dir.file("cancelled.pdf");
    EXPECT_EQ(ovinpdf_save(d.get(), pdf.c_str(), progress, &statuses), OVINPDF_CANCELLED);
    EXPECT_FALSE(std::filesystem::exists(pdf));
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), "Recognising page 1 of 4");
}

TEST(ocr, OddPagesAreSavedWithoutText) {
    ovintest::tempdir dir;
    // One pixel, a large blank page, a blank bilevel page.
    const std::string dot = dir.file("dot.jpg");
    ovintest::jpegoptions inch;
    inch.xdensity = inch.ydensity = 1;
    ovintest::savejpeg(dot, ovintest::makejpeg(1, 1, {0, 0, 0}, inch));
    const std::string blank = dir.file("blank.jpg");
    ovintest::jpegoptions grey;
    grey.components = 1;
    grey.xdensity = grey.ydensity = 72;
    ovintest::savejpeg(blank,
                       ovintest::makejpeg(6000, 8000, std::vector<uint8_t>(48'000'000, 255), grey));
    ovintest::tiffpage g4 = ovintest::bilevelpage(2480, 200, 4, 1);
    g4.pixels.assign(g4.pixels.size(), 0);
    const std::string tif = dir.file("bilevel.tif");
    ovintest::writetiff(tif, {g4});
    const std::string pdf = dir.file("odd.pdf");
    ASSERT_EQ(save({dot, blank, tif}, pdf, false), OVINPDF_OK);
    EXPECT_TRUE(ovintest::qpdfcheck(pdf));
}

} // namespace
