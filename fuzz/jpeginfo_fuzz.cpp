// libFuzzer target for the JPEG probe. The input becomes an in-memory file
// that the probe opens by its /proc/self/fd name, as it would open any file.
#include "jpeginfo.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("jpeginfo-fuzz", MFD_CLOEXEC);
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
    close(fd);
    return 0;
}
