// zlib compression of the content streams of image pages, and of image
// data and profiles.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace ovin {

// Compresses s at level 9 into `out`, appends one LF byte and returns the
// total length (compressed length plus 1); -1 when zlib reports an error.
int64_t deflatestring(std::string_view s, std::vector<uint8_t>& out);

// The bytes compressed as one zlib stream (FlateDecode data); empty only
// when zlib fails.
std::vector<uint8_t> deflatebytes(std::span<const uint8_t> bytes, int level = 6);

} // namespace ovin
