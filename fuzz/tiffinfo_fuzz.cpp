// libFuzzer target for the TIFF probe: the input becomes an in-memory file
// (memfd, opened by its /proc/self/fd name), and pages 1 and 2 are probed
// and their data copied out, as the library does.
#include "tiffinfo.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class memoryfile {
public:
    memoryfile(const uint8_t* data, size_t size)
        : fd_(::memfd_create("tiffinfo_fuzz", MFD_CLOEXEC)) {
        if (fd_ < 0) {
            std::abort();
        }
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0) {
                std::abort();
            }
            done += static_cast<size_t>(n);
        }
    }
    ~memoryfile() { ::close(fd_); }
    memoryfile(const memoryfile&) = delete;
    memoryfile& operator=(const memoryfile&) = delete;
    std::string name() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

void probe(const std::string& name, uint16_t page, uint64_t filesize) {
    ovin::tiffinfo info;
    const bool ok = info.readfile(name, page);
    if (ok == info.haserror()) {
        std::abort(); // the result and the error flag disagree
    }
    // The strips together never hold more than the file; the JPEG header
    // block is one more stretch of it.
    if (info.datasize() > 2 * filesize) {
        std::abort();
    }
    std::vector<uint8_t> data(info.datasize());
    info.copydata(data.data());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const memoryfile file(data, size);
    probe(file.name(), 1, size);
    probe(file.name(), 2, size);
    return 0;
}
