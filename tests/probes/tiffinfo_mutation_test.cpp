// The TIFF probe on a few hundred damaged files derived from good ones:
// flipped bytes, planted extreme numbers, truncations and splices, all from
// a fixed-seed generator so every run sees the same files. The probe must
// never crash or read outside a buffer (this runs under AddressSanitizer in
// CI), and what it reports must hang together.
#include "classicprobes.h"
#include "readers/tiff/tiffinfo.h"

#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

struct xorshift {
    uint64_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 16);
    }
    uint32_t below(uint32_t n) { return n == 0 ? 0 : next() % n; }
};

std::vector<uint8_t> mutate(const std::vector<std::vector<uint8_t>>& bases, xorshift& rng) {
    auto bytes = bases[rng.below(static_cast<uint32_t>(bases.size()))];
    const auto size = static_cast<uint32_t>(bytes.size());
    switch (rng.below(5)) {
    case 0: // a few random bytes
        for (uint32_t n = 1 + rng.below(8); n > 0; --n) {
            bytes[rng.below(size)] = static_cast<uint8_t>(rng.next());
        }
        break;
    case 1: { // an extreme 16- or 32-bit number somewhere in the first KB
        const uint32_t values[] = {0,          1,          0xFFFF,   0xFFFFFFFF, 0x7FFFFFFF,
                                   0x80000000, size,       size - 1, size + 1,   size / 2,
                                   8,          0x40000000, 0xFFFE};
        const uint32_t value = values[rng.below(std::size(values))];
        const uint32_t at = rng.below(std::min<uint32_t>(size, 1024) - 4);
        const bool wide = rng.below(2) == 0;
        for (uint32_t i = 0; i < (wide ? 4u : 2u); ++i) {
            const uint32_t shift = rng.below(2) == 0 ? 8 * i : 8 * ((wide ? 3 : 1) - i);
            bytes[at + i] = static_cast<uint8_t>(value >> shift);
        }
        break;
    }
    case 2: // cut short
        bytes.resize(rng.below(size));
        break;
    case 3: { // the head of one file on the tail of another
        const auto& other = bases[rng.below(static_cast<uint32_t>(bases.size()))];
        const uint32_t cut = rng.below(size);
        const uint32_t from = rng.below(static_cast<uint32_t>(other.size()));
        bytes.resize(cut);
        bytes.insert(bytes.end(), other.begin() + from, other.end());
        break;
    }
    default: { // a stretch repeated
        const uint32_t at = rng.below(size);
        const uint32_t len = 1 + rng.below(std::min<uint32_t>(64, size - at));
        const std::vector<uint8_t> chunk(bytes.begin() + at, bytes.begin() + at + len);
        bytes.insert(bytes.begin() + rng.below(size), chunk.begin(), chunk.end());
        break;
    }
    }
    return bytes;
}

// What one probe reports must hang together.
void checkconsistent(ovintest::classictiff& probe, bool result, const std::string& file,
                     uint64_t filesize, uint16_t page, const std::string& label) {
    SCOPED_TRACE(label + " page " + std::to_string(page));
    EXPECT_EQ(result, !probe.haserror());
    EXPECT_EQ(probe.haserror(), !probe.geterrortext().empty());
    if (probe.ioerror != 0) {
        EXPECT_TRUE(probe.haserror());
        EXPECT_EQ(probe.geterrortext(),
                  "I/O Error " + std::to_string(probe.ioerror) + " while reading " + file);
    }
    EXPECT_LE(probe.pagecount, filesize);
    // The strips together hold at most the file; the JPEG header block is a
    // second stretch of it.
    const uint64_t bound = probe.compression == 6 ? 2 * filesize : filesize;
    EXPECT_LE(probe.datasize(), bound);
    EXPECT_TRUE(probe.colormap.empty() ||
                probe.colormap.size() == (size_t{3} << probe.bitspersample()));

    // Exactly datasize() bytes: an exact buffer (AddressSanitizer sees any
    // overrun) and a guarded one, with equal contents.
    std::vector<uint8_t> exact(probe.datasize());
    probe.copydata(exact.data());
    std::vector<uint8_t> guarded(probe.datasize() + 16, 0xA5);
    probe.copydata(guarded.data());
    EXPECT_TRUE(std::equal(exact.begin(), exact.end(), guarded.begin()));
    EXPECT_TRUE(
        std::all_of(guarded.end() - 16, guarded.end(), [](uint8_t b) { return b == 0xA5; }));

    if (result) {
        EXPECT_GE(probe.pagecount, page);
        const uint16_t c = probe.compression;
        EXPECT_TRUE(c == 1 || c == 2 || c == 3 || c == 4 || c == 6 || c == 32773) << c;
    }
}

TEST(tiffinfo_mutations, DamagedFilesAreReportedNeverTrusted) {
    ovintest::tiffscratch dir;
    std::vector<std::vector<uint8_t>> bases;
    for (auto& [name, bytes] : ovintest::tiffsamples()) {
        bases.push_back(std::move(bytes));
    }
    xorshift rng{0x5EED0F71FFu};
    const std::string file = dir.path("mutant.tif");
    const auto started = std::chrono::steady_clock::now();
    int accepted = 0;
    int refused = 0;
    ovintest::classictiff reused;
    for (int n = 0; n < 400; ++n) {
        const auto bytes = mutate(bases, rng);
        ovintest::tiffsavebytes(file, bytes);
        for (const uint16_t page : {uint16_t{1}, uint16_t{2}}) {
            ovintest::classictiff probe;
            const bool result = probe.readfile(file, page);
            checkconsistent(probe, result, file, bytes.size(), page, "mutant " + std::to_string(n));
            (result ? accepted : refused)++;

            // An object reused across files reports the same as a fresh one.
            const bool again = reused.readfile(file, page);
            EXPECT_EQ(again, result);
            EXPECT_EQ(reused.geterrortext(), probe.geterrortext());
            EXPECT_EQ(reused.datasize(), probe.datasize());
            EXPECT_EQ(reused.width, probe.width);
            EXPECT_EQ(reused.xres, probe.xres);
            EXPECT_EQ(reused.pagecount, probe.pagecount);
        }
    }
    // The damage must leave both outcomes well represented, or the test
    // exercises too little.
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 100);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started);
    EXPECT_LT(seconds.count(), 60.0);
}

} // namespace
