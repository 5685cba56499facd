// zlib compression of the content streams of image pages.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace ovin {

// Compresses s at level 9 into `out`, appends one LF byte and returns the
// total length (compressed length plus 1); -1 when zlib reports an error.
int64_t deflatestring(std::string_view s, std::vector<uint8_t>& out);

} // namespace ovin
