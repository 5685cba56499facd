// WebP and GIF pages through the document face. Files made by libwebp's
// encoders and by giflib are saved into one PDF that qpdf checks; poppler
// and MuPDF must draw each page, one a frame, like libwebp or giflib
// decodes it (composed on the canvas, over white where it is transparent).
// Damaged files are refused with a message naming them. The fuzz targets'
// seeds come from the same files (OVIN_WRITE_FUZZ_SEEDS=1 rewrites
// fuzz/corpus/{webp,gif}).
#include "core/library.h"
#include "fuzzseeds.h"
#include "jpegfixtures.h"
#include "pagecheck.h"
#include "pagelook.h"
#include "readers/gif.h"
#include "readers/webp.h"
#include "webpgiffixtures.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using bytes = std::vector<uint8_t>;
using ovintest::pagecase;

// A lossy page is coded again as JPEG at quality 92. On these smooth
// patterns it was measured at most 6 away from libwebp's decoding in both
// readers (5 with alpha, where white shows through); 8 leaves room for
// other versions of the readers' JPEG decoders, and a page coded badly
// (wrong colours, swapped channels, lost alpha) is far outside it.
constexpr int kLossyTolerance = 8;

// Every frame of an animation a page: the first with the file, the others
// empty (further pages of the file before).
void addframes(std::vector<pagecase>& cases, const std::string& name, const bytes& file,
               const std::vector<ovintest::raster>& frames, bool seed, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        cases.push_back({i == 0 ? name : name + "#" + std::to_string(i + 1),
                         i == 0 ? file : bytes{},
                         frames.at(i),
                         200,
                         1,
                         {},
                         seed && i == 0});
    }
}

bytes gifpalette(int entries, int shift) {
    bytes palette;
    for (int i = 0; i < entries; ++i) {
        palette.push_back(uint8_t(i * 255 / (entries - 1)));
        palette.push_back(uint8_t((i * 97 + shift) % 256));
        palette.push_back(uint8_t(255 - i * 255 / (entries - 1)));
    }
    return palette;
}

// The animated GIF: a full first frame, a smaller one with a local table
// and a transparent index that is disposed of to the background, one left
// in place and one restored to what was before.
bytes animatedgif() {
    ovintest::gifoptions o;
    o.palette = gifpalette(8, 0);
    o.frames = {{0, 0, 40, 24, {}, -1, 1, false, 0},
                {5, 3, 20, 12, gifpalette(4, 50), 2, 2, false, 1},
                {10, 8, 25, 10, {}, 3, 1, true, 2},
                {0, 0, 12, 12, {}, -1, 3, false, 3},
                {30, 20, 20, 10, {}, 0, 0, false, 4}}; // partly off the screen
    return ovintest::makegif(o);
}

std::vector<pagecase> webpgifcases() {
    std::vector<pagecase> cases;
    const auto still = [&](const std::string& name, ovintest::webpoptions o,
                           std::vector<std::string> dictionary, bool seed) {
        const bytes file = ovintest::makewebp(o);
        const int tolerance = o.lossless ? o.alpha ? 1 : 0 : kLossyTolerance;
        cases.push_back(
            {name, file, ovintest::decodewebp(file).at(0), 200, tolerance, dictionary, seed});
    };
    ovintest::webpoptions o;
    still("lossy.webp", o, {"/Filter/DCTDecode"}, true);
    o.alpha = true;
    still("lossy_alpha.webp", o, {"/Filter/DCTDecode", "/SMask"}, true);
    o.lossless = true;
    still("lossless_alpha.webp", o, {"/SMask", "/Filter/FlateDecode"}, true);
    o.alpha = false;
    still("lossless.webp", o, {"/Filter/FlateDecode"}, true);
    o.icc = ovintest::srgbprofile();
    still("icc.webp", o, {"/ICCBased"}, false);
    cases.back().tolerance = 2;
    o.icc.clear();
    bytes exif = ovintest::exifpayload({6, 300, 300, 2, false});
    exif.erase(exif.begin(), exif.begin() + 6); // WebP's chunk holds no "Exif\0\0"
    o.exif = exif;
    still("exif6.webp", o, {}, true);
    cases.back().look = ovintest::oriented(cases.back().look, 6);
    cases.back().dpi = 300;
    o.exif.clear();
    o.frames = 4;
    o.alpha = true;
    const bytes anim = ovintest::makewebp(o);
    addframes(cases, "anim.webp", anim, ovintest::decodewebp(anim), true, 4);
    cases[cases.size() - 4].dictionary = {"/Filter/FlateDecode", "/SMask"}; // all lossless

    ovintest::gifoptions g;
    g.palette = gifpalette(16, 30);
    g.frames = {{0, 0, 40, 24, {}, -1, 0, false, 0}};
    const bytes single = ovintest::makegif(g);
    cases.push_back(
        {"single.gif", single, ovintest::decodegif(single).at(0), 200, 0, {"/Indexed"}, true});
    g.frames[0].interlaced = true;
    g.frames[0].seed = 7;
    const bytes interlaced = ovintest::makegif(g);
    cases.push_back({"interlaced.gif",
                     interlaced,
                     ovintest::decodegif(interlaced).at(0),
                     200,
                     0,
                     {"/Indexed"},
                     true});
    const bytes animated = animatedgif();
    addframes(cases, "anim.gif", animated, ovintest::decodegif(animated), true, 5);
    for (size_t i = cases.size() - 5; i < cases.size(); ++i) {
        cases[i].tolerance = 0;
    }
    return cases;
}

TEST(WebpGifPages, LookAsTheirLibrariesDecodeThem) {
    const std::string listing = ovintest::checkpages(webpgifcases(), "%PDF-1.");
    EXPECT_NE(listing.find("smask"), std::string::npos) << listing;
}

// With lossless on, the lossy page keeps libwebp's samples exactly; the
// first-frame switch makes an animation one page.
TEST(WebpGifPages, LosslessAndFirstFrame) {
    ovin::documentoptions options = ovin::documentdefaults();
    options.lossless = true;
    const bytes lossy = ovintest::makewebp({});
    ovintest::checkpages({{"lossy.webp",
                           lossy,
                           ovintest::decodewebp(lossy).at(0),
                           200,
                           0,
                           {"/Filter/FlateDecode"},
                           false}},
                         "%PDF-1.", options);
    options = ovin::documentdefaults();
    options.firstframe = true;
    ovintest::webpoptions o;
    o.frames = 3;
    const bytes anim = ovintest::makewebp(o);
    const bytes gif = animatedgif();
    ovintest::checkpages(
        {{"anim.webp", anim, ovintest::decodewebp(anim).at(0), 200, kLossyTolerance, {}, false},
         {"anim.gif", gif, ovintest::decodegif(gif).at(0), 200, 0, {}, false}},
        "%PDF-1.", options);
    // The shared line for lossy pages coded again.
    ovintest::tempdir dir;
    ovintest::writebytes(dir.file("a.webp"), std::string(lossy.begin(), lossy.end()));
    const ovintest::documentpdf s = ovintest::savefiles(dir, {dir.file("a.webp")});
    ASSERT_EQ(s.code, 0) << s.error;
    bool warned = false;
    for (const std::string& w : s.warnings) {
        warned =
            warned || w.find("lossy WebP coded again as JPEG at quality 92") != std::string::npos;
    }
    EXPECT_TRUE(warned);
}

// A memory source that counts the bytes read through it.
class countingsource final : public ovin::bytesource {
public:
    explicit countingsource(const bytes& file) : inner_({file.data(), file.size()}) {}
    uint64_t size() const override { return inner_.size(); }
    int64_t readat(uint64_t pos, void* buffer, size_t n, int& error) override {
        const int64_t got = inner_.readat(pos, buffer, n, error);
        read += got > 0 ? uint64_t(got) : 0;
        return got;
    }
    uint64_t read = 0;

private:
    ovin::memorysource inner_;
};

// Pages read in order with the reader's state lent from one to the next
// read the file a bounded number of times, however many frames it has.
TEST(WebpGifPages, AnimationsAreReadOnceInOrder) {
    ovintest::gifoptions g;
    g.palette = gifpalette(4, 0);
    g.frames.assign(40, {0, 0, 40, 24, {}, -1, 1, false, 0});
    ovintest::webpoptions w;
    w.frames = 40;
    const std::string name = "anim";
    for (const auto& [file, reader] : {std::pair{ovintest::makegif(g), &ovin::readgifpage},
                                       {ovintest::makewebp(w), &ovin::readwebppage}}) {
        countingsource source(file);
        std::shared_ptr<ovin::readerstate> state;
        ovin::imagedesc page;
        ASSERT_TRUE(reader({source, name, 1, ovin::imagedata::skip}, page).ok());
        const uint32_t pages = page.pagesinfile;
        EXPECT_GE(pages, 5U);
        for (uint32_t p = 1; p <= pages; ++p) {
            page.reset();
            ovin::readrequest request{source, name, p};
            request.state = &state;
            ASSERT_TRUE(reader(request, page).ok()) << p;
        }
        EXPECT_LE(source.read, 4 * file.size()) << pages << " pages";
    }
}

struct refusal {
    std::string name;
    bytes file;
    std::string message;
};

std::vector<refusal> refusals() {
    bytes cutwebp = ovintest::makewebp({});
    cutwebp.resize(cutwebp.size() / 2);
    // The RIFF size says more than the file holds; a VP8 frame says less.
    bytes longriff = ovintest::makewebp({});
    longriff[5] = uint8_t(longriff[5] + 1);
    bytes shortvp8 = ovintest::makewebp({});
    shortvp8.resize(shortvp8.size() - 20);
    shortvp8[4] = uint8_t(shortvp8[4] - 20);
    // An extended header with no image after it.
    bytes noframe = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8',
                     'X', 10,  0,   0,   0,  0, 0, 0, 0,   39,  0,   0,   23,  0,   0};
    ovintest::gifoptions g;
    g.palette = gifpalette(4, 0);
    g.frames = {{0, 0, 40, 24, {}, -1, 0, false, 0}};
    bytes cutgif = ovintest::makegif(g);
    cutgif.resize(cutgif.size() - 30);
    g.frames.clear();
    const bytes emptygif = ovintest::makegif(g);
    g.width = g.height = 65535;
    const bytes hugegif = ovintest::makegif(g);
    return {{"cut.webp", cutwebp, "the file is truncated"},
            {"long_riff.webp", longriff, "the file is truncated"},
            {"short_vp8.webp", shortvp8, "WebP file"},
            {"no_frame.webp", noframe, "WebP file"},
            {"cut.gif", cutgif, "the file is truncated"},
            {"no_frames.gif", emptygif, "no image frames"},
            {"huge_screen.gif", hugegif, "logical screen of 65535 x 65535 pixels"}};
}

TEST(WebpGifDamaged, AreRefusedWithAMessage) {
    for (const refusal& r : refusals()) {
        SCOPED_TRACE(r.name);
        ovintest::tempdir dir;
        ovintest::writebytes(dir.file(r.name), std::string(r.file.begin(), r.file.end()));
        const ovintest::documentpdf s = ovintest::savefiles(dir, {dir.file(r.name)});
        EXPECT_EQ(s.code, OVINPDF_IMAGE_ERROR);
        EXPECT_NE(s.error.find(r.message), std::string::npos) << s.error;
        EXPECT_NE(s.error.find(r.name), std::string::npos) << s.error;
    }
}

TEST(WebpGifSeeds, CommittedSeedsAreTheMadeOnes) {
    for (const pagecase& c : webpgifcases()) {
        if (c.seed) {
            ovintest::fuzzseed(c.name.ends_with(".gif") ? "gif" : "webp", c.name, c.file);
        }
    }
    for (const refusal& r : refusals()) {
        ovintest::fuzzseed(r.name.ends_with(".gif") ? "gif" : "webp", r.name, r.file);
    }
}

} // namespace
