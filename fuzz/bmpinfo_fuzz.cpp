// libFuzzer target for the BMP probe, reading the input from memory;
// accepted pixels are copied into a buffer of exactly the announced size.
#include "readers/bmpinfo.h"
#include "readers/bytesource.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source({data, size});
    ovin::bmpinfo probe;
    const bool ok = probe.read(source, "fuzz.bmp");
    if (ok != !probe.haserror()) {
        __builtin_trap();
    }
    if (ok) {
        // Nothing bigger than the file can justify (8-bit pixels triple).
        if (probe.datasize > 3 * static_cast<uint64_t>(size)) {
            __builtin_trap();
        }
        std::vector<uint8_t> pixels(probe.datasize);
        probe.copypixels(pixels.data());
    }
    return 0;
}
