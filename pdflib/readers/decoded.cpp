#include "readers/decoded.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace ovin {

status readwhole(bytesource& source, const std::string& kind, const std::string& name,
                 std::vector<uint8_t>& bytes) {
    bytereader reader(source);
    if (reader.size() > kMaxDecodedFile) {
        return {OVINPDF_IMAGE_ERROR, kind + " file " + name + " is too large (" +
                                         std::to_string(reader.size()) + " bytes)"};
    }
    bytes.resize(static_cast<size_t>(reader.size()));
    if (!reader.read(bytes.data(), bytes.size())) {
        return readfailure(reader);
    }
    return {};
}

uint64_t mostpixels(uint64_t filesize) {
    constexpr uint64_t kMost = uint64_t{1} << 28;
    constexpr uint64_t kFree = uint64_t{1} << 24;
    constexpr uint64_t kPerByte = 4096;
    return std::min(kMost, std::max(kFree, std::min(filesize, kMost) * kPerByte));
}

bool believablepixels(uint64_t pixels, uint64_t filesize) {
    return pixels <= mostpixels(filesize);
}

void splitalpha(std::span<const uint8_t> samples, size_t colours, size_t bytes, imagedesc& out) {
    const size_t pixel = (colours + 1) * bytes;
    const size_t pixels = samples.size() / pixel;
    out.data.resize(pixels * colours * bytes);
    std::vector<uint8_t> alpha(pixels * bytes);
    bool transparent = false;
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* from = samples.data() + i * pixel;
        std::memcpy(out.data.data() + i * colours * bytes, from, colours * bytes);
        for (size_t b = 0; b < bytes; ++b) {
            const uint8_t a = from[colours * bytes + b];
            alpha[i * bytes + b] = a;
            transparent = transparent || a != 0xFF;
        }
    }
    if (!transparent) {
        out.softmask.reset();
        return;
    }
    auto mask = std::make_shared<imagedesc>();
    mask->width = out.width;
    mask->height = out.height;
    mask->bitspercomponent = static_cast<uint16_t>(8 * bytes);
    mask->colour = colourspace::gray;
    mask->data = std::move(alpha);
    out.softmask = std::move(mask);
}

} // namespace ovin
