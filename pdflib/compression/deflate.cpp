#include "compression/deflate.h"

#include <zlib.h>

namespace ovin {

int64_t deflatestring(std::string_view s, std::vector<uint8_t>& out) {
    out.clear();
    z_stream stream{};
    if (deflateInit(&stream, 9) != Z_OK) {
        return -1;
    }
    out.resize(deflateBound(&stream, static_cast<uLong>(s.size())) + 1);
    // zlib does not change its input; the cast only satisfies its C interface.
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
    stream.avail_in = static_cast<uInt>(s.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size() - 1);
    int rc = deflate(&stream, Z_FINISH);
    size_t produced = stream.total_out;
    deflateEnd(&stream);
    if (rc != Z_STREAM_END) {
        out.clear();
        return -1;
    }
    out.resize(produced + 1);
    out[produced] = '\n';
    return static_cast<int64_t>(produced) + 1;
}

std::vector<uint8_t> deflatebytes(std::span<const uint8_t> bytes, int level) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), level) !=
        Z_OK) {
        return {};
    }
    out.resize(size);
    return out;
}

} // namespace ovin
