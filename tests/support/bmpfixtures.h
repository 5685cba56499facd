// Windows bitmap test files, written byte by byte, well-formed or broken on
// purpose.
//
//   ovintest::bmpoptions opt;            // 24-bit, 3780 pixels per metre (96 dpi)
//   opt.width = 3; opt.height = 2;
//   opt.pixels = {...};                  // 3 bytes R,G,B per pixel, top row first
//   ovintest::savebmp(path, ovintest::makebmp(opt));
//
// Pixels are always given top row first, one entry per pixel (1-bit: 0 or 1;
// 2-, 4- and 8-bit: palette index; 24-bit: R,G,B; 16- and 32-bit with masks
// set: R,G,B,A), and makebmp stores them as the file needs: bottom row first
// (or top first for opt.topdown), rows padded to four bytes, 24-bit pixels as
// B,G,R, 16- and 32-bit pixels as the masks place them (each 8-bit value cut
// to its field's width), 8- and 4-bit pixels run-length coded for
// compression 1 and 2. Each field below can be overridden to make a
// malformed file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ovintest {

struct bmpoptions {
    uint16_t bitcount = 24; // 1, 8 and 24 hold pixels; others write the pixel bytes as given
    int32_t width = 1;
    int32_t height = 1; // positive; opt.topdown stores it negated
    bool topdown = false;
    uint32_t xppm = 3780; // pixels per metre
    uint32_t yppm = 3780;
    std::vector<uint8_t> pixels; // see above; missing pixels are 0

    // 1-bit: entries 0 and 1 as R,G,B. The default is black, white.
    std::array<uint8_t, 6> palette1 = {0, 0, 0, 255, 255, 255};
    // 2-, 4- and 8-bit: R,G,B per entry. Empty: a grey ramp of 2^bitcount levels.
    std::vector<uint8_t> palette8;
    uint32_t colorsused = 0; // the colours-used field (entries written follow palette8's size)

    uint32_t headersize = 40; // info header size; bytes past the first 40 are zero
    uint32_t compression = 0;
    bool writeimagesize = true;             // false: the image-size field holds 0
    std::optional<uint32_t> imagesizefield; // overrides the image-size field
    std::optional<uint32_t> filesizefield;  // overrides the file-size field
    std::optional<uint32_t> offsetfield;    // overrides the pixel-block offset
    size_t trailing = 0;                    // extra zero bytes after the pixel block
    std::vector<uint8_t> rawpixels;         // when not empty: the pixel block exactly as given

    // 16- and 32-bit: red, green, blue and alpha masks. Written after a
    // 40-byte header for compression 3 (three) and 6 (four), and into any
    // header of 56 bytes or more.
    std::optional<std::array<uint32_t, 4>> masks;
    bool rledelta = false; // run-length coding: zero stretches as delta codes
    // With a header of 124 bytes: an embedded ICC profile after the pixels.
    std::vector<uint8_t> iccprofile;
};

// How a 16- or 32-bit pixel's field value looks at 8 bits: its fraction of
// the field's largest value, rounded.
uint8_t fieldlevel(uint8_t value, uint32_t mask);

std::vector<uint8_t> makebmp(const bmpoptions& options);

// A grey ramp palette as R,G,B triplets, 'entries' long.
std::vector<uint8_t> greypalette(size_t entries = 256);

// Stored row length of one row, with padding (the stride).
uint32_t bmpstride(uint16_t bitcount, uint32_t width);

// Writes bytes to a file; false when that fails.
bool savebmp(const std::string& path, const std::vector<uint8_t>& bytes);

// The byte offsets of the header fields, for tests that break one.
namespace bmpfield {
inline constexpr size_t filesize = 2;
inline constexpr size_t offset = 10;
inline constexpr size_t headersize = 14;
inline constexpr size_t width = 18;
inline constexpr size_t height = 22;
inline constexpr size_t bitcount = 28;
inline constexpr size_t compression = 30;
inline constexpr size_t imagesize = 34;
inline constexpr size_t xppm = 38;
inline constexpr size_t colorsused = 46;
} // namespace bmpfield

// Puts a little-endian 32-bit value at 'at'.
void putle32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);

} // namespace ovintest
