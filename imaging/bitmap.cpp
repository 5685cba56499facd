#include "bitmap.h"

#include <algorithm>

namespace ovin::imaging {

std::optional<size_t> packedStride(int64_t width, int bits) {
    if (width <= 0 || bits <= 0 || bits > 32) {
        return std::nullopt;
    }
    const uint64_t rowbits = static_cast<uint64_t>(width) * static_cast<uint64_t>(bits);
    const uint64_t bytes = (rowbits + 7) / 8;
    if (bytes > kMaxBitmapBytes) {
        return std::nullopt;
    }
    return static_cast<size_t>(bytes);
}

bool bitmapFits(int64_t width, int64_t height, int bits) {
    if (bits != 1 && bits != 8 && bits != 24 && bits != 32) {
        return false;
    }
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) {
        return false;
    }
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPixels) {
        return false;
    }
    const auto stride = packedStride(width, bits);
    return stride && *stride * static_cast<uint64_t>(height) <= kMaxBitmapBytes;
}

std::optional<Bitmap> makeBitmap(int64_t width, int64_t height, int bits, int photometric) {
    if (!bitmapFits(width, height, bits)) {
        return std::nullopt;
    }
    const size_t stride = *packedStride(width, bits);
    Bitmap bm;
    bm.width = static_cast<int32_t>(width);
    bm.height = static_cast<int32_t>(height);
    bm.bits = bits;
    bm.photometric = photometric;
    bm.stride = stride;
    bm.pixels.assign(stride * static_cast<size_t>(height), 0);
    return bm;
}

bool isIdentityGreyPalette(const std::vector<Rgb>& palette) {
    if (palette.empty() || palette.size() > 256) {
        return false;
    }
    for (size_t i = 0; i < palette.size(); ++i) {
        const auto v = static_cast<uint8_t>(i);
        if (palette[i] != Rgb{v, v, v}) {
            return false;
        }
    }
    return true;
}

bool isGreyPalette(const std::vector<Rgb>& palette) {
    return std::all_of(palette.begin(), palette.end(),
                       [](const Rgb& c) { return c.r == c.g && c.g == c.b; });
}

namespace {

void putPaletteEntry(const std::vector<Rgb>& palette, unsigned index, uint8_t* out) {
    // An index past the palette's end shows as black.
    const Rgb c = index < palette.size() ? palette[index] : Rgb{};
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
}

} // namespace

void Bitmap::rowToRgb(int32_t y, uint8_t* out) const {
    ovin::imaging::rowToRgb(*this, row(y), out);
}

void rowToRgb(const PageFormat& format, const uint8_t* src, uint8_t* out) {
    const auto w = static_cast<size_t>(format.width);
    const std::vector<Rgb>& palette = format.palette;
    const bool hasPalette = format.hasPalette();
    const int32_t photometric = format.photometric;
    switch (format.bits) {
    case 1: {
        // Without a palette, photometric 0 draws a set bit black; 1 draws it white.
        const uint8_t setlevel = photometric == kPhotometricMinIsWhite ? 0 : 255;
        const auto clearlevel = static_cast<uint8_t>(255 - setlevel);
        for (size_t x = 0; x < w; ++x) {
            const unsigned bit = (src[x >> 3] >> (7 - (x & 7))) & 1U;
            if (hasPalette) {
                putPaletteEntry(palette, bit, out + 3 * x);
            } else {
                const uint8_t v = bit ? setlevel : clearlevel;
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = v;
            }
        }
        break;
    }
    case 8:
        for (size_t x = 0; x < w; ++x) {
            if (hasPalette) {
                putPaletteEntry(palette, src[x], out + 3 * x);
            } else {
                const uint8_t v = photometric == kPhotometricMinIsWhite
                                      ? static_cast<uint8_t>(255 - src[x])
                                      : src[x];
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = v;
            }
        }
        break;
    case 24:
        std::copy(src, src + 3 * w, out);
        break;
    case 32:
        for (size_t x = 0; x < w; ++x) {
            out[3 * x] = src[4 * x];
            out[3 * x + 1] = src[4 * x + 1];
            out[3 * x + 2] = src[4 * x + 2];
        }
        break;
    default:
        std::fill(out, out + 3 * w, 0);
        break;
    }
}

} // namespace ovin::imaging
