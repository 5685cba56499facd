// libFuzzer target for the BMP probe. The input becomes an in-memory file
// that the probe opens by its /proc/self/fd name; accepted pixels are copied
// into a buffer of exactly the announced size.
#include "bmpinfo.h"
#include "memoryfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const memoryfile file(data, size);
    const std::string name = file.name();

    ovin::bmpinfo probe;
    const bool ok = probe.readfile(name);
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
