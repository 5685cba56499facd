// The TIFF probe on real files written by libtiff (the delivered data must
// decode to the source pixels) and on hand-made files for the edge cases.
#include "classicprobes.h"
#include "readers/tiff/tiffinfo.h"

#include "tifffixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <numeric>

namespace {

using tiffinfo = ovintest::classictiff;
using ovintest::byteorder;
using ovintest::tiffbuilder;
using ovintest::tiffpage;

std::vector<uint8_t> delivered(tiffinfo& probe) {
    std::vector<uint8_t> data(probe.datasize());
    probe.copydata(data.data());
    return data;
}

uint8_t reversebits(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) {
        r = static_cast<uint8_t>(r | (((b >> i) & 1) << (7 - i)));
    }
    return r;
}

// ---------------------------------------------------------------------------
// Real single-strip files of every kind: the probe's tags and data, put back
// into a file of their own, decode through libtiff to the source pixels.

struct kind {
    const char* name;
    tiffpage page;
};

std::vector<kind> kinds() {
    auto g3two = ovintest::bilevelpage(67, 41, 3, 3);
    g3two.t4options = 1;
    auto g3aligned = ovintest::bilevelpage(64, 40, 3, 4);
    g3aligned.t4options = 4;
    auto white0 = ovintest::bilevelpage(50, 20, 1, 5);
    white0.photometric = 0;
    auto packed1 = ovintest::bilevelpage(90, 33, 32773, 6);
    auto fill2 = ovintest::bilevelpage(70, 30, 4, 7);
    fill2.fillorder = 2;
    auto fill2raw = ovintest::bilevelpage(70, 30, 1, 8);
    fill2raw.fillorder = 2;
    return {
        {"group4", ovintest::bilevelpage(123, 77, 4, 1)},
        {"group3_1d", ovintest::bilevelpage(100, 60, 3, 2)},
        {"group3_2d", g3two},
        {"group3_aligned", g3aligned},
        {"huffman", ovintest::bilevelpage(81, 29, 2, 9)},
        {"bilevel_blackis1", ovintest::bilevelpage(50, 20, 1, 10)},
        {"bilevel_whiteis0", white0},
        {"packbits_bilevel", packed1},
        {"packbits_grey", ovintest::greypage(40, 25, 32773, 11)},
        {"grey", ovintest::greypage(31, 17, 1, 12)},
        {"rgb", ovintest::rgbpage(29, 13, 13)},
        {"palette", ovintest::palettepage(33, 19, 14)},
        {"fillorder2_group4", fill2},
        {"fillorder2_raw", fill2raw},
    };
}

class tiffkinds : public ::testing::TestWithParam<std::tuple<kind, byteorder>> {};

TEST_P(tiffkinds, DeliversTagsAndDataThatDecodeToTheSourcePixels) {
    const auto& [k, order] = GetParam();
    const tiffpage& page = k.page;
    ovintest::tiffscratch dir;
    const std::string file = dir.path("in.tif");
    ovintest::writetiff(file, {page}, order);

    tiffinfo probe;
    ASSERT_TRUE(probe.readfile(file, 1)) << probe.geterrortext();
    EXPECT_FALSE(probe.haserror());
    EXPECT_EQ(probe.ioerror, 0);
    EXPECT_EQ(probe.width, page.width);
    EXPECT_EQ(probe.height, page.height);
    EXPECT_EQ(probe.pagecount, 1);
    EXPECT_EQ(probe.compression, page.compression);
    EXPECT_EQ(probe.bitspersample(), page.bits);
    EXPECT_EQ(probe.getphotometric(), page.photometric);
    EXPECT_EQ(probe.samplesperpixel, page.samples);
    EXPECT_EQ(probe.fillorder, page.fillorder);
    EXPECT_EQ(probe.t4options, page.t4options);
    EXPECT_EQ(probe.rowsperstrip, static_cast<int32_t>(page.height));
    EXPECT_EQ(probe.xres, 300u);
    EXPECT_EQ(probe.yres, 300u);
    EXPECT_EQ(probe.colormap, page.colormap);

    const auto data = delivered(probe);
    if (page.compression == 1) {
        // Uncompressed data is the pixels themselves, FillOrder 1.
        EXPECT_EQ(data, page.pixels);
    }
    const std::string copy = dir.path("copy.tif");
    ovintest::writerawtiff(copy, page, data);
    EXPECT_EQ(ovintest::decodetiff(copy, 1), page.pixels);
}

INSTANTIATE_TEST_SUITE_P(tiffinfo, tiffkinds,
                         ::testing::Combine(::testing::ValuesIn(kinds()),
                                            ::testing::Values(byteorder::little, byteorder::big)),
                         [](const auto& param) {
                             return std::string(std::get<0>(param.param).name) +
                                    (std::get<1>(param.param) == byteorder::big ? "_big"
                                                                                : "_little");
                         });

// ---------------------------------------------------------------------------
// Real files: strips, pages, resolution units.

TEST(tiffinfo, MultiStripPageDeliversEveryStripInOrder) {
    ovintest::tiffscratch dir;
    for (const auto order : {byteorder::little, byteorder::big}) {
        auto raw = ovintest::greypage(37, 50, 1, 21);
        raw.rowsperstrip = 8; // 7 strips, the last one short
        auto g4 = ovintest::bilevelpage(64, 50, 4, 22);
        g4.rowsperstrip = 16;
        const std::string file = dir.path("strips.tif");
        ovintest::writetiff(file, {raw, g4}, order);

        tiffinfo probe;
        ASSERT_TRUE(probe.readfile(file, 1)) << probe.geterrortext();
        EXPECT_EQ(probe.rowsperstrip, 8);
        EXPECT_EQ(delivered(probe), raw.pixels);

        ASSERT_TRUE(probe.readfile(file, 2)) << probe.geterrortext();
        EXPECT_EQ(probe.rowsperstrip, 16);
        EXPECT_EQ(probe.compression, 4);
        EXPECT_EQ(delivered(probe), ovintest::tiffrawdata(file, 2));
    }
}

TEST(tiffinfo, CountsEveryPageWhicheverIsAskedFor) {
    ovintest::tiffscratch dir;
    const std::string file = dir.path("three.tif");
    auto p1 = ovintest::bilevelpage(40, 30, 4, 1);
    auto p2 = ovintest::greypage(20, 10, 1, 2);
    p2.xres = 150;
    p2.yres = 75;
    auto p3 = ovintest::rgbpage(11, 7, 3);
    ovintest::writetiff(file, {p1, p2, p3});

    for (uint16_t page = 1; page <= 3; ++page) {
        tiffinfo probe;
        ASSERT_TRUE(probe.readfile(file, page)) << page << ": " << probe.geterrortext();
        EXPECT_EQ(probe.pagecount, 3);
    }
    tiffinfo probe;
    ASSERT_TRUE(probe.readfile(file, 2));
    EXPECT_EQ(probe.width, 20u);
    EXPECT_EQ(probe.xres, 150u);
    EXPECT_EQ(probe.yres, 75u);
    EXPECT_EQ(delivered(probe), p2.pixels);
    ASSERT_TRUE(probe.readfile(file, 3));
    EXPECT_EQ(delivered(probe), p3.pixels);

    // No such page: no tags are captured, yet all pages are counted.
    for (const uint16_t page : {uint16_t{0}, uint16_t{4}, uint16_t{65535}}) {
        tiffinfo none;
        EXPECT_FALSE(none.readfile(file, page));
        EXPECT_TRUE(none.haserror());
        EXPECT_EQ(none.geterrortext(), "Error - TIFF Compression 0 found in " + file);
        EXPECT_EQ(none.pagecount, 3);
        EXPECT_EQ(none.ioerror, 0);
    }
}

TEST(tiffinfo, ReusedObjectTakesNothingOverFromTheEarlierPage) {
    ovintest::tiffscratch dir;
    const std::string file = dir.path("two.tif");
    auto p1 = ovintest::bilevelpage(40, 30, 1, 1);
    p1.fillorder = 2;
    auto p2 = ovintest::bilevelpage(40, 30, 1, 2);
    p2.xres = p2.yres = 0;
    p2.resunit = 0;
    ovintest::writetiff(file, {p1, p2});

    tiffinfo probe;
    ASSERT_TRUE(probe.readfile(file, 1));
    EXPECT_EQ(probe.fillorder, 2);
    ASSERT_TRUE(probe.readfile(file, 2));
    EXPECT_EQ(probe.fillorder, 1);
    EXPECT_EQ(probe.xres, 0u);
    EXPECT_EQ(delivered(probe), p2.pixels);
    // copydata leaves the probe's data as it was: a second copy is equal.
    EXPECT_EQ(delivered(probe), p2.pixels);
}

TEST(tiffinfo, ResolutionUnitCentimetreBecomesDotsPerInch) {
    ovintest::tiffscratch dir;
    struct {
        double res;
        uint16_t unit;
        uint32_t dpi;
    } cases[] = {{118, 3, 300}, {47.25, 3, 120}, {300, 2, 300}, {72, 1, 72}, {96, 0, 96}};
    for (const auto& c : cases) {
        auto page = ovintest::bilevelpage(16, 16, 4);
        page.xres = page.yres = c.res;
        page.resunit = c.unit;
        ovintest::writetiff(dir.path("r.tif"), {page});
        tiffinfo probe;
        ASSERT_TRUE(probe.readfile(dir.path("r.tif"), 1));
        EXPECT_EQ(probe.xres, c.dpi) << c.res << " unit " << c.unit;
        EXPECT_EQ(probe.yres, c.dpi) << c.res << " unit " << c.unit;
    }
}

// ---------------------------------------------------------------------------
// Hand-made files.

struct handmade {
    ovintest::tiffscratch dir;
    std::string file = dir.path("hand.tif");

    tiffinfo probe(const tiffbuilder& b, uint16_t page = 1) {
        b.save(file);
        tiffinfo p;
        p.readfile(file, page);
        return p;
    }
};

const std::vector<uint8_t> kStrip = {0x01, 0x0F, 0x80, 0xAA, 0x55, 0xF0, 0x00, 0xFF};

// A 16 x 4 bilevel page with the given strips appended in order.
tiffbuilder& basicpage(tiffbuilder& b, uint16_t compression = 1) {
    return b.shorts(256, {16}).shorts(257, {4}).shorts(258, {1}).shorts(259, {compression});
}

TEST(tiffinfo, ResolutionRationalsAreReadAsTheFileMeansThem) {
    handmade h;
    struct {
        byteorder order;
        uint32_t num, den;
        uint16_t unit;
        uint32_t dpi;
    } cases[] = {
        {byteorder::little, 300, 1, 2, 300},
        {byteorder::big, 300, 1, 2, 300},
        {byteorder::big, 199, 2, 2, 100},
        {byteorder::little, 199, 2, 2, 100},
        {byteorder::little, 599, 2, 2, 300},
        {byteorder::big, 599, 2, 2, 300},
        {byteorder::little, 601, 2, 2, 300},
        {byteorder::little, 200, 3, 2, 67},
        {byteorder::little, 300, 0, 2, 0},
        {byteorder::little, 118, 1, 3, 300},
        {byteorder::big, 11811, 100, 3, 300},
        {byteorder::little, 25, 1, 3, 64},
        {byteorder::little, 0xFFFFFFFF, 1, 3, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        tiffbuilder b(c.order);
        const uint32_t data = b.append(kStrip);
        basicpage(b).longs(273, {data}).longs(279, {8}).rational(282, c.num, c.den);
        b.rational(283, c.num, c.den).shorts(296, {c.unit});
        b.endifd();
        auto p = h.probe(b);
        ASSERT_FALSE(p.haserror()) << p.geterrortext();
        EXPECT_EQ(p.xres, c.dpi) << c.num << "/" << c.den << " unit " << c.unit;
        EXPECT_EQ(p.yres, c.dpi) << c.num << "/" << c.den << " unit " << c.unit;
    }
}

TEST(tiffinfo, RowsPerStripBecomesHeightOnlyForOneStrip) {
    handmade h;
    {
        tiffbuilder b; // one strip, no RowsPerStrip
        const uint32_t data = b.append(kStrip);
        basicpage(b).longs(273, {data}).longs(279, {8});
        b.endifd();
        EXPECT_EQ(h.probe(b).rowsperstrip, 4);
    }
    {
        tiffbuilder b; // RowsPerStrip with all bits set
        const uint32_t data = b.append(kStrip);
        basicpage(b).longs(273, {data}).longs(278, {0xFFFFFFFF}).longs(279, {8});
        b.endifd();
        EXPECT_EQ(h.probe(b).rowsperstrip, 4);
    }
    {
        tiffbuilder b; // two strips, no RowsPerStrip
        const uint32_t data = b.append(kStrip);
        basicpage(b).longs(273, {data, data + 4}).longs(279, {4, 4});
        b.endifd();
        auto p = h.probe(b);
        EXPECT_EQ(p.rowsperstrip, -1);
        EXPECT_EQ(delivered(p), kStrip);
    }
}

TEST(tiffinfo, ShortStripArraysGiveTheSameCountsInBothByteOrders) {
    handmade h;
    for (const auto order : {byteorder::little, byteorder::big}) {
        // Two SHORT values held inside the entry, and three stored apart.
        for (const std::vector<uint16_t>& counts :
             {std::vector<uint16_t>{3, 5}, std::vector<uint16_t>{2, 2, 4}}) {
            tiffbuilder b(order);
            const uint32_t data = b.append(kStrip);
            std::vector<uint16_t> offsets;
            uint16_t at = static_cast<uint16_t>(data);
            for (uint16_t c : counts) {
                offsets.push_back(at);
                at = static_cast<uint16_t>(at + c);
            }
            basicpage(b).shorts(273, offsets).shorts(279, counts);
            b.endifd();
            auto p = h.probe(b);
            ASSERT_FALSE(p.haserror()) << p.geterrortext();
            EXPECT_EQ(delivered(p), kStrip);
        }
    }
}

TEST(tiffinfo, UnevenStripArraysUseTheCompletePairs) {
    handmade h;
    {
        tiffbuilder b; // three byte counts, two offsets
        const uint32_t data = b.append(kStrip);
        basicpage(b).longs(273, {data, data + 2}).longs(279, {2, 3, 3});
        b.endifd();
        auto p = h.probe(b);
        EXPECT_EQ(delivered(p), (std::vector<uint8_t>{0x01, 0x0F, 0x80, 0xAA, 0x55}));
    }
    {
        tiffbuilder b; // two offsets, one byte count
        const uint32_t data = b.append(kStrip);
        basicpage(b).longs(273, {data, data + 2}).longs(279, {4});
        b.endifd();
        auto p = h.probe(b);
        EXPECT_EQ(delivered(p), (std::vector<uint8_t>{0x01, 0x0F, 0x80, 0xAA}));
    }
}

TEST(tiffinfo, StripsRunningPastTheEndAreCutToTheBytesPresent) {
    handmade h;
    // The second strip starts 4 bytes before the end of the file and claims
    // 100000 bytes. The layout does not depend on the values, so a first
    // build gives the file size.
    const auto build = [](uint32_t second) {
        tiffbuilder b;
        basicpage(b).longs(273, {8, second}).longs(279, {10, 100000});
        b.endifd();
        return b;
    };
    const auto b = build(build(0).size() - 4);
    auto p = h.probe(b);
    ASSERT_FALSE(p.haserror()) << p.geterrortext();
    EXPECT_EQ(p.datasize(), 14u);
    const auto file = ovintest::tifffilebytes(h.file);
    auto data = delivered(p);
    ASSERT_EQ(data.size(), 14u);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 10, file.begin() + 8));
    EXPECT_TRUE(std::equal(data.begin() + 10, data.end(), file.end() - 4));
}

TEST(tiffinfo, DataTheFileCannotHoldIsAShortRead) {
    handmade h;
    const auto expectshortread = [&](const tiffbuilder& b, const char* what) {
        auto p = h.probe(b);
        EXPECT_TRUE(p.haserror()) << what;
        EXPECT_EQ(p.ioerror, 100) << what;
        EXPECT_EQ(p.geterrortext(), "I/O Error 100 while reading " + h.file) << what;
        EXPECT_EQ(p.datasize(), 0u) << what;
    };
    {
        tiffbuilder b; // a strip that starts beyond the end of the file
        basicpage(b).longs(273, {1000000}).longs(279, {8});
        b.endifd();
        expectshortread(b, "strip past the end");
    }
    {
        tiffbuilder b; // a billion strip offsets
        basicpage(b).raw(273, tiffbuilder::LONG, 0x40000000, 8).longs(279, {8});
        b.endifd();
        expectshortread(b, "huge strip array");
    }
    {
        tiffbuilder b; // BitsPerSample values outside the file
        b.shorts(256, {16}).shorts(257, {4}).raw(258, tiffbuilder::SHORT, 3, 0xFFFFFF00);
        b.endifd();
        expectshortread(b, "bit depths outside");
    }
    {
        tiffbuilder b; // a resolution outside the file
        basicpage(b).raw(282, tiffbuilder::RATIONAL, 1, 0x7FFFFFF0);
        b.endifd();
        expectshortread(b, "rational outside");
    }
    {
        tiffbuilder b; // 4000 strips all holding the whole file
        b.append(kStrip);
        basicpage(b)
            .longs(273, std::vector<uint32_t>(4000, 0))
            .longs(279, std::vector<uint32_t>(4000, 0xFFFFFFFF));
        b.endifd();
        expectshortread(b, "overlapping strips");
    }
    {
        tiffbuilder b; // JPEG header block longer than the file
        const uint32_t data = b.append(kStrip);
        basicpage(b, 6).longs(273, {data}).longs(279, {8}).longs(513, {data}).longs(514, {9999});
        b.endifd();
        expectshortread(b, "JPEG block outside");
    }
}

TEST(tiffinfo, OldStyleJpegDeliversTheHeaderBlockBeforeTheStrips) {
    handmade h;
    for (const auto order : {byteorder::little, byteorder::big}) {
        tiffbuilder b(order);
        const std::vector<uint8_t> header = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43};
        const uint32_t jpeg = b.append(header);
        const uint32_t data = b.append(kStrip);
        b.shorts(256, {16}).shorts(257, {4}).shorts(259, {6}).shorts(262, {6});
        b.longs(273, {data}).longs(279, {8}).longs(513, {jpeg}).longs(514, {6});
        b.endifd();
        auto p = h.probe(b);
        ASSERT_FALSE(p.haserror()) << p.geterrortext();
        EXPECT_EQ(p.bitspersample(), 8);
        EXPECT_EQ(p.datasize(), 14u);
        auto expected = header;
        expected.insert(expected.end(), kStrip.begin(), kStrip.end());
        EXPECT_EQ(delivered(p), expected);
    }
    for (const auto& [offset, length] : {std::pair<uint32_t, uint32_t>{0, 6}, {8, 0}}) {
        tiffbuilder b;
        const uint32_t data = b.append(kStrip);
        basicpage(b, 6).longs(273, {data}).longs(279, {8});
        b.longs(513, {offset}).longs(514, {length});
        b.endifd();
        auto p = h.probe(b);
        EXPECT_TRUE(p.haserror());
        EXPECT_EQ(p.geterrortext(), "Error - JPG Header or JPG Length is zero");
    }
}

TEST(tiffinfo, FillOrderTwoDeliversEveryByteBitReversed) {
    handmade h;
    tiffbuilder b;
    const uint32_t data = b.append(kStrip);
    basicpage(b).shorts(266, {2}).longs(273, {data}).longs(279, {8});
    b.endifd();
    auto p = h.probe(b);
    ASSERT_FALSE(p.haserror());
    const auto data1 = delivered(p);
    ASSERT_EQ(data1.size(), kStrip.size());
    EXPECT_EQ(data1[0], 0x80);
    EXPECT_EQ(data1[1], 0xF0);
    for (size_t i = 0; i < kStrip.size(); ++i) {
        EXPECT_EQ(data1[i], reversebits(kStrip[i]));
    }
}

TEST(tiffinfo, WideAndTallPagesKeepTheirFullSize) {
    handmade h;
    tiffbuilder b(byteorder::big);
    const uint32_t data = b.append(kStrip);
    b.longs(256, {70000}).longs(257, {100000}).shorts(259, {4});
    b.longs(273, {data}).longs(279, {8});
    b.endifd();
    auto p = h.probe(b);
    ASSERT_FALSE(p.haserror());
    EXPECT_EQ(p.width, 70000u);
    EXPECT_EQ(p.height, 100000u);
    EXPECT_EQ(p.rowsperstrip, 100000);
}

TEST(tiffinfo, DirectoryChainThatLoopsEnds) {
    handmade h;
    tiffbuilder b;
    const uint32_t data = b.append(kStrip);
    basicpage(b, 4).longs(273, {data}).longs(279, {8});
    const uint32_t first = b.endifd();
    basicpage(b, 4).longs(273, {data}).longs(279, {8});
    const uint32_t second = b.endifd();
    b.put32(b.nextfield(second), first); // second -> first
    for (const uint16_t page : {uint16_t{1}, uint16_t{2}}) {
        auto p = h.probe(b, page);
        EXPECT_FALSE(p.haserror()) << p.geterrortext();
        EXPECT_EQ(p.pagecount, 2);
    }
    b.put32(b.nextfield(second), second); // second -> itself
    EXPECT_EQ(h.probe(b, 2).pagecount, 2);
    b.put32(b.nextfield(first), first); // first -> itself
    EXPECT_EQ(h.probe(b, 1).pagecount, 1);
}

TEST(tiffinfo, WorstCaseFilesStayCheap) {
    handmade h;
    const auto timed = [&](const std::vector<uint8_t>& bytes, uint32_t page) {
        ovintest::tiffsavebytes(h.file, bytes);
        tiffinfo p;
        const auto started = std::chrono::steady_clock::now();
        p.readfile(h.file, page);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                  10.0);
        return p;
    };
    {
        // 70000 empty directories, each pointing at the next: every one
        // is a page, however many.
        std::vector<uint8_t> bytes = {'I', 'I', 42, 0, 8, 0, 0, 0};
        for (uint32_t i = 0; i < 70000; ++i) {
            const uint32_t next = i + 1 < 70000 ? 8 + 6 * (i + 1) : 0;
            bytes.insert(bytes.end(),
                         {0, 0, static_cast<uint8_t>(next), static_cast<uint8_t>(next >> 8),
                          static_cast<uint8_t>(next >> 16), 0});
        }
        auto p = timed(bytes, 70000);
        EXPECT_EQ(p.pagecount, 70000u);
        EXPECT_EQ(p.geterrortext(), "Error - TIFF Compression 0 found in " + h.file);
    }
    {
        // One directory of 65535 entries, each a StripOffsets array as
        // large as the file: read once.
        tiffbuilder b;
        for (int i = 0; i < 65535; ++i) {
            b.raw(273, tiffbuilder::LONG, 196000, 0);
        }
        b.endifd();
        auto p = timed(b.bytes(), 1);
        EXPECT_EQ(p.geterrortext(), "Error - TIFF Compression 0 found in " + h.file);
        EXPECT_EQ(p.ioerror, 0);
    }
}

TEST(tiffinfo, OddEntriesAreHandledSafely) {
    handmade h;
    {
        // A strip array of an unknown type with a huge count is skipped;
        // the first of two ImageWidth entries counts.
        tiffbuilder b;
        const uint32_t data = b.append(kStrip);
        basicpage(b).shorts(256, {99}).raw(273, 99, 0xFFFFFFFF, 0);
        b.longs(273, {data}).longs(279, {8}).longs(279, {1});
        b.endifd();
        auto p = h.probe(b);
        ASSERT_FALSE(p.haserror()) << p.geterrortext();
        EXPECT_EQ(p.width, 16u);
        EXPECT_EQ(delivered(p), kStrip);
    }
    {
        // Zero-count strip arrays, or strips of no bytes, give a page
        // without data: refused, not delivered as an empty image.
        tiffbuilder none;
        basicpage(none).raw(273, tiffbuilder::LONG, 0, 0).raw(279, tiffbuilder::LONG, 0, 0);
        none.endifd();
        tiffbuilder empty;
        basicpage(empty).longs(273, {8, 8}).longs(279, {0, 0});
        empty.endifd();
        for (const tiffbuilder* b : {&none, &empty}) {
            auto p = h.probe(*b);
            EXPECT_EQ(p.geterrortext(), "Error - TIFF page 1 has no image data in " + h.file);
            EXPECT_EQ(p.datasize(), 0u);
        }
    }
    {
        // A colour map of the wrong length is dropped.
        tiffbuilder b;
        const uint32_t data = b.append(kStrip);
        b.shorts(256, {8}).shorts(257, {1}).shorts(258, {8}).shorts(259, {1});
        b.shorts(262, {3}).longs(273, {data}).longs(279, {8});
        b.shorts(320, std::vector<uint16_t>(3 * 16, 7));
        b.endifd();
        auto p = h.probe(b);
        ASSERT_FALSE(p.haserror());
        EXPECT_TRUE(p.colormap.empty());
    }
}

TEST(tiffinfo, ReportsBrokenFilesWithTheirTexts) {
    handmade h;
    const auto expect = [&](const std::vector<uint8_t>& bytes, const std::string& text,
                            uint16_t page = 1) {
        ovintest::tiffsavebytes(h.file, bytes);
        tiffinfo p;
        EXPECT_FALSE(p.readfile(h.file, page)) << text;
        EXPECT_TRUE(p.haserror()) << text;
        EXPECT_EQ(p.geterrortext(), text);
        EXPECT_EQ(p.ioerror, 0) << text;
        return p;
    };
    expect({'I', 'I', 42, 0, 8}, "I/O Error 100 while reading " + h.file);
    expect({'I', 'M', 42, 0, 8, 0, 0, 0},
           "Invalid TIFF Image - byte order is not big-endian or little-endian");
    expect({'M', 'M', 42, 0, 0, 0, 0, 8}, "Invalid TIFF Image - Header code is not 42");
    expect({'I', 'I', 42, 0, 0, 0, 0, 0}, "Error - TIFF Compression 0 found in " + h.file);
    // The first directory lies beyond the end of the file: the read fails,
    // then the compression check (no compression read) has the last word.
    expect({'I', 'I', 42, 0, 200, 0, 0, 0}, "Error - TIFF Compression 0 found in " + h.file);

    const auto page = [](uint16_t compression) {
        tiffbuilder b;
        const uint32_t data = b.append(kStrip);
        basicpage(b, compression).longs(273, {data}).longs(279, {8});
        b.endifd();
        return b.bytes();
    };
    expect(page(5), "Error - LZW Compression not yet supported");
    expect(page(7), "Error - TIFF Compression 7 found in " + h.file);
    expect(page(34712), "Error - TIFF Compression 34712 found in " + h.file);

    // Directory cut short: the entries that are there are acted on, and
    // the compression's own message wins over the read failure.
    auto cut = page(5);
    cut.resize(cut.size() - 4 - 12 * 2);
    auto p = expect(cut, "Error - LZW Compression not yet supported");
    EXPECT_EQ(p.width, 16u);
    auto cutraw = page(1);
    cutraw.resize(cutraw.size() - 4 - 12 * 2);
    expect(cutraw, "I/O Error 100 while reading " + h.file);
    // The next-directory offset is missing: the page itself was read, but
    // the walk failed.
    auto nonext = page(4);
    nonext.resize(nonext.size() - 2);
    p = expect(nonext, "I/O Error 100 while reading " + h.file, 1);
    EXPECT_EQ(p.pagecount, 1);
    EXPECT_EQ(p.datasize(), 8u);

    tiffinfo missing;
    EXPECT_FALSE(missing.readfile(h.dir.path("none.tif"), 1));
    EXPECT_EQ(missing.geterrortext(),
              "Error - TIFF Image " + h.dir.path("none.tif") + " does not exist");
}

TEST(tiffinfo, UnreadableFileReportsAccessDenied) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    handmade h;
    ovintest::tiffsavebytes(h.file, {'I', 'I', 42, 0, 0, 0, 0, 0});
    ASSERT_EQ(::chmod(h.file.c_str(), 0), 0);
    tiffinfo p;
    EXPECT_FALSE(p.readfile(h.file, 1));
    EXPECT_EQ(p.geterrortext(), "Access to " + h.file + " is denied - error 13");
}

} // namespace
