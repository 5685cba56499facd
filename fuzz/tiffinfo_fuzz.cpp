// libFuzzer target for the TIFF probe: the input becomes an in-memory file
// (memfd, opened by its /proc/self/fd name), and pages 1 and 2 are probed
// and their data copied out, as the library does.
#include "memoryfile.h"
#include "tiffinfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

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
