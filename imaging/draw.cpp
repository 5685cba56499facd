#include "draw.h"

#include <algorithm>
#include <vector>

namespace ovin::imaging {

bool drawStretched(const Bitmap& src, const ImgSurface& surface, const ImgRect& rect) {
    if (surface.pixels == nullptr || surface.width <= 0 || surface.height <= 0 ||
        surface.stride < 0 ||
        static_cast<int64_t>(surface.stride) < static_cast<int64_t>(surface.width) * 4 ||
        surface.stride % 4 != 0 || src.width <= 0 || src.height <= 0) {
        return false;
    }
    const int64_t rw = static_cast<int64_t>(rect.right) - rect.left;
    const int64_t rh = static_cast<int64_t>(rect.bottom) - rect.top;
    if (rw <= 0 || rh <= 0) {
        return true;
    }
    const int64_t x0 = std::max<int64_t>(rect.left, 0);
    const int64_t x1 = std::min<int64_t>(rect.right, surface.width);
    const int64_t y0 = std::max<int64_t>(rect.top, 0);
    const int64_t y1 = std::min<int64_t>(rect.bottom, surface.height);
    if (x0 >= x1 || y0 >= y1) {
        return true;
    }
    // The source pixel under the centre of a target pixel. Doubles: the
    // products of 32-bit coordinates and sizes do not fit 64-bit integers.
    const auto sourceIndex = [](int64_t offset, int64_t span, int32_t size) {
        const double at = (static_cast<double>(offset) + 0.5) * size / static_cast<double>(span);
        return std::clamp<int64_t>(static_cast<int64_t>(at), 0, size - 1);
    };
    std::vector<size_t> column(static_cast<size_t>(x1 - x0));
    for (int64_t x = x0; x < x1; ++x) {
        column[static_cast<size_t>(x - x0)] =
            static_cast<size_t>(sourceIndex(x - rect.left, rw, src.width));
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(src.width) * 3);
    int64_t loaded = -1;
    const size_t wordsPerRow = static_cast<size_t>(surface.stride) / 4;
    for (int64_t y = y0; y < y1; ++y) {
        const int64_t sy = sourceIndex(y - rect.top, rh, src.height);
        if (sy != loaded) {
            src.rowToRgb(static_cast<int32_t>(sy), rgb.data());
            loaded = sy;
        }
        uint32_t* dst = surface.pixels + static_cast<size_t>(y) * wordsPerRow;
        for (int64_t x = x0; x < x1; ++x) {
            const uint8_t* p = rgb.data() + 3 * column[static_cast<size_t>(x - x0)];
            dst[x] = 0xFF000000U | (static_cast<uint32_t>(p[0]) << 16) |
                     (static_cast<uint32_t>(p[1]) << 8) | p[2];
        }
    }
    return true;
}

} // namespace ovin::imaging
