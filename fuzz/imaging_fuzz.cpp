// Feeds arbitrary bytes to the imaging operations as an image file: open,
// information, a small scaled copy, drawing into a small surface, the second
// page, the page bitmap, close. The bytes live in a memory file reached
// through /proc/self/fd, so nothing touches the disk.
#include "imaging.h"
#include "memoryfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Pages larger than this are only opened, not decoded: the fuzzer's memory
// ceiling is lower than the library's own limits.
constexpr int64_t kMaxFuzzPixels = int64_t{1} << 22;

bool smallEnough(const ImgInfo* info) {
    return info != nullptr &&
           static_cast<int64_t>(info->width) * static_cast<int64_t>(info->height) <= kMaxFuzzPixels;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const memoryfile file(data, size);
    const std::string path = file.name();
    // The file's signature decides how it is read; the type only varies
    // the text the library is given.
    static const char* const types[] = {"TIF", ".JPG", "bmp"};
    const ImgHandle image = ImgOpenSolo(path.c_str(), types[size % 3]);
    if (image != 0) {
        const ImgInfo* info = ImgGetInfo(image, nullptr);
        if (smallEnough(info)) {
            const ImgHandle copy = ImgCopy(image, 16, 12, 0, 16);
            std::vector<uint32_t> pixels(24 * 20, 0);
            ImgSurface surface{pixels.data(), 24, 20, 24 * 4};
            const ImgRect rect{-3, 2, 30, 18};
            ImgDrawImage(copy != 0 ? copy : image, &surface, &rect, 0);
            ImgDrawImage(image, &surface, &rect, 0);
            ImgClose(copy);
            ImgGetDIB(image, 0, 0);
        }
        if (ImgSetPage(image, 1) == 1 && smallEnough(ImgGetInfo(image, nullptr))) {
            const ImgHandle copy = ImgCopy(image, 5, 5, 0, 16);
            ImgClose(copy);
        }
        ImgClose(image);
    }
    return 0;
}
