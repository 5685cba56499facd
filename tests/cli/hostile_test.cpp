// Files and runs that try the tool: tiny files that declare huge pages,
// pages no reader can draw, data that lies about itself, dates and sizes
// out of range. Each run ends with its message and exit status, and no run
// holds more than 100 MB at once.
#include "bmpfixtures.h"
#include "childprocess.h"
#include "clitool.h"
#include "fuzzseeds.h"
#include "jpegfixtures.h"
#include "pdftools.h"
#include "pngfixtures.h"

#include <gtest/gtest.h>

#include <map>
#include <zlib.h>

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;

// Sanitizers reserve terabytes of address space and hold freed memory for a
// while: memory is measured only without them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A page of `width` x `height` 8-bit RGB pixels whose two Deflate strips
// hold a few hundred bytes.
bytes deflatetiff(uint32_t width, uint32_t height) {
    const bytes zeros(100000, 0);
    bytes packed(compressBound(zeros.size()));
    uLongf length = packed.size();
    compress2(packed.data(), &length, zeros.data(), zeros.size(), 9);
    packed.resize(50);
    ovintest::tiffbuilder b;
    const uint32_t first = b.append(packed);
    const uint32_t second = b.append(packed);
    b.longs(256, {width}).longs(257, {height}).shorts(258, {8, 8, 8}).shorts(259, {8});
    b.shorts(262, {2}).longs(273, {first, second}).shorts(277, {3});
    b.longs(278, {(height + 1) / 2}).longs(279, {50, 50});
    b.rational(282, 300, 1).rational(283, 300, 1);
    b.endifd();
    return b.bytes();
}

// A run-length bitmap (RLE8 or RLE4) of `side` x `side` pixels at 300 dpi
// whose codes write 51,000 pixels and end the bitmap.
bytes rlebmp(uint16_t bits, int32_t side) {
    ovintest::bmpoptions o;
    o.bitcount = bits;
    o.compression = bits == 8 ? 1 : 2;
    o.width = o.height = side;
    o.xppm = o.yppm = 11811;
    for (int i = 0; i < 200; ++i) {
        o.rawpixels.insert(o.rawpixels.end(), {255, 7});
    }
    o.rawpixels.insert(o.rawpixels.end(), {0, 1});
    return ovintest::makebmp(o);
}

// An RGB PNG (interlaced: decoded, not stored), with an iCCP chunk holding
// `icc` put in by hand (libpng writes no profile for other colours than the
// image's).
bytes png(uint32_t width, uint32_t height, const bytes& icc = {}, bool interlaced = false) {
    ovintest::pngoptions o;
    o.width = width;
    o.height = height;
    o.interlaced = interlaced;
    bytes file = ovintest::makepng(o);
    if (icc.empty()) {
        return file;
    }
    bytes chunk = {0, 0, 0, 0, 'i', 'C', 'C', 'P', 'p', 0, 0};
    uLongf length = compressBound(icc.size());
    chunk.resize(chunk.size() + length);
    compress2(&chunk[11], &length, icc.data(), icc.size(), 9);
    chunk.resize(11 + length);
    const uint32_t size = static_cast<uint32_t>(chunk.size() - 8);
    const auto crc =
        static_cast<uint32_t>(crc32(0, &chunk[4], static_cast<uInt>(chunk.size() - 4)));
    for (int k = 0; k < 4; ++k) {
        chunk[static_cast<size_t>(k)] = static_cast<uint8_t>(size >> (24 - 8 * k));
        chunk.push_back(static_cast<uint8_t>(crc >> (24 - 8 * k)));
    }
    file.insert(file.begin() + 33, chunk.begin(), chunk.end()); // after the IHDR chunk
    return file;
}

// A JPEG whose first Huffman table has three codes of one bit.
bytes bogushuffman() {
    bytes jpeg = ovintest::makejpeg(16, 16, ovintest::jpegpattern(16, 16, 3));
    for (size_t i = 0; i + 5 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC4) {
            jpeg[i + 5] = 3;
            jpeg[i + 6] = 0;
            break;
        }
    }
    return jpeg;
}

// A JP2 file whose header box says 99999 rows, its codestream 25.
bytes lyingjp2() {
    ovintest::jp2options o;
    o.width = o.height = 25;
    bytes jp2 = ovintest::makejp2(o);
    const std::string_view text(reinterpret_cast<const char*>(jp2.data()), jp2.size());
    const size_t at = text.find("ihdr") + 4;
    jp2[at + 1] = 0x01;
    jp2[at + 2] = 0x86;
    jp2[at + 3] = 0x9F;
    return jp2;
}

struct hostile {
    const char* name;
    bytes file;
    std::vector<std::string> options;
    int status;
    const char* says;
};

std::vector<hostile> cases() {
    ovintest::tiffpage thin = ovintest::bilevelpage(4, 1, 4, 1);
    thin.xres = thin.yres = 200;
    const ovintest::tempdir scratch;
    const auto tiff = [&](const ovintest::tiffpage& page) {
        ovintest::writetiff(scratch.file("page.tif"), {page});
        return ovintest::tifffilebytes(scratch.file("page.tif"));
    };
    ovintest::tiffpage rgb = ovintest::rgbpage(32, 32);
    rgb.icc = ovintest::iccprofile(true);
    ovintest::jp2options jp2;
    jp2.icc = ovintest::iccprofile(true);
    const std::string pgm = "P5#comment\n2 2 255\n\x01\x02\x03\x04";
    return {
        {"deflate.tif", deflatetiff(36000, 36000), {}, 1, "cannot hold 36000 x 36000 pixels"},
        {"rle8.bmp", rlebmp(8, 30000), {}, 1, "too little for 30000 x 30000 pixels"},
        {"rle4.bmp", rlebmp(4, 40000), {}, 1, "too little for 40000 x 40000 pixels"},
        {"large.png",
         png(1200, 1000, {}, true),
         {"--max-megapixels=1"},
         1,
         "1200 x 1000 pixels (2 megapixels) are more than the 1 megapixels"},
        {"dot.png", png(64, 64), {"--dpi=60000"}, 1, "make a page of 0 x 0 points"},
        {"thin.tif", tiff(thin), {}, 1, "4 x 1 pixels at 200 x 200 dpi make a page of 1 x 0"},
        {"huffman.jpg", bogushuffman(), {}, 1, "Huffman table"},
        {"lying.jp2", lyingjp2(), {}, 1, "header box says 25 x 99999 pixels"},
        {"comment.pgm", bytes(pgm.begin(), pgm.end()), {"--dpi=10"}, 0, "written: 1 page\n"},
        {"page.png", png(64, 64), {"--page-size=2x2pt"}, 2, "at least 3 pt"},
        {"panorama.png", png(16000, 8), {"--dpi=72", "--page-size=A4"}, 0, "written: 1 page\n"},
        {"border.png", png(64, 64), {"--page-size=A5", "--border=80mm"}, 2, "leaves no room"},
        {"date.png", png(64, 64), {"--modification-date=253402300800"}, 2, "from 1970 to 9999"},
        {"grey_profile.png",
         png(64, 64, ovintest::iccprofile(true)),
         {},
         0,
         "unusable ICC profile"},
        {"grey_profile.tif", tiff(rgb), {}, 0, "unusable ICC profile"},
        {"grey_profile.jp2", ovintest::makejp2(jp2), {}, 0, "unusable ICC profile"},
    };
}

TEST(CliHostile, EveryRunEndsWithItsMessageInBoundedMemory) {
    for (const hostile& c : cases()) {
        SCOPED_TRACE(c.name);
        ovintest::tempdir dir;
        ovintest::writebytes(dir.file(c.name), std::string(c.file.begin(), c.file.end()));
        std::vector<std::string> argv = {clitest::kTool, c.name, "-o", "out.pdf"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        ovintest::childsetup setup;
        setup.cwd = dir.path();
        setup.log = dir.file("log");
        ovintest::childprocess run(argv, setup);
        EXPECT_EQ(ovintest::describestatus(run.wait()), "exit " + std::to_string(c.status));
        const std::string log = ovintest::readbytes(dir.file("log"));
        EXPECT_NE(log.find(c.says), std::string::npos) << log;
        if (!kSanitized) {
            EXPECT_LT(run.peakkilobytes(), 100 * 1024);
        }
        if (c.status == 0) {
            EXPECT_TRUE(ovintest::qpdfcheck(dir.file("out.pdf")));
            continue;
        }
        EXPECT_FALSE(fs::exists(dir.file("out.pdf")));
        if (!c.options.empty()) {
            continue;
        }
        // The files refused for what they hold seed their reader's fuzz target.
        const std::string kind = fs::path(c.name).extension().string();
        const std::map<std::string, std::string> targets = {{".tif", "tiffdoc"}, {".bmp", "bmpdoc"},
                                                            {".jpg", "jpegdoc"}, {".jp2", "jp2"},
                                                            {".png", "png"},     {".pgm", "pnm"}};
        ovintest::fuzzseed(targets.at(kind), std::string("hostile_") + c.name, c.file);
    }
}

// The README's Slurm recipe, as printed there, with the address space its
// tasks would get under --mem=1G: a task per hostile file ends with the
// tool's message and status 1, none is killed.
TEST(CliHostile, ReadmeSlurmRecipeUnderAMemoryLimit) {
    if (kSanitized) {
        GTEST_SKIP() << "a sanitizer needs more address space than the limit";
    }
    const std::string readme = ovintest::readbytes(std::string(OVIN_SOURCE_DIR) + "/README.md");
    size_t begin = readme.find("```sh\n", readme.find("**Slurm job array.**"));
    ASSERT_NE(begin, std::string::npos);
    begin += 6;
    const std::string script = readme.substr(begin, readme.find("```", begin) - begin);
    ASSERT_NE(script.find("SLURM_ARRAY_TASK_ID"), std::string::npos) << script;

    ovintest::tempdir dir;
    ovintest::writebytes(dir.file("task.sbatch"), script);
    std::string docs;
    std::vector<hostile> refused;
    for (hostile& c : cases()) {
        if (c.status == 1 && c.options.empty()) {
            fs::create_directories(dir.path() / "scans" / c.name);
            ovintest::writebytes(dir.path() / "scans" / c.name / c.name,
                                 std::string(c.file.begin(), c.file.end()));
            docs += std::string(c.name) + "\n";
            refused.push_back(std::move(c));
        }
    }
    ovintest::writebytes(dir.file("docs.txt"), docs);
    fs::create_directory(dir.path() / "pdf");
    const std::string tools = fs::path(clitest::kTool).parent_path().string();
    for (size_t task = 0; task < refused.size(); ++task) {
        SCOPED_TRACE(refused[task].name);
        const ovintest::commandresult r =
            ovintest::runcommand("cd '" + dir.path().string() + "' && PATH='" + tools +
                                 "':\"$PATH\" SLURM_ARRAY_TASK_ID=" + std::to_string(task) +
                                 " bash -c 'ulimit -v 1048576 && exec bash task.sbatch' 2>&1");
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find(refused[task].says), std::string::npos) << r.output;
    }
    EXPECT_TRUE(fs::is_empty(dir.path() / "pdf"));
}

} // namespace
