// libFuzzer target for the JPEG probe. The input becomes an in-memory file
// that the probe opens by its /proc/self/fd name, as it would open any file.
#include "jpeginfo.h"
#include "memoryfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const memoryfile file(data, size);
    const std::string name = file.name();

    ovin::jpeginfo probe;
    const bool ok = probe.readfile(name);
    // What the probe accepts must be usable as it stands.
    if (ok && probe.width != 0 &&
        (probe.height == 0 ||
         (probe.components != 1 && probe.components != 3 && probe.components != 4))) {
        __builtin_trap();
    }
    if (!ok && probe.ioerror != 0 && probe.errortext.empty()) {
        __builtin_trap();
    }
    if (probe.filesize != static_cast<int64_t>(size) && probe.errortext.rfind("Access", 0) != 0) {
        __builtin_trap();
    }
    return 0;
}
