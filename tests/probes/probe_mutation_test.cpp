// Deterministic mutations of the fuzzers' JPEG and BMP seeds (flipped bytes,
// cut files, length and size fields set to extremes): the probes must never
// crash, read or write outside a buffer, or answer differently for the same
// file, and what they accept must be self-consistent and agree with libjpeg.
#include "bmpfixtures.h"
#include "classicprobes.h"
#include "jpegfixtures.h"
#include "readers/jpeg.h"
#include "tifffixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

using bytes = std::vector<uint8_t>;
using namedbytes = std::pair<std::string, bytes>;

// The fuzzers' seeds for a probe as committed (made by fuzzseeds_test.cpp),
// in name order.
std::vector<namedbytes> seedfiles(const std::string& target) {
    std::vector<namedbytes> out;
    const fs::path dir = fs::path(OVIN_SOURCE_DIR) / "fuzz" / "corpus" / target;
    for (const auto& entry : fs::directory_iterator(dir)) {
        out.push_back(
            {entry.path().filename().string(), ovintest::tifffilebytes(entry.path().string())});
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A small deterministic generator (xorshift), the same on every platform.
class sequence {
public:
    explicit sequence(uint32_t seed) : state_(seed != 0 ? seed : 1) {}
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    uint32_t state_;
};

// Flipped and overwritten bytes, and cuts at evenly spread lengths.
std::vector<namedbytes> commonmutants(const bytes& seed, uint32_t rngseed, size_t flips,
                                      size_t cuts) {
    std::vector<namedbytes> out;
    sequence rng(rngseed);
    for (size_t i = 0; i < flips && !seed.empty(); ++i) {
        bytes m = seed;
        const size_t at = rng.next() % m.size();
        const uint32_t kind = rng.next() % 4;
        const auto value = static_cast<uint8_t>(rng.next());
        m[at] = kind == 0   ? static_cast<uint8_t>(m[at] ^ (1u << (value % 8)))
                : kind == 1 ? uint8_t{0}
                : kind == 2 ? uint8_t{0xFF}
                            : value;
        out.push_back({"byte " + std::to_string(at) + " kind " + std::to_string(kind), m});
    }
    for (size_t i = 0; i < cuts; ++i) {
        const size_t keep = seed.size() * i / cuts;
        out.push_back({"cut to " + std::to_string(keep),
                       bytes(seed.begin(), seed.begin() + static_cast<long>(keep))});
    }
    return out;
}

// Every segment length field before the first scan set to extremes.
std::vector<namedbytes> jpeglengthmutants(const bytes& seed) {
    std::vector<namedbytes> out;
    size_t pos = 2;
    while (pos + 3 < seed.size() && seed[pos] == 0xFF) {
        const uint8_t code = seed[pos + 1];
        if (code == 0xFF) {
            ++pos;
            continue;
        }
        if (code == 0xD9 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            pos += 2;
            continue;
        }
        const auto length = static_cast<uint16_t>(seed[pos + 2] << 8 | seed[pos + 3]);
        for (const uint16_t v :
             {uint16_t{0}, uint16_t{1}, uint16_t{2}, uint16_t{0xFFFF},
              static_cast<uint16_t>(length - 1), static_cast<uint16_t>(length + 1)}) {
            bytes m = seed;
            m[pos + 2] = static_cast<uint8_t>(v >> 8);
            m[pos + 3] = static_cast<uint8_t>(v & 0xFF);
            out.push_back({"length of FF" + std::to_string(code) + " = " + std::to_string(v), m});
        }
        if (code == 0xDA) {
            break;
        }
        pos += 2 + length;
    }
    return out;
}

// Every size, offset and count field of the headers set to extremes.
std::vector<namedbytes> bmpfieldmutants(const bytes& seed) {
    using namespace ovintest::bmpfield;
    std::vector<namedbytes> out;
    for (const size_t field :
         {filesize, offset, headersize, width, height, imagesize, xppm, colorsused}) {
        for (const uint32_t v : {0u, 1u, 40u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
            bytes m = seed;
            ovintest::putle32(m, field, v);
            out.push_back({"field " + std::to_string(field) + " = " + std::to_string(v), m});
        }
    }
    for (const int bitsi : {0, 1, 4, 8, 24, 32, 0xFFFF}) {
        const auto bits = static_cast<uint16_t>(bitsi);
        bytes m = seed;
        m[bitcount] = static_cast<uint8_t>(bits & 0xFF);
        m[bitcount + 1] = static_cast<uint8_t>(bits >> 8);
        out.push_back({"bitcount " + std::to_string(bits), m});
    }
    for (const uint32_t c : {1u, 3u}) {
        bytes m = seed;
        ovintest::putle32(m, compression, c);
        out.push_back({"compression " + std::to_string(c), m});
    }
    return out;
}

class Mutations : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "mutation-XXXXXX").string();
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        dir_ = templ;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const bytes& b, const std::string& name) {
        const std::string p = (dir_ / name).string();
        EXPECT_TRUE(ovintest::savejpeg(p, b));
        return p;
    }

    fs::path dir_;
};

bool startswith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool endswith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void checkjpeg(const std::string& path, const bytes& b) {
    ovintest::classicjpeg first;
    ovintest::classicjpeg second;
    const bool ok = first.readfile(path);
    ASSERT_EQ(second.readfile(path), ok);
    EXPECT_EQ(first.errortext, second.errortext);
    EXPECT_EQ(first.width, second.width);
    EXPECT_EQ(first.height, second.height);
    EXPECT_EQ(first.components, second.components);
    EXPECT_EQ(first.xdensity, second.xdensity);
    EXPECT_EQ(first.adobe, second.adobe);
    EXPECT_FALSE(first.showmessage);
    EXPECT_EQ(first.filesize, static_cast<int64_t>(b.size()));

    if (ok) {
        EXPECT_TRUE(first.errortext.empty());
        EXPECT_EQ(first.ioerror, 0);
        EXPECT_EQ(first.width == 0, first.height == 0);
        EXPECT_EQ(first.width == 0, first.components == 0);
        if (first.width != 0) {
            EXPECT_TRUE(first.components == 1 || first.components == 3 || first.components == 4);
            // Whatever libjpeg can read up to the first scan, it must read alike.
            const auto ref = ovintest::decodejpeg(b, true);
            if (ref.headerok) {
                EXPECT_EQ(first.width, ref.width);
                EXPECT_EQ(first.height, ref.height);
                EXPECT_EQ(first.components, ref.components);
                EXPECT_EQ(first.adobe, ref.adobe);
            }
        }
        return;
    }
    if (first.errortext.empty()) {
        // Only a file that does not start like a JPEG fails without a word.
        EXPECT_EQ(first.ioerror, 0);
        ASSERT_GE(b.size(), 2u);
        EXPECT_FALSE(b[0] == 0xFF && b[1] == 0xD8);
        return;
    }
    if (startswith(first.errortext, "I/O Error ")) {
        EXPECT_EQ(first.ioerror, 100);
        EXPECT_EQ(first.errortext, "I/O Error 100 while reading " + path);
    } else {
        EXPECT_EQ(first.ioerror, 0);
        EXPECT_TRUE(endswith(first.errortext, " in " + path)) << first.errortext;
    }
}

void checkbmp(const std::string& path, const bytes& b) {
    ovintest::classicbmp first;
    ovintest::classicbmp second;
    const bool ok = first.readfile(path);
    EXPECT_EQ(ok, !first.haserror());
    ASSERT_EQ(second.readfile(path), ok);
    EXPECT_EQ(first.geterrortext(), second.geterrortext());
    EXPECT_EQ(first.datasize, second.datasize);

    if (!ok) {
        EXPECT_FALSE(first.geterrortext().empty());
        EXPECT_EQ(first.ioerror != 0, startswith(first.geterrortext(), "I/O Error "));
        return;
    }
    EXPECT_TRUE(first.geterrortext().empty());
    EXPECT_EQ(first.ioerror, 0);
    ASSERT_TRUE(first.bitcount == 1 || first.bitcount == 8 || first.bitcount == 24);
    ASSERT_GT(first.width, 0u);
    ASSERT_GT(first.height, 0u);
    const uint64_t want = first.bitcount == 1 ? (uint64_t{first.width} + 7) / 8 * first.height
                                              : uint64_t{first.width} * first.height * 3;
    EXPECT_EQ(first.datasize, want);
    // Never more than the file can hold (8-bit pixels triple).
    EXPECT_LE(first.datasize, 3 * b.size());

    // Exactly sized, so that AddressSanitizer sees any write past it; the
    // second copy carries guard bytes for builds without it.
    bytes exact(first.datasize);
    first.copypixels(exact.data());
    bytes guarded(size_t{second.datasize} + 16, 0xA5);
    second.copypixels(guarded.data());
    EXPECT_TRUE(std::equal(exact.begin(), exact.end(), guarded.begin()));
    EXPECT_EQ(bytes(guarded.end() - 16, guarded.end()), bytes(16, 0xA5));
}

TEST_F(Mutations, JpegProbeStaysSound) {
    size_t count = 0;
    uint32_t rngseed = 7;
    for (const auto& [name, seed] : seedfiles("jpeginfo")) {
        ASSERT_FALSE(seed.empty()) << name;
        auto mutants = commonmutants(seed, rngseed++, 60, 20);
        const auto lengths = jpeglengthmutants(seed);
        mutants.insert(mutants.end(), lengths.begin(), lengths.end());
        for (const auto& [what, m] : mutants) {
            SCOPED_TRACE(name + ": " + what);
            checkjpeg(write(m, "m.jpg"), m);
            ++count;
        }
    }
    EXPECT_GT(count, 300u);
}

TEST_F(Mutations, BmpProbeStaysSound) {
    size_t count = 0;
    uint32_t rngseed = 11;
    for (const auto& [name, seed] : seedfiles("bmpinfo")) {
        ASSERT_FALSE(seed.empty()) << name;
        auto mutants = commonmutants(seed, rngseed++, 40, 15);
        const auto fields = bmpfieldmutants(seed);
        mutants.insert(mutants.end(), fields.begin(), fields.end());
        for (const auto& [what, m] : mutants) {
            SCOPED_TRACE(name + ": " + what);
            checkbmp(write(m, "m.bmp"), m);
            ++count;
        }
    }
    EXPECT_GT(count, 300u);
}

} // namespace
