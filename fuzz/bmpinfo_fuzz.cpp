// libFuzzer target for the classic face's reading of bitmaps, from memory:
// accepted pixels are exactly as many as the size and bit count say.
#include "faces/classic/pages.h"
#include "readers/bytesource.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source({data, size});
    ovin::classicbmpfacts facts;
    std::vector<uint8_t> pixels;
    if (!ovin::readclassicbmp(source, "fuzz.bmp", ovin::imagedata::read, facts, pixels).ok()) {
        if (!pixels.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    const uint64_t rows =
        facts.bitcount == 1 ? (uint64_t{facts.width} + 7) / 8 : uint64_t{facts.width} * 3;
    // Nothing bigger than the file can justify (8-bit pixels triple).
    if (pixels.size() != rows * facts.height || pixels.size() > 3 * static_cast<uint64_t>(size)) {
        __builtin_trap();
    }
    return 0;
}
