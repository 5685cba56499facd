// The Windows bitmap reader: the headers from the OS/2 core header to V5,
// palette images of 1, 2, 4 and 8 bits (plain or run-length coded), 16- and
// 32-bit pixels with bit fields, 24-bit pixels, rows stored either way up,
// an alpha channel and an embedded ICC profile. The document face reads its
// pages with readbmpdocument; the classic face and the imaging library take
// the header, the palette and the decoded rows and apply their own rules.
#pragma once

#include "readers/imagedesc.h"
#include "readers/registry.h"
#include "status.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

class bytesource;

// One colour channel of 16- and 32-bit pixels: where its mask starts and
// its largest value (0 for a channel that is not there).
struct bmpfield {
    uint32_t shift = 0;
    uint32_t maximum = 0;

    // The channel of a pixel scaled to 8 bits, rounded.
    uint8_t value(uint32_t pixel) const {
        if (maximum == 0) {
            return 0;
        }
        const uint64_t v = (pixel >> shift) & maximum;
        return static_cast<uint8_t>((v * 255 + maximum / 2) / maximum);
    }
};

// What the headers say, in the terms of the newest header version.
struct bmpheader {
    uint32_t filesize = 0; // the file header's size field, as written
    uint32_t offset = 0;   // where the pixels start
    uint32_t headersize = 0;
    int32_t storedwidth = 0; // the width and height fields as written
    int32_t storedheight = 0;
    uint32_t width = 0;   // the width field when positive, else 0
    uint32_t height = 0;  // the height field made positive
    bool topdown = false; // rows stored top first (a negative height)
    uint16_t bits = 0;
    uint32_t compression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 and 6 bit fields
    uint32_t imagesize = 0;
    uint32_t xppm = 0; // pixels per metre
    uint32_t yppm = 0;
    uint32_t colorsused = 0;
    std::array<uint32_t, 4> masks{}; // red, green, blue, alpha
    uint64_t palettepos = 0;
    uint32_t paletteentry = 4; // bytes per palette entry: 3 with the core header
    uint32_t cstype = 0;
    uint32_t profileoffset = 0; // from the start of the info header
    uint32_t profilesize = 0;
    // The channels of 16- and 32-bit pixels (set by readbmpheader).
    std::array<bmpfield, 4> fields{};

    bool rle() const { return compression == 1 || compression == 2; }
    bool indexed() const { return bits <= 8; }
    bool hasalpha() const { return fields[3].maximum != 0; }
    uint64_t stride() const { return (uint64_t{width} * bits + 31) / 32 * 4; }
    // Bytes of one stored row that hold pixels (no fill bytes).
    uint64_t rowbytes() const { return (uint64_t{width} * bits + 7) / 8; }
};

// Reads and checks the headers of any version: a file that does not start
// with "BM", an unknown header size, an empty image, a bit count, coding or
// bit-field mask this reader cannot decode is refused with an image error
// that names `name`; a failed read is the reader's fault.
status readbmpheader(bytesource& source, const std::string& name, bmpheader& header);
// The file header and a 40-byte info header as they lie in the first 54
// bytes, whatever header size the file names; nothing is checked, only a
// failed read fails. For readers that know that one version.
status readbmpinfoheader(bytesource& source, bmpheader& header);

// The palette entries a file has: as many as the colours-used field says
// (all 2^bits when 0), at most as many as fit before the pixels.
uint64_t bmppaletteentries(const bmpheader& header);
// Reads `entries` palette entries as R,G,B triplets.
status readbmppalette(bytesource& source, const bmpheader& header, uint64_t entries,
                      std::vector<uint8_t>& rgb);

// Whether a file of `filesize` bytes holds every uncompressed row (the last
// one need not carry its fill bytes).
bool bmprowsinfile(const bmpheader& header, uint64_t filesize);

// Decoded pixels, top row first.
struct bmppixels {
    // Palette images: indices of the file's bit count, rows packed to whole
    // bytes; others R,G,B.
    std::vector<uint8_t> data;
    std::vector<uint8_t> alpha; // one byte per pixel where an alpha field holds the alpha
    uint32_t maxindex = 0;      // the largest index a pixel uses
};

// Decodes the pixels. Run-length codes that reach past a row's end are cut
// there; pixels that no code writes keep index 0. Uncompressed rows must
// all be in the file.
status decodebmp(bytesource& source, const bmpheader& header, bmppixels& pixels);

// The most bytes a bitmap's decoded pixels may take: larger pages are
// refused before anything is allocated.
inline constexpr uint64_t kMaxBmpDecoded = uint64_t{1} << 32;

// Describes the bitmap held by `source` as the page of the file `name`
// (used in messages). Palette images (1, 2, 4 and 8 bits, also run-length
// coded) keep their indices with an indexed colour space; 16- and 32-bit
// images (bit fields) and 24-bit ones become 8-bit RGB, with a soft mask
// where an alpha channel holds something. Unless `mode` is skip, the data is
// the pixels top row first, uncompressed. `maxdecoded` bounds the
// decoded pixels (see kMaxBmpDecoded).
status readbmpdocument(bytesource& source, const std::string& name, imagedata mode, imagedesc& out,
                       uint64_t maxdecoded = kMaxBmpDecoded);

} // namespace ovin
