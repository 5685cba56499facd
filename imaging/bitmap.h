// One decoded page held in memory: rows top row first, tightly packed (no
// padding at the row ends), samples kept as the file stored them.
//
//   bits 1  : one bit per pixel, most significant bit first. Without a
//             palette the photometric (0 WhiteIsZero, 1 BlackIsZero) says what
//             a set bit means; the bits are never inverted.
//   bits 8  : one byte per pixel: a grey level (photometric 0 or 1) or, with
//             a palette, an index into it.
//   bits 24 : red, green, blue.
//   bits 32 : red, green, blue, alpha (the alpha is carried, never drawn).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace ovin::imaging {

inline constexpr int kPhotometricMinIsWhite = 0;
inline constexpr int kPhotometricMinIsBlack = 1;
inline constexpr int kPhotometricRgb = 2;
inline constexpr int kPhotometricPalette = 3;

// Ceilings for anything sized from a file header or a caller's argument.
inline constexpr uint64_t kMaxBitmapBytes = uint64_t{1} << 31;
inline constexpr uint64_t kMaxPixels = uint64_t{1} << 31;

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

// What a page is, apart from its pixels: size, depth, meaning of the
// samples and resolution, and the bytes of one packed row.
struct PageFormat {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bits = 0; // 1, 8, 24 or 32
    int32_t photometric = kPhotometricMinIsBlack;
    std::vector<Rgb> palette; // non-empty only for indexed pages
    int32_t xdpi = 0;         // 0 when unknown
    int32_t ydpi = 0;
    size_t stride = 0; // bytes per row

    bool hasPalette() const { return !palette.empty(); }
};

struct Bitmap : PageFormat {
    std::vector<uint8_t> pixels;

    const uint8_t* row(int32_t y) const { return pixels.data() + static_cast<size_t>(y) * stride; }
    uint8_t* row(int32_t y) { return pixels.data() + static_cast<size_t>(y) * stride; }

    // Writes width × 3 bytes (red, green, blue) of row y as they look.
    void rowToRgb(int32_t y, uint8_t* out) const;
};

// Writes format.width × 3 bytes (red, green, blue): how a row of a page of
// that format looks.
void rowToRgb(const PageFormat& format, const uint8_t* row, uint8_t* out);

// Bytes in one packed row, or nothing when the sizes are out of bounds.
std::optional<size_t> packedStride(int64_t width, int bits);

// True when a page of that size and depth fits the ceilings above (and its
// sides are positive).
bool bitmapFits(int64_t width, int64_t height, int bits);

// A bitmap of the given size and depth with zeroed pixels, or nothing when it
// would exceed the ceilings above (or a side is not positive).
std::optional<Bitmap> makeBitmap(int64_t width, int64_t height, int bits, int photometric);

// True when every palette entry is the grey level of its own index, so the
// indexes can stand for grey levels.
bool isIdentityGreyPalette(const std::vector<Rgb>& palette);

// True when every entry of the palette is a grey (r == g == b).
bool isGreyPalette(const std::vector<Rgb>& palette);

} // namespace ovin::imaging
