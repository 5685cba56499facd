// What the readers share that decode through an image library (WebP, GIF,
// HEIF, JPEG XL): reading a file into memory, believing its picture's
// size, and parting decoded samples from their alpha channel.
#pragma once

#include "readers/bytesource.h"
#include "readers/imagedesc.h"
#include "status.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ovin {

// Files above this are refused rather than read into memory.
inline constexpr uint64_t kMaxDecodedFile = uint64_t{1} << 30;

// The whole source into `bytes`; a file above kMaxDecodedFile is refused
// with a message that names `kind` and the file.
status readwhole(bytesource& source, const std::string& kind, const std::string& name,
                 std::vector<uint8_t>& bytes);

// Whether a picture of `pixels` is believable from a file of `filesize`
// bytes: at most 256 megapixels (1 GB as RGBA), and above 16 megapixels no
// more than 4096 pixels to each byte (a flat picture so large in so few
// bytes is a lie more likely than a page).
bool believablepixels(uint64_t pixels, uint64_t filesize);
// The most pixels believable from a file of that size.
uint64_t mostpixels(uint64_t filesize);

// Interleaved samples of `colours` colour components and one alpha
// component, each `bytes` bytes, into the page's data and a soft mask of
// the same depth (the page's size); the mask is left out when every pixel
// is opaque.
void splitalpha(std::span<const uint8_t> samples, size_t colours, size_t bytes, imagedesc& out);

} // namespace ovin
