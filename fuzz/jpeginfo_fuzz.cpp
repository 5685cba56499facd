// libFuzzer target for the JPEG probe, reading the input from memory.
#include "readers/bytesource.h"
#include "readers/jpeg.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source({data, size});
    ovin::jpeginfo probe;
    const bool ok = probe.read(source, "fuzz.jpg");
    // What the probe accepts must be usable as it stands.
    if (ok && probe.width != 0 &&
        (probe.height == 0 ||
         (probe.components != 1 && probe.components != 3 && probe.components != 4))) {
        __builtin_trap();
    }
    // A failure says why: a read that failed, or a text (none only for a
    // file that is no JPEG at all), never both.
    if (!ok && probe.why && !probe.errortext.empty()) {
        __builtin_trap();
    }
    if (probe.filesize != static_cast<int64_t>(size)) {
        __builtin_trap();
    }
    return 0;
}
