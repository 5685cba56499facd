// Flate image data decoded back into its rows of samples, for the parts of
// the library that look at a page's pixels (previews, text recognition).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ovin {

// Inflates `flate` into `rows` rows of `rowbytes` bytes. With `predicted`
// each row carries a PNG predictor type byte first, undone here from the
// byte `bpp` (at least 1) to the left and the row above. False when the
// data is damaged or holds fewer rows; `out` then holds nothing of use.
bool inflaterows(std::span<const uint8_t> flate, size_t rowbytes, size_t rows, size_t bpp,
                 bool predicted, std::vector<uint8_t>& out);

} // namespace ovin
