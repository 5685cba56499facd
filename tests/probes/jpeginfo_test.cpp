// The JPEG probe against files written by libjpeg-turbo and hand-made
// streams; sizes are checked against what libjpeg itself reads.
#include "classicprobes.h"
#include "jpegfixtures.h"
#include "readers/bytesource.h"
#include "readers/jpeg.h"

#include "pdftools.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

using ovintest::jpegbytes;
using ovintest::jpegoptions;

class JpegProbe : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_.file(name); }

    // Probes the bytes as the file `name` in the test's folder.
    bool probe(const std::vector<uint8_t>& bytes, ovintest::classicjpeg& info,
               const std::string& name = "t.jpg") {
        ovin::memorysource source(bytes);
        return info.read(source, path(name));
    }

    ovintest::tempdir dir_;
};

std::vector<uint8_t> libjpegfile(uint32_t w, uint32_t h, const jpegoptions& opt) {
    return ovintest::makejpeg(w, h, ovintest::jpegpattern(w, h, opt.components), opt);
}

TEST_F(JpegProbe, ReadsWhatLibjpegReads) {
    struct kind {
        int components;
        bool progressive;
    };
    for (const kind k :
         {kind{3, false}, kind{1, false}, kind{4, false}, kind{3, true}, kind{1, true}}) {
        SCOPED_TRACE(std::to_string(k.components) + (k.progressive ? " progressive" : ""));
        jpegoptions opt;
        opt.components = k.components;
        opt.progressive = k.progressive;
        const auto bytes = libjpegfile(37, 23, opt);
        ASSERT_FALSE(bytes.empty());
        const auto ref = ovintest::decodejpeg(bytes);
        ASSERT_TRUE(ref.ok) << ref.error;

        ovintest::classicjpeg info;
        ASSERT_TRUE(probe(bytes, info)) << info.errortext;
        EXPECT_EQ(info.width, ref.width);
        EXPECT_EQ(info.height, ref.height);
        EXPECT_EQ(info.components, ref.components);
        EXPECT_EQ(info.filesize, static_cast<int64_t>(bytes.size()));
        EXPECT_EQ(info.adobe, ref.adobe);
        EXPECT_TRUE(info.errortext.empty());
        EXPECT_EQ(info.ioerror, 0);
    }
}

TEST_F(JpegProbe, JfifDensitiesFollowTheirUnit) {
    struct row {
        uint8_t unit;
        uint16_t x, y;
        uint16_t dpix, dpiy;
    };
    // Dots per centimetre round to the nearest inch value, halves to even:
    // 25 -> 63.5 -> 64, 75 -> 190.5 -> 190.
    for (const row r : {row{1, 300, 300, 300, 300}, row{1, 72, 150, 72, 150},
                        row{2, 118, 118, 300, 300}, row{2, 25, 75, 64, 190},
                        row{2, 65535, 1, 65535, 3}, row{0, 1, 1, 0, 0}, row{3, 300, 300, 0, 0}}) {
        SCOPED_TRACE("unit " + std::to_string(r.unit) + " " + std::to_string(r.x));
        jpegoptions opt;
        opt.densityunit = r.unit;
        opt.xdensity = r.x;
        opt.ydensity = r.y;
        ovintest::classicjpeg info;
        ASSERT_TRUE(probe(libjpegfile(16, 16, opt), info)) << info.errortext;
        EXPECT_EQ(info.xdensity, r.dpix);
        EXPECT_EQ(info.ydensity, r.dpiy);
    }
}

TEST_F(JpegProbe, OnlyJfifSegmentsGiveDensities) {
    // No JFIF header at all, only Exif.
    jpegoptions exif;
    exif.jfif = false;
    exif.exif = true;
    ovintest::classicjpeg info;
    ASSERT_TRUE(probe(libjpegfile(20, 10, exif), info)) << info.errortext;
    EXPECT_EQ(info.xdensity, 0);
    EXPECT_EQ(info.ydensity, 0);
    EXPECT_EQ(info.width, 20u);

    // A JFXX extension segment after the JFIF one, whose bytes would read
    // as units 1 and 1000 dpi if taken for a JFIF header.
    jpegoptions jfxx;
    jfxx.extra.push_back({0xE0, {'J', 'F', 'X', 'X', 0, 0x13, 0, 1, 0x03, 0xE8, 0x03, 0xE8, 0, 0}});
    ASSERT_TRUE(probe(libjpegfile(20, 10, jfxx), info)) << info.errortext;
    EXPECT_EQ(info.xdensity, 300);
    EXPECT_EQ(info.ydensity, 300);

    // A JFIF header with thumbnail bytes: the next marker is found after them.
    jpegbytes b;
    b.soi().jfif(1, 200, 240, 30).sof(0xC0, 8, 48, 64, 1).sos().eoi();
    ASSERT_TRUE(probe(b.bytes(), info)) << info.errortext;
    EXPECT_EQ(info.xdensity, 200);
    EXPECT_EQ(info.ydensity, 240);
    EXPECT_EQ(info.width, 64u);
    EXPECT_EQ(info.height, 48u);
}

TEST_F(JpegProbe, AdobeSegmentIsReported) {
    jpegoptions cmyk;
    cmyk.components = 4;
    const auto withadobe = libjpegfile(24, 24, cmyk);
    ovintest::classicjpeg info;
    ASSERT_TRUE(probe(withadobe, info)) << info.errortext;
    EXPECT_TRUE(info.adobe);
    EXPECT_EQ(info.adobetransform, ovintest::decodejpeg(withadobe, true).adobetransform);
    EXPECT_EQ(info.components, 4);

    cmyk.adobe = false;
    ASSERT_TRUE(probe(libjpegfile(24, 24, cmyk), info)) << info.errortext;
    EXPECT_FALSE(info.adobe);
    EXPECT_EQ(info.components, 4);

    // After the frame header, before the scan: still seen.
    jpegbytes late;
    late.soi().sof(0xC0, 8, 8, 8, 4).adobe(2).sos().eoi();
    ASSERT_TRUE(probe(late.bytes(), info)) << info.errortext;
    EXPECT_TRUE(info.adobe);
    EXPECT_EQ(info.adobetransform, 2);

    // Too short to hold the transform byte: not an Adobe segment.
    jpegbytes shortseg;
    shortseg.soi().segment(0xEE, {'A', 'd', 'o', 'b', 'e', 0}).sof(0xC0, 8, 8, 8, 4).sos().eoi();
    ASSERT_TRUE(probe(shortseg.bytes(), info)) << info.errortext;
    EXPECT_FALSE(info.adobe);
}

TEST_F(JpegProbe, SmallFilesAreReadWhole) {
    // The frame header lies a few bytes before the end of the file.
    jpegbytes b;
    b.soi().jfif(1, 300, 300).sof(0xC1, 8, 3, 5, 3).sos().eoi();
    ovintest::classicjpeg info;
    ASSERT_TRUE(probe(b.bytes(), info)) << info.errortext;
    EXPECT_EQ(info.width, 5u);
    EXPECT_EQ(info.height, 3u);
    EXPECT_EQ(info.components, 3);
    EXPECT_EQ(info.filesize, static_cast<int64_t>(b.bytes().size()));

    // A file that ends after its frame header, or reaches its end marker
    // there, holds no picture: refused, not embedded as a broken page.
    jpegbytes cut;
    cut.soi().sof(0xC0, 8, 3, 5, 1);
    jpegbytes ended;
    ended.soi().sof(0xC0, 8, 3, 5, 1).eoi();
    for (const auto* scanless : {&cut, &ended}) {
        EXPECT_FALSE(probe(scanless->bytes(), info));
        EXPECT_EQ(info.errortext, "No image data (no start of scan) in " + path("t.jpg"));
    }
}

TEST_F(JpegProbe, ScanOrEndBeforeAnyFrameGivesSizeZero) {
    jpegbytes end;
    end.soi().jfif(1, 300, 300).eoi();
    jpegbytes scan;
    scan.soi().segment(0xDB, std::vector<uint8_t>(65, 1)).sos().eoi();
    for (const auto* b : {&end, &scan}) {
        ovintest::classicjpeg info;
        ASSERT_TRUE(probe(b->bytes(), info)) << info.errortext;
        EXPECT_EQ(info.width, 0u);
        EXPECT_EQ(info.height, 0u);
        EXPECT_EQ(info.components, 0);
    }
}

TEST_F(JpegProbe, FillBytesAndStandaloneMarkersAreSkipped) {
    jpegbytes b;
    b.soi().raw({0xFF, 0xFF}).jfif(1, 150, 150).marker(0xD0).marker(0x01).raw({0xFF});
    b.sof(0xC0, 8, 7, 9, 1).sos().eoi();
    ovintest::classicjpeg info;
    ASSERT_TRUE(probe(b.bytes(), info)) << info.errortext;
    EXPECT_EQ(info.width, 9u);
    EXPECT_EQ(info.height, 7u);
    EXPECT_EQ(info.xdensity, 150);
}

TEST_F(JpegProbe, NotAJpegFailsWithoutText) {
    ovintest::classicjpeg info;
    EXPECT_FALSE(probe({'B', 'M', 0, 0, 0, 0}, info));
    EXPECT_TRUE(info.errortext.empty());
    EXPECT_EQ(info.ioerror, 0);
    EXPECT_FALSE(info.showmessage);
}

TEST_F(JpegProbe, OpenFailuresAreForTheUser) {
    ovintest::classicjpeg info;
    const std::string missing = path("none.jpg");
    EXPECT_FALSE(info.readfile(missing));
    EXPECT_EQ(info.errortext, "Error - JPEG Image " + missing + " does not exist");
    EXPECT_TRUE(info.showmessage);
    EXPECT_EQ(info.ioerror, 0);

    // A socket exists but cannot be opened (even by root).
    const ovintest::unopenablefile unopenable(path("s.jpg"));
    ASSERT_TRUE(unopenable.ok());
    const std::string& sock = unopenable.path();
    EXPECT_FALSE(info.readfile(sock));
    EXPECT_EQ(info.errortext, "Access to " + sock + " is denied - error " + std::to_string(ENXIO));
    EXPECT_TRUE(info.showmessage);
}

TEST_F(JpegProbe, BrokenStructureIsRefused) {
    struct row {
        const char* what;
        jpegbytes bytes;
        std::string text;
    };
    std::vector<row> rows;
    rows.push_back(
        {"length 0", jpegbytes().soi().segment(0xE1, 0, {}).eoi(), "Invalid JPEG segment length"});
    rows.push_back(
        {"length 1", jpegbytes().soi().segment(0xE1, 1, {0}).eoi(), "Invalid JPEG segment length"});
    rows.push_back({"frame length 1", jpegbytes().soi().segment(0xC0, 1, {8, 0, 8, 0, 8, 1}),
                    "Invalid JPEG segment length"});
    rows.push_back({"frame length off by one",
                    jpegbytes().soi().segment(0xC0, 12, {8, 0, 8, 0, 8, 1, 1, 0x11, 0, 0}),
                    "Invalid JPEG segment length"});
    rows.push_back({"no marker", jpegbytes().soi().raw({0x12, 0x34, 0, 4, 0, 0}).eoi(),
                    "Invalid JPEG marker"});
    rows.push_back({"stuffed zero", jpegbytes().soi().raw({0xFF, 0x00, 0, 4, 0, 0}).eoi(),
                    "Invalid JPEG marker"});
    rows.push_back({"second SOI", jpegbytes().soi().soi().eoi(), "Invalid JPEG marker"});
    rows.push_back({"12-bit", jpegbytes().soi().sof(0xC1, 12, 8, 8, 1).eoi(),
                    "Unsupported JPEG coding (12-bit samples)"});
    rows.push_back({"2 components", jpegbytes().soi().sof(0xC0, 8, 8, 8, 2).eoi(),
                    "Unsupported number of JPEG colour components (2)"});
    rows.push_back({"height 0", jpegbytes().soi().sof(0xC0, 8, 0, 8, 3).eoi(),
                    "Unsupported JPEG image size 8 x 0"});
    rows.push_back({"width 0", jpegbytes().soi().sof(0xC2, 8, 8, 0, 1).eoi(),
                    "Unsupported JPEG image size 0 x 8"});
    const std::pair<uint8_t, const char*> codings[] = {
        {0xC3, "lossless"},
        {0xC5, "hierarchical"},
        {0xC6, "hierarchical, progressive"},
        {0xC7, "hierarchical, lossless"},
        {0xC9, "arithmetic"},
        {0xCA, "arithmetic, progressive"},
        {0xCB, "arithmetic, lossless"},
        {0xCD, "hierarchical, arithmetic"},
        {0xCE, "hierarchical, arithmetic, progressive"},
        {0xCF, "hierarchical, arithmetic, lossless"}};
    for (const auto& [code, name] : codings) {
        rows.push_back({name, jpegbytes().soi().sof(code, 8, 8, 8, 3).eoi(),
                        std::string("Unsupported JPEG coding (") + name + ")"});
    }
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        ovintest::classicjpeg info;
        EXPECT_FALSE(probe(r.bytes.bytes(), info));
        EXPECT_EQ(info.errortext, r.text + " in " + path("t.jpg"));
        EXPECT_EQ(info.ioerror, 0);
        EXPECT_FALSE(info.showmessage);
    }
}

TEST_F(JpegProbe, ArithmeticCodedFileFromLibjpegIsRefused) {
    jpegoptions opt;
    opt.arithmetic = true;
    const auto bytes = libjpegfile(16, 16, opt);
    if (bytes.empty()) {
        GTEST_SKIP() << "this libjpeg cannot write arithmetic coding";
    }
    ovintest::classicjpeg info;
    EXPECT_FALSE(probe(bytes, info));
    EXPECT_EQ(info.errortext, "Unsupported JPEG coding (arithmetic) in " + path("t.jpg"));
}

TEST_F(JpegProbe, MissingBytesAreReadErrors) {
    const auto full = libjpegfile(40, 30, jpegoptions{});
    size_t sof = 0;
    while (sof + 1 < full.size() && !(full[sof] == 0xFF && full[sof + 1] == 0xC0)) {
        ++sof;
    }
    ASSERT_LT(sof + 1, full.size());
    const std::string text = "I/O Error 100 while reading " + path("t.jpg");
    // Cut inside the frame header, inside an earlier segment, after the
    // start-of-image marker and inside it.
    for (const size_t keep : {sof + 6, sof - 10, size_t{2}, size_t{1}, size_t{0}}) {
        SCOPED_TRACE(keep);
        ovintest::classicjpeg info;
        EXPECT_FALSE(probe({full.begin(), full.begin() + static_cast<long>(keep)}, info));
        EXPECT_EQ(info.ioerror, 100);
        EXPECT_EQ(info.errortext, text);
        EXPECT_FALSE(info.showmessage);
    }
    // A segment whose length runs past the end of the file.
    jpegbytes b;
    b.soi().segment(0xE1, 400, std::vector<uint8_t>(100, 0)).sof(0xC0, 8, 8, 8, 1);
    ovintest::classicjpeg info;
    EXPECT_FALSE(probe(b.bytes(), info));
    EXPECT_EQ(info.ioerror, 100);
    EXPECT_EQ(info.errortext, text);
}

} // namespace
