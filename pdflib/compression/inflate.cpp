#include "compression/inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>

namespace ovin {

namespace {

// Undoes the PNG predictors of `rows` rows of a type byte and `rowbytes`
// bytes, in place; the rows lose their type byte.
void unpredict(std::vector<uint8_t>& data, size_t rowbytes, size_t bpp, size_t rows) {
    std::vector<uint8_t> previous(rowbytes, 0);
    for (size_t y = 0; y < rows; ++y) {
        const uint8_t type = data[y * (rowbytes + 1)];
        uint8_t* row = data.data() + y * (rowbytes + 1) + 1;
        for (size_t x = 0; x < rowbytes; ++x) {
            const int a = x >= bpp ? row[x - bpp] : 0;
            const int b = previous[x];
            const int c = x >= bpp ? previous[x - bpp] : 0;
            int add = 0;
            switch (type) {
            case 1:
                add = a;
                break;
            case 2:
                add = b;
                break;
            case 3:
                add = (a + b) / 2;
                break;
            case 4: {
                const int pa = std::abs(b - c);
                const int pb = std::abs(a - c);
                const int pc = std::abs(a + b - 2 * c);
                add = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                break;
            }
            default:
                break;
            }
            row[x] = static_cast<uint8_t>(row[x] + add);
        }
        std::copy(row, row + rowbytes, previous.begin());
        std::copy(row, row + rowbytes, data.begin() + static_cast<std::ptrdiff_t>(y * rowbytes));
    }
    data.resize(rows * rowbytes);
}

} // namespace

bool inflaterows(std::span<const uint8_t> flate, size_t rowbytes, size_t rows, size_t bpp,
                 bool predicted, std::vector<uint8_t>& out) {
    const size_t stride = rowbytes + (predicted ? 1 : 0);
    if (rowbytes == 0 || rows > SIZE_MAX / stride) {
        return false;
    }
    out.resize(stride * rows);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return false;
    }
    // zlib counts in 32 bits: the data goes in and out in pieces.
    constexpr size_t kPiece = size_t{1} << 30;
    size_t fed = 0;
    size_t made = 0;
    int result = Z_OK;
    while (result == Z_OK && made < out.size()) {
        if (z.avail_in == 0 && fed < flate.size()) {
            const size_t n = std::min(flate.size() - fed, kPiece);
            z.next_in = const_cast<Bytef*>(flate.data() + fed); // zlib does not write it
            z.avail_in = static_cast<uInt>(n);
            fed += n;
        }
        const size_t room = std::min(out.size() - made, kPiece);
        z.next_out = out.data() + made;
        z.avail_out = static_cast<uInt>(room);
        result = inflate(&z, Z_NO_FLUSH);
        made += room - z.avail_out;
        if (result == Z_BUF_ERROR && z.avail_in == 0 && fed == flate.size()) {
            break; // the data ends early
        }
        if (result == Z_BUF_ERROR) {
            result = Z_OK;
        }
    }
    inflateEnd(&z);
    if (made < out.size()) {
        return false;
    }
    if (predicted) {
        unpredict(out, rowbytes, std::max<size_t>(bpp, 1), rows);
    }
    return true;
}

} // namespace ovin
