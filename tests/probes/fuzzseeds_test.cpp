// The fuzz targets' seeds (fuzz/corpus/NAME/, see fuzz/README.md) are made
// here by the fixture writers: small well-formed files of every kind a probe
// reads, and one damaged file per way a probe refuses one, so that the
// fuzzers and the replay tests start on each of these paths. The imaging
// target reads all three kinds and gets a copy of every probe seed, named
// PROBE-NAME, beside files of its own.
//
// OVIN_WRITE_FUZZ_SEEDS=1 rewrites the seeds in the source tree; every run
// checks that the committed folders hold exactly these files, each small
// and each still answered as it was made to be.
#include "bmpfixtures.h"
#include "classicprobes.h"
#include "jpegfixtures.h"
#include "readers/jpeg.h"
#include "readers/tiff/tiffinfo.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;

constexpr size_t kMaxSeed = 4096;

struct seed {
    std::string name;
    bytes data;
    std::string refusal; // empty: the probe accepts it; else part of its error text
};

std::vector<seed> jpegseeds() {
    using ovintest::jpegbytes;
    using ovintest::jpegoptions;
    const auto make = [](uint32_t w, uint32_t h, const jpegoptions& o) {
        return ovintest::makejpeg(w, h, ovintest::jpegpattern(w, h, o.components), o);
    };
    jpegoptions colour;
    colour.quality = 50;
    jpegoptions grey;
    grey.components = 1;
    grey.progressive = true;
    grey.densityunit = 2;
    grey.xdensity = grey.ydensity = 118;
    jpegoptions cmyk;
    cmyk.components = 4;
    cmyk.quality = 50;
    jpegoptions exif;
    exif.jfif = false;
    exif.exif = true;
    exif.quality = 40;
    jpegoptions arithmetic;
    arithmetic.arithmetic = true;
    jpegbytes hand;
    hand.soi().raw({0xFF}).jfif(1, 200, 200, 6).marker(0xD3).adobe(1);
    bytes table(18, 0); // one DC code of one bit
    table[1] = 1;
    hand.sof(0xC0, 8, 4, 6, 3).segment(0xC4, table).sos().raw({0x12, 0x34}).eoi();
    table[1] = 3; // three codes of one bit
    table.insert(table.end(), {1, 2});
    const auto frame = [](uint8_t precision, uint16_t height, uint8_t components) {
        return jpegbytes().soi().sof(0xC1, precision, height, 5, components).sos().bytes();
    };
    bytes cut = make(16, 16, colour);
    cut.resize(40); // inside the first quantisation table
    return {{"colour16.jpg", make(16, 16, colour), ""},
            {"grey8progressive.jpg", make(8, 8, grey), ""},
            {"cmyk8adobe.jpg", make(8, 8, cmyk), ""},
            {"exif12x8.jpg", make(12, 8, exif), ""},
            {"handmade.jpg", hand.bytes(), ""},
            {"adobe_after_frame.jpg",
             jpegbytes().soi().sof(0xC2, 8, 3, 3, 4).adobe(2).sos().bytes(), ""},
            {"arithmetic.jpg", make(8, 8, arithmetic), "(arithmetic)"},
            {"bogus_huffman.jpg",
             jpegbytes().soi().sof(0xC0, 8, 4, 6, 1).segment(0xC4, table).sos().bytes(),
             "Bogus JPEG Huffman table"},
            {"no_quantisation.jpg",
             jpegbytes().soi().sof(0xC0, 8, 4, 6, 1).segment(0xDA, {1, 1, 0, 0, 63, 0}).bytes(),
             "Missing JPEG quantisation table 0"},
            {"precision12.jpg", frame(12, 4, 1), "(12-bit samples)"},
            {"components2.jpg", frame(8, 4, 2), "components (2)"},
            {"height0.jpg", frame(8, 0, 3), "image size 5 x 0"},
            {"length1.jpg", jpegbytes().soi().segment(0xE1, 1, {}).bytes(), "segment length"},
            {"stuffed_zero.jpg", jpegbytes().soi().marker(0x00).bytes(), "Invalid JPEG marker"},
            {"cut.jpg", cut, "I/O Error"}};
}

std::vector<seed> bmpseeds() {
    using ovintest::bmpoptions;
    const auto pattern = [](size_t n, uint8_t mod) {
        bytes v(n);
        for (size_t i = 0; i < n; ++i) {
            v[i] = static_cast<uint8_t>((i * 37 + i / 5) % mod);
        }
        return v;
    };
    bmpoptions onebit;
    onebit.bitcount = 1;
    onebit.width = 13;
    onebit.height = 5;
    onebit.palette1 = {255, 255, 255, 0, 0, 0};
    onebit.pixels = pattern(65, 2);
    bmpoptions grey;
    grey.bitcount = 8;
    grey.width = 7;
    grey.height = 3;
    grey.pixels = pattern(21, 255);
    bmpoptions pal4;
    pal4.bitcount = 8;
    pal4.width = 5;
    pal4.height = 4;
    pal4.headersize = 108;
    pal4.palette8 = {255, 0, 0, 0, 255, 0, 0, 0, 255, 250, 250, 250};
    pal4.colorsused = 4;
    pal4.pixels = pattern(20, 4);
    bmpoptions rgb;
    rgb.width = 5;
    rgb.height = 4;
    rgb.pixels = pattern(60, 251);
    rgb.xppm = 11811;
    rgb.yppm = 11811;
    bmpoptions topdown = rgb;
    topdown.width = 3;
    topdown.height = 3;
    topdown.topdown = true;
    bmpoptions nosize = rgb;
    nosize.width = 6;
    nosize.height = 2;
    nosize.writeimagesize = false;
    // Damaged variants of the 24-bit file, one per refusal.
    const auto broken = [&rgb](auto&& change) {
        bmpoptions o = rgb;
        change(o);
        return ovintest::makebmp(o);
    };
    bytes cut = ovintest::makebmp(rgb);
    cut.resize(cut.size() - 5);
    return {{"onebit13x5.bmp", ovintest::makebmp(onebit), ""},
            {"grey7x3.bmp", ovintest::makebmp(grey), ""},
            {"palette4v4header.bmp", ovintest::makebmp(pal4), ""},
            {"rgb5x4.bmp", ovintest::makebmp(rgb), ""},
            {"topdown3x3.bmp", ovintest::makebmp(topdown), ""},
            {"nosize6x2.bmp", ovintest::makebmp(nosize), ""},
            {"rle8.bmp", broken([](bmpoptions& o) { o.compression = 1; }), "compression"},
            {"bits32.bmp", broken([](bmpoptions& o) { o.bitcount = 32; }), "bitcount 32"},
            {"coreheader.bmp", broken([](bmpoptions& o) { o.headersize = 12; }), "header size 12"},
            {"width0.bmp", broken([](bmpoptions& o) { o.width = 0; }), "image size 0 x 4"},
            {"imagesize_small.bmp", broken([](bmpoptions& o) { o.imagesizefield = 16; }),
             "pixel data size"},
            {"cut.bmp", cut, "I/O Error"}};
}

std::vector<seed> tiffseeds() {
    std::vector<seed> out;
    for (auto& [name, data] : ovintest::tiffsamples()) {
        out.push_back({name, std::move(data), ""});
    }
    // Damaged files: a 16 x 2 bilevel page in one strip, with what 'more'
    // adds to its directory.
    using ovintest::tiffbuilder;
    const auto page = [](auto&& more) {
        tiffbuilder b;
        const uint32_t strip = b.append({0x00, 0xFF, 0x0F, 0xF0});
        b.shorts(256, {16}).shorts(257, {2});
        more(b, strip);
        b.endifd();
        return b.bytes();
    };
    const auto plain = [](uint16_t compression) {
        return [compression](tiffbuilder& b, uint32_t strip) {
            b.shorts(259, {compression}).longs(273, {strip}).longs(279, {4});
        };
    };
    bytes header43 = page(plain(1));
    header43[2] = 43;
    bytes entriescut = page(plain(1));
    entriescut.resize(entriescut.size() - 12); // the next-directory field and the last entry
    out.push_back({"lzw.tif", page(plain(5)), "LZW"});
    out.push_back({"compression7.tif", page(plain(7)), "TIFF Compression 7"});
    out.push_back({"ojpeg_no_tables.tif", page(plain(6)), "JPG Header or JPG Length is zero"});
    out.push_back({"header43.tif", header43, "not 42"});
    out.push_back({"entries_cut.tif", entriescut, "I/O Error"});
    out.push_back({"strip_past_end.tif", page([](tiffbuilder& b, uint32_t) {
                       b.shorts(259, {1}).longs(273, {4096}).longs(279, {4});
                   }),
                   "I/O Error"});
    out.push_back({"values_past_end.tif", page([&plain](tiffbuilder& b, uint32_t strip) {
                       b.raw(258, tiffbuilder::SHORT, 3, 4096);
                       plain(1)(b, strip);
                   }),
                   "I/O Error"});
    return out;
}

// A probe's answer on a file: empty when accepted, else its error text.
std::string jpeganswer(const fs::path& file) {
    ovintest::classicjpeg probe;
    return probe.readfile(file.string()) ? "" : "refused: " + probe.errortext;
}
std::string bmpanswer(const fs::path& file) {
    ovintest::classicbmp probe;
    return probe.readfile(file.string()) ? "" : "refused: " + probe.geterrortext();
}
std::string tiffanswer(const fs::path& file) {
    ovintest::classictiff probe;
    if (!probe.readfile(file.string(), 1)) {
        return "refused: " + probe.geterrortext();
    }
    return probe.datasize() > 0 ? "" : "no data";
}

struct corpus {
    std::string target;
    std::vector<seed> seeds;
    std::string (*answer)(const fs::path&);
};

void rewrite(const corpus& c, const fs::path& dir, const fs::path& imaging) {
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(dir)) {
        fs::remove(entry.path());
    }
    for (const auto& entry : fs::directory_iterator(imaging)) {
        if (entry.path().filename().string().starts_with(c.target + "-")) {
            fs::remove(entry.path());
        }
    }
    for (const auto& s : c.seeds) {
        ovintest::tiffsavebytes((dir / s.name).string(), s.data);
        ovintest::tiffsavebytes((imaging / (c.target + "-" + s.name)).string(), s.data);
    }
}

TEST(FuzzSeeds, CommittedSeedsAreTheMadeOnes) {
    const fs::path root = fs::path(OVIN_SOURCE_DIR) / "fuzz" / "corpus";
    const fs::path imaging = root / "imaging";
    ASSERT_TRUE(fs::is_directory(imaging));
    const std::vector<corpus> corpora = {{"jpeginfo", jpegseeds(), jpeganswer},
                                         {"bmpinfo", bmpseeds(), bmpanswer},
                                         {"tiffinfo", tiffseeds(), tiffanswer}};
    std::set<std::string> copies;
    for (const auto& c : corpora) {
        const fs::path dir = root / c.target;
        if (std::getenv("OVIN_WRITE_FUZZ_SEEDS") != nullptr) {
            rewrite(c, dir, imaging);
        }
        std::set<std::string> names;
        for (const auto& s : c.seeds) {
            SCOPED_TRACE(c.target + "/" + s.name);
            names.insert(s.name);
            copies.insert(c.target + "-" + s.name);
            EXPECT_LT(s.data.size(), kMaxSeed);
            const std::string answer = c.answer(dir / s.name);
            if (s.refusal.empty()) {
                EXPECT_EQ(answer, "");
            } else {
                EXPECT_NE(answer.find(s.refusal), std::string::npos) << answer;
            }
            const fs::path copy = imaging / (c.target + "-" + s.name);
            ASSERT_TRUE(fs::exists(copy));
            EXPECT_EQ(ovintest::tifffilebytes(copy.string()),
                      ovintest::tifffilebytes((dir / s.name).string()));
        }
        for (const auto& entry : fs::directory_iterator(dir)) {
            EXPECT_EQ(names.count(entry.path().filename().string()), 1u)
                << "stray seed " << entry.path();
        }
    }
    // The imaging target's own files are kept as committed, small too.
    for (const auto& entry : fs::directory_iterator(imaging)) {
        const std::string name = entry.path().filename().string();
        EXPECT_LT(entry.file_size(), kMaxSeed) << name;
        if (name.find('-') != std::string::npos) {
            EXPECT_EQ(copies.count(name), 1u) << "stray copy " << name;
        }
    }
}

} // namespace
