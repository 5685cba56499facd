// HEIC, AVIF and JPEG XL pages through the document face, from files made
// by libheif's and libjxl's own encoders: each page must render in poppler
// and MuPDF as those libraries decode the file (lossless pages exactly,
// lossy ones, coded again as JPEG at quality 92, within that coding's
// tolerance), a JPEG recompressed into JPEG XL must come back byte for
// byte, and damaged files are refused with the file's name.
#include "documentpdf.h"
#include "fuzzseeds.h"
#include "heifjxlfixtures.h"
#include "jpegfixtures.h"
#include "pagecheck.h"
#include "pdftools.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using bytes = std::vector<uint8_t>;
using ovintest::pagecase;
using ovintest::pictureoptions;

// A second JPEG coding at quality 92 (chroma halved each way) of these
// small, saturated patterns moves samples by 4 to 9 on average and by up
// to 123 at sharp colour edges; a page in the wrong colours or turned is
// far off on average.
constexpr int kSecondCoding = 128;
constexpr double kSecondCodingMean = 10;

pictureoptions picture(bool alpha = false, int orientation = 1) {
    pictureoptions o;
    o.alpha = alpha;
    o.orientation = orientation;
    return o;
}

TEST(HeifJxl, PagesLookAsTheirLibrariesDecodeThem) {
    std::vector<pagecase> cases;
    const auto heif = [&](const std::string& name, const pictureoptions& o, bool av1,
                          std::vector<std::string> dictionary) {
        const bytes file = ovintest::makeheif(o, av1);
        ASSERT_FALSE(file.empty()) << "libheif has no " << (av1 ? "AV1" : "HEVC") << " encoder";
        cases.push_back({name, file, ovintest::decodeheif(file), 200, kSecondCoding,
                         std::move(dictionary), file.size() < 4096, kSecondCodingMean});
    };
    heif("plain.heic", picture(), false, {"/DCTDecode", "/Width 48/Height 32"});
    heif("alpha.heic", picture(true), false, {"/DCTDecode", "/SMask"});
    // Turned a quarter by the file's transform: the page stands upright.
    heif("turned.heic", picture(false, 6), false, {"/Width 32/Height 48"});
    heif("plain.avif", picture(), true, {"/DCTDecode"});
    const auto jxl = [&](const std::string& name, pictureoptions o, int tolerance,
                         std::vector<std::string> dictionary) {
        const bytes file = ovintest::makejxl(o);
        cases.push_back({name, file, ovintest::decodejxl(file), 200, tolerance,
                         std::move(dictionary), file.size() < 4096,
                         o.lossless ? -1 : kSecondCodingMean});
    };
    pictureoptions lossless = picture();
    lossless.lossless = true;
    jxl("lossless.jxl", lossless, 0, {"/FlateDecode", "/BitsPerComponent 8"});
    pictureoptions deep = lossless;
    deep.grey = true;
    deep.bits = 16;
    jxl("grey16.jxl", deep, 1, {"/BitsPerComponent 16"});
    pictureoptions clear = lossless;
    clear.alpha = true;
    clear.orientation = 8;
    jxl("alpha_turned.jxl", clear, 1, {"/SMask", "/Width 32/Height 48"});
    jxl("lossy.jxl", picture(), kSecondCoding, {"/DCTDecode"});
    for (const pagecase& c : cases) {
        if (c.seed) {
            ovintest::fuzzseed(c.name.ends_with(".jxl") ? "jxl" : "heif", c.name, c.file);
        }
    }
    ovintest::checkpages(cases, "%PDF-1.5");
    // Kept lossless, the lossy pages are exactly their decoded pixels.
    std::vector<pagecase> kept;
    for (pagecase c : cases) {
        if (c.mean >= 0) {
            c.tolerance = 1;
            c.mean = -1;
            c.dictionary = {"/FlateDecode"};
            kept.push_back(std::move(c));
        }
    }
    ovin::documentoptions keep = ovin::documentdefaults();
    keep.lossless = true;
    ovintest::checkpages(kept, "%PDF-1.", keep);
}

// The lossy pages are JPEG by default with one line that says so, Flate
// with lossless on; a JPEG inside JPEG XL comes back as it was.
TEST(HeifJxl, LossyCodingLosslessOptionAndRecompressedJpeg) {
    ovintest::tempdir dir;
    const std::string heic = dir.file("photo.heic");
    const std::string lossy = dir.file("lossy.jxl");
    const std::string packed = dir.file("packed.jxl");
    const bytes photo = ovintest::makeheif(picture(), false);
    ovintest::writebytes(heic, std::string(photo.begin(), photo.end()));
    const bytes jxl = ovintest::makejxl(picture());
    ovintest::writebytes(lossy, std::string(jxl.begin(), jxl.end()));
    const bytes jpeg = ovintest::makejpeg(64, 48, ovintest::jpegpattern(64, 48, 3));
    const bytes inside = ovintest::jxlfromjpeg(jpeg);
    ovintest::writebytes(packed, std::string(inside.begin(), inside.end()));
    for (const bool keep : {false, true}) {
        ovin::documentoptions options = ovin::documentdefaults();
        options.lossless = keep;
        const ovintest::documentpdf made =
            ovintest::makedocumentpdf({heic, lossy, packed}, dir.file("out.pdf"), options);
        ASSERT_EQ(made.code, 0) << made.error;
        EXPECT_EQ(made.qpdf, "");
        for (int32_t object : {1, 4}) {
            EXPECT_NE(made.pdf.object(object).find(keep ? "/FlateDecode" : "/DCTDecode"),
                      std::string::npos)
                << made.pdf.object(object);
        }
        EXPECT_EQ(made.pdf.stream(7), std::string(jpeg.begin(), jpeg.end()));
        const bool told = std::any_of(made.warnings.begin(), made.warnings.end(), [](auto& w) {
            return w.find("coded again as JPEG at quality 92") != std::string::npos;
        });
        EXPECT_EQ(told, !keep);
    }
}

TEST(HeifJxl, DamagedFilesAreRefusedWithTheirName) {
    ovintest::tempdir dir;
    bytes heic = ovintest::makeheif(picture(), false);
    bytes jxl = ovintest::makejxl(picture());
    bytes packed =
        ovintest::jxlfromjpeg(ovintest::makejpeg(64, 48, ovintest::jpegpattern(64, 48, 3)));
    const std::vector<std::pair<std::string, bytes>> damaged = {
        {"cut.heic", bytes(heic.begin(), heic.begin() + static_cast<ptrdiff_t>(heic.size() / 2))},
        {"garbage.heic",
         [] {
             bytes b = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'};
             b.resize(300, 0xA5);
             return b;
         }()},
        {"cut.jxl", bytes(jxl.begin(), jxl.begin() + static_cast<ptrdiff_t>(jxl.size() / 2))},
        {"garbage.jxl", bytes{0xFF, 0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 2, 3}},
        {"cutjpeg.jxl",
         bytes(packed.begin(), packed.begin() + static_cast<ptrdiff_t>(packed.size() * 3 / 4))},
    };
    for (const auto& [name, file] : damaged) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        ovintest::writebytes(path, std::string(file.begin(), file.end()));
        const ovintest::documentpdf made = ovintest::makedocumentpdf(path, dir.file("out.pdf"));
        EXPECT_NE(made.code, 0);
        EXPECT_NE(made.error.find(name), std::string::npos) << made.error;
        if (file.size() < 4096) {
            ovintest::fuzzseed(name.ends_with(".jxl") ? "jxl" : "heif", name, file);
        }
    }
}

} // namespace
