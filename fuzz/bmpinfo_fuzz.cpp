// libFuzzer target for the BMP probe. The input becomes an in-memory file
// that the probe opens by its /proc/self/fd name; accepted pixels are copied
// into a buffer of exactly the announced size.
#include "bmpinfo.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("bmpinfo-fuzz", MFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            return 0;
        }
        done += static_cast<size_t>(n);
    }
    const std::string name = "/proc/self/fd/" + std::to_string(fd);

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
    close(fd);
    return 0;
}
