// The classic face's reading of bitmaps against hand-written files: pixel
// layout, resolution, palettes and the refusal of what it cannot lay out
// safely.
#include "bmpfixtures.h"
#include "classicprobes.h"

#include "pdftools.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using ovintest::bmpoptions;

class BmpProbe : public ::testing::Test {
protected:
    std::string path(const std::string& name = "t.bmp") const { return dir_.file(name); }

    bool probe(const std::vector<uint8_t>& bytes, ovintest::classicbmp& info) {
        EXPECT_TRUE(ovintest::savebmp(path(), bytes));
        const bool ok = info.readfile(path());
        EXPECT_EQ(ok, !info.haserror());
        return ok;
    }

    // Probes and returns the delivered pixels; empty when the probe failed.
    std::vector<uint8_t> pixels(const bmpoptions& opt, ovintest::classicbmp& info) {
        if (!probe(ovintest::makebmp(opt), info)) {
            ADD_FAILURE() << info.geterrortext();
            return {};
        }
        std::vector<uint8_t> out(info.datasize);
        info.copypixels(out.data());
        return out;
    }

    // Expects a refusal with exactly this text (the file name appended).
    void refused(const std::vector<uint8_t>& bytes, const std::string& text) {
        ovintest::classicbmp info;
        EXPECT_FALSE(probe(bytes, info));
        EXPECT_EQ(info.geterrortext(), text + path());
        EXPECT_EQ(info.ioerror, text.rfind("I/O Error", 0) == 0 ? 100 : 0);
    }

    ovintest::tempdir dir_;
};

std::vector<uint8_t> sequence(size_t n, uint8_t start = 1) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(start + i * 7);
    }
    return v;
}

TEST_F(BmpProbe, TwentyFourBitRowsComeOutRgbTopFirst) {
    for (const int32_t w : {1, 2, 3, 5, 8}) {
        SCOPED_TRACE(w);
        bmpoptions opt;
        opt.width = w;
        opt.height = 3;
        opt.pixels = sequence(size_t(w) * 3 * 3);
        ovintest::classicbmp info;
        EXPECT_EQ(pixels(opt, info), opt.pixels);
        EXPECT_EQ(info.width, uint32_t(w));
        EXPECT_EQ(info.height, 3u);
        EXPECT_EQ(info.bitcount, 24);
        EXPECT_EQ(info.datasize, uint32_t(w) * 9);
    }
    // 3 pixels wide: 9 bytes a row, stored 12 apart, bottom row first.
    bmpoptions opt;
    opt.width = 3;
    opt.height = 2;
    opt.pixels = sequence(18);
    const auto file = ovintest::makebmp(opt);
    ASSERT_EQ(file.size(), 54u + 24u);
    EXPECT_EQ(file[54], opt.pixels[9 + 2]); // blue of the bottom row's first pixel
}

TEST_F(BmpProbe, EightBitPixelsGoThroughThePalette) {
    bmpoptions grey;
    grey.bitcount = 8;
    grey.width = 5;
    grey.height = 2;
    grey.pixels = {0, 17, 128, 254, 255, 3, 4, 5, 6, 7};
    ovintest::classicbmp info;
    const auto out = pixels(grey, info);
    ASSERT_EQ(out.size(), 30u);
    for (size_t i = 0; i < grey.pixels.size(); ++i) {
        EXPECT_EQ(out[3 * i], grey.pixels[i]);
        EXPECT_EQ(out[3 * i + 1], grey.pixels[i]);
        EXPECT_EQ(out[3 * i + 2], grey.pixels[i]);
    }

    // A short colour palette (4 entries, as the colours-used field says),
    // after a 108-byte info header.
    bmpoptions colour;
    colour.bitcount = 8;
    colour.width = 3;
    colour.height = 2;
    colour.headersize = 108;
    colour.palette8 = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
    colour.colorsused = 4;
    colour.pixels = {3, 2, 1, 0, 0, 3};
    const std::vector<uint8_t> want = {10,  20, 30, 0,   0, 255, 0,  255, 0,
                                       255, 0,  0,  255, 0, 0,   10, 20,  30};
    EXPECT_EQ(pixels(colour, info), want);
}

TEST_F(BmpProbe, OneBitRowsStayPacked) {
    struct row {
        int32_t width;
        uint32_t rowbytes;
        uint32_t stride;
    };
    for (const row r : {row{12, 2, 4}, row{33, 5, 8}, row{8, 1, 4}}) {
        SCOPED_TRACE(r.width);
        bmpoptions opt;
        opt.bitcount = 1;
        opt.width = r.width;
        opt.height = 3;
        std::vector<uint8_t> bits(size_t(r.width) * 3);
        for (size_t i = 0; i < bits.size(); ++i) {
            bits[i] = (i * 5 + i / 3) % 3 == 0;
        }
        opt.pixels = bits;
        ASSERT_EQ(ovintest::bmpstride(1, uint32_t(r.width)), r.stride);
        ovintest::classicbmp info;
        const auto out = pixels(opt, info);
        ASSERT_EQ(out.size(), size_t(r.rowbytes) * 3);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < r.width; ++x) {
                const uint8_t byte = out[size_t(y) * r.rowbytes + size_t(x) / 8];
                EXPECT_EQ((byte >> (7 - x % 8)) & 1, bits[size_t(y) * r.width + x])
                    << x << "," << y;
            }
        }
    }
}

TEST_F(BmpProbe, OneBitPaletteIsReportedInEitherOrder) {
    for (const std::array<uint8_t, 6> pal : {std::array<uint8_t, 6>{0, 0, 0, 255, 255, 255},
                                             {255, 255, 255, 0, 0, 0},
                                             {10, 20, 30, 200, 210, 220}}) {
        for (const uint32_t headersize : {40u, 124u}) {
            bmpoptions opt;
            opt.bitcount = 1;
            opt.width = 9;
            opt.height = 2;
            opt.headersize = headersize;
            opt.palette1 = pal;
            opt.pixels = {1, 0, 1, 0, 1, 0, 1, 0, 1, 1};
            ovintest::classicbmp info;
            const auto out = pixels(opt, info);
            EXPECT_EQ(info.palette1, pal);
            // The bits are delivered as stored, whatever the palette says.
            EXPECT_EQ(out, (std::vector<uint8_t>{0xAA, 0x80, 0x80, 0x00}));
        }
    }
}

TEST_F(BmpProbe, ResolutionFromPixelsPerMetre) {
    struct row {
        uint32_t xppm, yppm;
        uint32_t xdpi, ydpi;
    };
    // Halves go to the even neighbour: 2500 -> 63.5 -> 64, 7500 -> 190.5 -> 190.
    for (const row r : {row{3780, 2835, 96, 72}, row{2500, 7500, 64, 190}, row{0, 11811, 200, 200},
                        row{3780, 0, 96, 0}, row{0xFFFFFFFF, 1, 109092169, 0}}) {
        SCOPED_TRACE(r.xppm);
        bmpoptions opt;
        opt.xppm = r.xppm;
        opt.yppm = r.yppm;
        ovintest::classicbmp info;
        pixels(opt, info);
        EXPECT_EQ(info.xdpi, r.xdpi);
        EXPECT_EQ(info.ydpi, r.ydpi);
    }
}

TEST_F(BmpProbe, TopDownFilesAreReadInFileOrder) {
    for (const int bitsi : {1, 8, 24}) {
        const auto bits = static_cast<uint16_t>(bitsi);
        SCOPED_TRACE(bits);
        bmpoptions opt;
        opt.bitcount = bits;
        opt.width = 6;
        opt.height = 4;
        opt.pixels = sequence(bits == 24 ? 72 : 24);
        if (bits == 1) {
            for (auto& p : opt.pixels) {
                p &= 1;
            }
        }
        ovintest::classicbmp bottomup;
        const auto want = pixels(opt, bottomup);
        opt.topdown = true;
        ovintest::classicbmp topdown;
        EXPECT_EQ(pixels(opt, topdown), want);
        EXPECT_EQ(topdown.height, 4u);
    }
}

TEST_F(BmpProbe, SizesAreNotCutTo16Bits) {
    bmpoptions wide;
    wide.bitcount = 1;
    wide.width = 70000;
    wide.height = 1;
    ovintest::classicbmp info;
    EXPECT_EQ(pixels(wide, info).size(), 8750u);
    EXPECT_EQ(info.width, 70000u);

    bmpoptions tall;
    tall.width = 1;
    tall.height = 66000;
    tall.topdown = true;
    EXPECT_EQ(pixels(tall, info).size(), 66000u * 3);
    EXPECT_EQ(info.height, 66000u);
}

TEST_F(BmpProbe, ImageSizeZeroIsMeasuredAs24Bit) {
    // 40 x 40 at 8 bits: 120 * 40 = 4800 bytes of 24-bit rows, more than
    // the whole file (54 + 1024 + 1600): taken for compressed data.
    bmpoptions big;
    big.bitcount = 8;
    big.width = 40;
    big.height = 40;
    big.writeimagesize = false;
    refused(ovintest::makebmp(big), "Unsupported BMP compression type in file ");

    // Small enough to pass that test: read, only the rows it holds.
    bmpoptions small = big;
    small.width = 4;
    small.height = 4;
    small.pixels = sequence(16);
    ovintest::classicbmp info;
    EXPECT_EQ(pixels(small, info).size(), 48u);

    bmpoptions rgb;
    rgb.width = 3;
    rgb.height = 3;
    rgb.writeimagesize = false;
    rgb.pixels = sequence(27);
    EXPECT_EQ(pixels(rgb, info), rgb.pixels);
}

TEST_F(BmpProbe, UnsupportedKindsAreRefused) {
    for (const int bitsi : {4, 32, 16, 0}) {
        const auto bits = static_cast<uint16_t>(bitsi);
        bmpoptions opt;
        opt.bitcount = bits;
        opt.width = 4;
        opt.height = 4;
        opt.rawpixels = std::vector<uint8_t>(64, 0);
        refused(ovintest::makebmp(opt), "Unsupported bitcount " + std::to_string(bits) + " in ");
        // With no image size and 24-bit rows that outgrow the file, the
        // compression message comes first.
        opt.writeimagesize = false;
        opt.filesizefield = 40;
        refused(ovintest::makebmp(opt), "Unsupported BMP compression type in file ");
    }
    for (const uint32_t compression : {1u, 2u, 3u}) {
        bmpoptions opt;
        opt.bitcount = compression == 3 ? 24 : 8;
        opt.compression = compression;
        opt.width = 4;
        opt.height = 4;
        refused(ovintest::makebmp(opt), "Unsupported BMP compression type in file ");
    }
    bmpoptions core;
    core.headersize = 12;
    refused(ovintest::makebmp(core), "Unsupported BMP header size 12 in file ");
}

TEST_F(BmpProbe, PixelBlockMustHoldWholeRows) {
    bmpoptions opt;
    opt.width = 5;
    opt.height = 3;
    opt.pixels = sequence(45);
    const uint32_t block = ovintest::bmpstride(24, 5) * 3;

    bmpoptions zero = opt;
    zero.width = 0;
    refused(ovintest::makebmp(zero), "Invalid BMP image size 0 x 3 in file ");
    zero = opt;
    zero.height = 0;
    refused(ovintest::makebmp(zero), "Invalid BMP image size 5 x 0 in file ");
    zero.height = 3;
    zero.width = -5;
    refused(ovintest::makebmp(zero), "Invalid BMP image size -5 x 3 in file ");

    bmpoptions small = opt;
    small.imagesizefield = block - 1;
    refused(ovintest::makebmp(small), "Invalid BMP pixel data size in file ");

    // Bytes after the last row are ignored.
    bmpoptions trailing = opt;
    trailing.trailing = 7;
    trailing.imagesizefield = block + 7;
    ovintest::classicbmp info;
    EXPECT_EQ(pixels(trailing, info), opt.pixels);
}

TEST_F(BmpProbe, MissingBytesAreReadErrors) {
    bmpoptions opt;
    opt.bitcount = 8;
    opt.width = 4;
    opt.height = 2;
    const auto full = ovintest::makebmp(opt);
    const std::string io = "I/O Error 100 while reading ";
    for (const size_t keep :
         {size_t{0}, size_t{10}, size_t{53}, size_t{54 + 1000}, full.size() - 1}) {
        SCOPED_TRACE(keep);
        refused({full.begin(), full.begin() + long(keep)}, io);
    }
    // The palette lies past the end of the file.
    auto far = full;
    ovintest::putle32(far, ovintest::bmpfield::headersize, 100000);
    refused(far, io);

    // A pixel block far bigger than the file is refused before anything is
    // allocated for it (30000 x 30000 x 3 bytes).
    bmpoptions huge;
    huge.width = 30000;
    huge.height = 30000;
    huge.rawpixels = {1, 2, 3, 4};
    huge.imagesizefield = 0xFFFFFFF0;
    refused(ovintest::makebmp(huge), io);
    huge.offsetfield = 0xFFFFFFFF;
    refused(ovintest::makebmp(huge), io);
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 1024L * 1024) << "peak kilobytes";
}

TEST_F(BmpProbe, OpenFailures) {
    ovintest::classicbmp info;
    EXPECT_FALSE(info.readfile(path("none.bmp")));
    EXPECT_TRUE(info.haserror());
    EXPECT_EQ(info.geterrortext(), "Error - BMP Image " + path("none.bmp") + " does not exist");

    const ovintest::unopenablefile unopenable(path("s.bmp"));
    ASSERT_TRUE(unopenable.ok());
    const std::string& sock = unopenable.path();
    EXPECT_FALSE(info.readfile(sock));
    EXPECT_EQ(info.geterrortext(),
              "Access to " + sock + " is denied - error " + std::to_string(ENXIO));
    EXPECT_EQ(info.ioerror, 0);

    // Nothing is delivered after a failure.
    std::vector<uint8_t> buffer(16, 0xAB);
    info.copypixels(buffer.data());
    EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0xAB));
}

} // namespace
