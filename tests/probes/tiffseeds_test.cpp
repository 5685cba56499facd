// The seed files of the TIFF fuzz target (fuzz/corpus/tiff) are the
// fixtures' sample files. Run with OVIN_WRITE_TIFF_SEEDS=<folder> to
// (re)write them; the tests check that the committed seeds are the small,
// well-formed files the fuzzer should start from.
#include "tiffinfo.h"

#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

constexpr size_t kMaxSeed = 4096;

TEST(tiffseeds, SeedsAreSmallAndReadable) {
    ovintest::tiffscratch dir;
    const auto seeds = ovintest::tiffsamples();
    if (const char* out = std::getenv("OVIN_WRITE_TIFF_SEEDS")) {
        for (const auto& [name, bytes] : seeds) {
            ovintest::tiffsavebytes(std::string(out) + "/" + name, bytes);
        }
    }
    for (const auto& [name, bytes] : seeds) {
        EXPECT_LT(bytes.size(), kMaxSeed) << name;
        ovintest::tiffsavebytes(dir.path("seed.tif"), bytes);
        ovin::tiffinfo probe;
        EXPECT_TRUE(probe.readfile(dir.path("seed.tif"), 1))
            << name << ": " << probe.geterrortext();
        EXPECT_GT(probe.datasize(), 0u) << name;
    }

    // The committed corpus holds exactly these files, each still a good
    // starting point.
    const std::filesystem::path corpus =
        std::filesystem::path(OVIN_SOURCE_DIR) / "fuzz/corpus/tiff";
    ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
    size_t committed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        ++committed;
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(seeds.count(name) == 1) << "stray seed " << name;
        EXPECT_LT(entry.file_size(), kMaxSeed) << name;
        ovin::tiffinfo probe;
        EXPECT_TRUE(probe.readfile(entry.path().string(), 1))
            << name << ": " << probe.geterrortext();
    }
    EXPECT_EQ(committed, seeds.size());
}

} // namespace
