// PNG pages. The chunks are walked once over the byte source: IHDR, PLTE,
// tRNS, pHYs, iCCP and eXIf are read, IDAT chunks are only located (and
// read in read mode). CRC errors refuse a critical chunk (IHDR, PLTE, IDAT,
// IEND) and make an ancillary one be ignored, as libpng does; unknown
// critical chunks are refused.
#include "readers/png.h"

#include "byteorder.h"
#include "numbers.h"
#include "readers/exif.h"

#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>

namespace ovin {

namespace {

constexpr std::array<uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kMaxChunk = 0x7FFFFFFF;
// Ancillary chunks above these sizes are skipped unread.
constexpr uint32_t kMaxIccChunk = 4 << 20;
constexpr uint32_t kMaxExifChunk = 1 << 20;
constexpr size_t kMaxProfile = 8 << 20;
// Deflate expands data at most 1032 times: a page whose rows need more
// than that from its IDAT bytes cannot be complete.
constexpr uint64_t kMaxInflation = 1032;
// Decoded pages above this are refused rather than allocated.
constexpr uint64_t kMaxDecoded = uint64_t{1} << 32;

constexpr uint32_t chunktype(const char (&s)[5]) {
    return uint32_t{uint8_t(s[0])} << 24 | uint32_t{uint8_t(s[1])} << 16 |
           uint32_t{uint8_t(s[2])} << 8 | uint32_t{uint8_t(s[3])};
}

std::string typename4(const uint8_t* p) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        s.push_back(p[i] >= 0x20 && p[i] < 0x7F ? static_cast<char>(p[i]) : '?');
    }
    return s;
}

status refuse(const std::string& name, const std::string& why) {
    return {OVINPDF_IMAGE_ERROR, "PNG file " + name + ": " + why};
}

struct chunkplace {
    uint64_t offset;
    uint32_t length;
};

struct pngfile {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t depth = 0;
    uint8_t colourtype = 0;
    uint8_t interlace = 0;
    std::vector<uint8_t> palette;
    bool transparency = false;
    uint16_t xdpi = 0;
    uint16_t ydpi = 0;
    std::vector<uint8_t> icc;
    orientation upright = orientation::normal;
    std::vector<chunkplace> idat;
    uint64_t idatbytes = 0;

    int channels() const {
        static constexpr std::array<int, 7> count{1, 0, 3, 1, 2, 0, 4};
        return count[colourtype];
    }
    bool grey() const { return colourtype == 0 || colourtype == 4; }
    bool alpha() const { return colourtype == 4 || colourtype == 6; }
    // The bytes of one stored row after its filter byte.
    uint64_t rowbytes() const { return (uint64_t{width} * channels() * depth + 7) / 8; }
    // Pages whose stored data PDF cannot show as it is.
    bool photo = false; // decoded when it is one, for JPEG coding
    bool decoded() const {
        return interlace != 0 || transparency || alpha() ||
               (photo && depth == 8 && (colourtype == 0 || colourtype == 2));
    }
};

// Feeds the zlib stream's output to sink(bytes, count) until the stream
// ends, fails or the sink returns false. Returns zlib's last result.
template <typename Sink> int inflateall(std::span<const uint8_t> in, Sink&& sink) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return Z_MEM_ERROR;
    }
    std::array<uint8_t, 65536> buffer{};
    size_t used = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.avail_in == 0 && used < in.size()) {
            const size_t n = std::min<size_t>(in.size() - used, size_t{1} << 30);
            z.next_in = const_cast<Bytef*>(in.data() + used); // zlib does not write it
            z.avail_in = static_cast<uInt>(n);
            used += n;
        }
        z.next_out = buffer.data();
        z.avail_out = static_cast<uInt>(buffer.size());
        rc = inflate(&z, Z_NO_FLUSH);
        const size_t produced = buffer.size() - z.avail_out;
        if ((rc == Z_OK || rc == Z_STREAM_END) && produced > 0 && !sink(buffer.data(), produced)) {
            break;
        }
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && used < in.size()) {
            rc = Z_OK; // more input to give
        }
    }
    inflateEnd(&z);
    return rc;
}

// The profile of an iCCP chunk: a name, a NUL, method 0 and the zlib
// stream. Empty when its stream is damaged.
std::vector<uint8_t> iccprofile(std::span<const uint8_t> body) {
    const auto nul = std::find(body.begin(), body.begin() + std::min<size_t>(body.size(), 80), 0);
    if (nul == body.begin() || body.end() - nul < 2 || nul[1] != 0) {
        return {};
    }
    std::vector<uint8_t> profile;
    bool fits = true;
    const int rc =
        inflateall(std::span<const uint8_t>(nul + 2, body.end()), [&](const uint8_t* p, size_t n) {
            fits = profile.size() + n <= kMaxProfile;
            if (fits) {
                profile.insert(profile.end(), p, p + n);
            }
            return fits;
        });
    // Whether it fits the image's colours is checked with the other kinds'
    // profiles, which warns when it does not.
    if (rc != Z_STREAM_END || !fits) {
        return {};
    }
    return profile;
}

// The Orientation of an EXIF block; normal when there is none.
orientation exiforientation(std::span<const uint8_t> block) {
    const exiffacts facts = readexif(block);
    return facts.orientation != 0 ? static_cast<orientation>(facts.orientation)
                                  : orientation::normal;
}

// Pixels per metre in dots per inch; 0 stays "none".
uint16_t dpifromppm(uint32_t ppm) {
    return dotsperinch(ppm, 1, perunit::metre);
}

status readheader(std::span<const uint8_t> b, const std::string& name, pngfile& png) {
    if (b.size() != 13) {
        return refuse(name, "IHDR chunk of " + std::to_string(b.size()) + " bytes");
    }
    png.width = be32(b.data());
    png.height = be32(b.data() + 4);
    png.depth = b[8];
    png.colourtype = b[9];
    png.interlace = b[12];
    if (png.width == 0 || png.height == 0 || png.width > kMaxChunk || png.height > kMaxChunk) {
        return refuse(name, "image size " + std::to_string(png.width) + " x " +
                                std::to_string(png.height));
    }
    const uint8_t d = png.depth;
    bool valid = false;
    switch (png.colourtype) {
    case 0:
        valid = d == 1 || d == 2 || d == 4 || d == 8 || d == 16;
        break;
    case 3:
        valid = d == 1 || d == 2 || d == 4 || d == 8;
        break;
    case 2:
    case 4:
    case 6:
        valid = d == 8 || d == 16;
        break;
    default:
        break;
    }
    if (!valid) {
        return refuse(name, "colour type " + std::to_string(png.colourtype) + " with bit depth " +
                                std::to_string(d));
    }
    if (b[10] != 0 || b[11] != 0 || png.interlace > 1) {
        return refuse(name, "unknown compression, filter or interlace method");
    }
    return {};
}

// Walks the chunks up to IEND (or the end of the file).
status readchunks(bytereader& reader, const std::string& name, pngfile& png) {
    std::array<uint8_t, 8> head{};
    if (!reader.read(head.data(), head.size())) {
        return readfailure(reader);
    }
    if (head != kSignature) {
        return refuse(name, "no PNG signature");
    }
    bool header = false;
    std::vector<uint8_t> body;
    while (reader.position() < reader.size()) {
        if (!reader.read(head.data(), head.size())) {
            return readfailure(reader);
        }
        const uint32_t length = be32(head.data());
        const uint32_t type = be32(head.data() + 4);
        const uint64_t start = reader.position();
        if (length > kMaxChunk) {
            return refuse(name, "chunk length " + std::to_string(length));
        }
        if (reader.size() - start < uint64_t{length} + 4) {
            return refuse(name, "the file is truncated");
        }
        if (header == (type == chunktype("IHDR"))) {
            return refuse(name, header ? "a second IHDR chunk" : "no IHDR chunk first");
        }
        const uint64_t next = start + length + 4;
        if (type == chunktype("IDAT")) {
            png.idat.push_back({start, length});
            png.idatbytes += length;
            reader.seek(next);
            continue;
        }
        const bool critical = (head[4] & 0x20) == 0;
        const bool known =
            type == chunktype("IHDR") || type == chunktype("PLTE") || type == chunktype("IEND");
        if (critical && !known) {
            return refuse(name, "unknown critical chunk " + typename4(head.data() + 4));
        }
        const bool wanted = known || (type == chunktype("tRNS") && length <= 256) ||
                            (type == chunktype("pHYs") && length == 9) ||
                            (type == chunktype("iCCP") && length <= kMaxIccChunk) ||
                            (type == chunktype("eXIf") && length <= kMaxExifChunk &&
                             png.upright == orientation::normal);
        if (!wanted) {
            reader.seek(next);
            continue;
        }
        body.resize(size_t{length} + 4);
        if (!reader.read(body.data(), body.size())) {
            return readfailure(reader);
        }
        const uLong crc = crc32(crc32(0, head.data() + 4, 4), body.data(), length);
        if (crc != be32(body.data() + length)) {
            if (critical) {
                return refuse(name, "CRC error in chunk " + typename4(head.data() + 4));
            }
            continue; // a damaged ancillary chunk is ignored
        }
        const std::span<const uint8_t> b(body.data(), length);
        if (type == chunktype("IHDR")) {
            if (status s = readheader(b, name, png); !s.ok()) {
                return s;
            }
            header = true;
        } else if (type == chunktype("IEND")) {
            break;
        } else if (type == chunktype("PLTE")) {
            if (length == 0 || length % 3 != 0 || length > 768) {
                return refuse(name, "palette of " + std::to_string(length) + " bytes");
            }
            if (png.palette.empty()) {
                png.palette.assign(b.begin(), b.end());
            }
        } else if (type == chunktype("tRNS")) {
            // Meaningless (and ignored by libpng) beside an alpha channel.
            png.transparency = !png.alpha();
        } else if (type == chunktype("pHYs")) {
            if (b[8] == 1) {
                png.xdpi = dpifromppm(be32(b.data()));
                png.ydpi = dpifromppm(be32(b.data() + 4));
            }
        } else if (type == chunktype("iCCP")) {
            if (png.icc.empty()) {
                png.icc = iccprofile(b);
            }
        } else {
            png.upright = exiforientation(b);
        }
    }
    if (!header) {
        return refuse(name, "no IHDR chunk");
    }
    if (png.idat.empty() || png.idatbytes == 0) {
        return refuse(name, "no image data (IDAT)");
    }
    if (png.colourtype == 3 && png.palette.empty()) {
        return refuse(name, "no palette (PLTE)");
    }
    return {};
}

// Reads the IDAT chunks' contents, checking their CRCs, into `data`.
status readidat(bytereader& reader, const std::string& name, const pngfile& png,
                std::vector<uint8_t>& data) {
    data.resize(png.idatbytes);
    uint8_t* at = data.data();
    for (const chunkplace& chunk : png.idat) {
        std::array<uint8_t, 4> crc{};
        if (!reader.seek(chunk.offset) || !reader.read(at, chunk.length) ||
            !reader.read(crc.data(), crc.size())) {
            return readfailure(reader);
        }
        static constexpr std::array<uint8_t, 4> idat{'I', 'D', 'A', 'T'};
        if (crc32(crc32(0, idat.data(), 4), at, chunk.length) != be32(crc.data())) {
            return refuse(name, "CRC error in chunk IDAT");
        }
        at += chunk.length;
    }
    return {};
}

// libdeflate inflates a whole stream several times faster than zlib's
// streaming does. Image data of a size that its stream can plausibly hold
// (Deflate expands at most about 1032 times) is inflated that way first;
// true when it is sound: exactly the rows, each with a filter byte of 0 to
// 4. Anything else goes to zlib, whose finer results name the fault.
bool wholerowsfit(std::span<const uint8_t> data, uint64_t stride, uint64_t expected) {
    constexpr uint64_t kMostWhole = uint64_t{256} << 20;
    if (expected == 0 || expected > kMostWhole || expected / 1032 > data.size()) {
        return false;
    }
    const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)>
        decompressor(libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!decompressor) {
        return false;
    }
    const size_t size = static_cast<size_t>(expected);
    const auto rows = std::make_unique_for_overwrite<uint8_t[]>(size);
    size_t in = 0;
    size_t out = 0;
    if (libdeflate_zlib_decompress_ex(decompressor.get(), data.data(), data.size(), rows.get(),
                                      size, &in, &out) != LIBDEFLATE_SUCCESS ||
        out != size) {
        return false;
    }
    for (size_t at = 0; at < size; at += static_cast<size_t>(stride)) {
        if (rows[at] > 4) {
            return false;
        }
    }
    return true;
}

// Checks that the image data inflates to exactly one filter byte (0 to 4)
// and one row for each row of the image, so that no reader meets a short
// or damaged stream.
status checkrows(std::span<const uint8_t> data, const std::string& name, const pngfile& png) {
    const uint64_t stride = png.rowbytes() + 1;
    const uint64_t expected = stride * png.height;
    if (wholerowsfit(data, stride, expected)) {
        return {};
    }
    uint64_t produced = 0;
    uint64_t nextrow = 0;
    bool badfilter = false;
    const int rc = inflateall(data, [&](const uint8_t* p, size_t n) {
        for (; nextrow < produced + n && nextrow < expected; nextrow += stride) {
            badfilter = badfilter || p[nextrow - produced] > 4;
        }
        produced += n;
        return produced <= expected && !badfilter;
    });
    if (badfilter) {
        return refuse(name, "a row with an unknown filter type");
    }
    if (produced > expected) {
        return refuse(name, "more image data than the image holds");
    }
    if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT) {
        return refuse(name, "the image data is damaged");
    }
    if (rc == Z_MEM_ERROR) {
        return status::systemerror(ENOMEM);
    }
    if (rc != Z_STREAM_END || produced != expected) {
        return refuse(name, "the image data ends early (truncated file)");
    }
    return {};
}

// libpng decoding. The decoder lives in the caller's frame, so that what
// libpng's longjmp leaves behind is destroyed normally.
struct pngdecoder {
    explicit pngdecoder(bytesource& source) : reader(source) {}
    ~pngdecoder() {
        if (png != nullptr) {
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        }
    }
    pngdecoder(const pngdecoder&) = delete;
    pngdecoder& operator=(const pngdecoder&) = delete;

    bytereader reader;
    png_structp png = nullptr;
    png_infop info = nullptr;
    fault ioerror;
    std::array<char, 200> message{};
};

[[noreturn]] void onerror(png_structp png, png_const_charp text) {
    auto* d = static_cast<pngdecoder*>(png_get_error_ptr(png));
    std::snprintf(d->message.data(), d->message.size(), "%s", text != nullptr ? text : "");
    png_longjmp(png, 1);
}

void onwarning(png_structp, png_const_charp) {}

void onread(png_structp png, png_bytep out, size_t n) {
    auto* d = static_cast<pngdecoder*>(png_get_io_ptr(png));
    if (!d->reader.read(out, n)) {
        if (d->reader.why().kind == faultkind::system) {
            d->ioerror = d->reader.why();
        }
        png_error(png, "the file is truncated");
    }
}

// Decodes the image into `rows`, each `rowbytes` long: with `expand`,
// palettes become RGB, grey below 8 bits becomes 8 bits and tRNS an alpha
// channel. False with d.message set when libpng fails.
bool decode(pngdecoder& d, bool expand, std::vector<png_bytep>& rows, size_t rowbytes) {
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, onerror, onwarning);
    if (d.png == nullptr) {
        return false;
    }
    d.info = png_create_info_struct(d.png);
    if (d.info == nullptr) {
        return false;
    }
    if (setjmp(png_jmpbuf(d.png)) != 0) {
        return false;
    }
    png_set_read_fn(d.png, &d, onread);
    png_set_user_limits(d.png, kMaxChunk, kMaxChunk);
    png_read_info(d.png, d.info);
    if (expand) {
        png_set_expand(d.png);
    }
    png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    if (png_get_rowbytes(d.png, d.info) != rowbytes) {
        png_error(d.png, "unexpected row layout");
    }
    png_read_image(d.png, rows.data());
    return true;
}

// The pixels with the alpha channel (the last sample of each pixel, `bps`
// bytes) moved out into `alpha`. True when some pixel is not opaque.
bool splitalpha(std::vector<uint8_t>& pixels, size_t samples, size_t bps,
                std::vector<uint8_t>& alpha) {
    const size_t pixelbytes = samples * bps;
    const size_t colourbytes = pixelbytes - bps;
    const size_t count = pixels.size() / pixelbytes;
    alpha.resize(count * bps);
    bool transparent = false;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* from = pixels.data() + i * pixelbytes;
        std::memcpy(alpha.data() + i * bps, from + colourbytes, bps);
        transparent =
            transparent || from[colourbytes] != 0xFF || from[bps - 1 + colourbytes] != 0xFF;
        std::memmove(pixels.data() + i * colourbytes, from, colourbytes);
    }
    pixels.resize(count * colourbytes);
    return transparent;
}

void describe(const pngfile& png, imagedesc& out) {
    out.width = clamppixels(png.width);
    out.height = clamppixels(png.height);
    out.xdpi = png.xdpi;
    out.ydpi = png.ydpi;
    out.pagesinfile = 1;
    // Decoded pages go to the compression stage uncompressed.
    out.filter = png.decoded() ? pdffilter::none : pdffilter::flate;
    out.upright = png.upright;

    const bool expand = png.transparency || png.alpha();
    if (png.grey()) {
        out.colour = colourspace::gray;
    } else if (png.colourtype == 3 && !expand) {
        out.colour = colourspace::indexed;
        // Entries beyond what the bit depth can index are never shown.
        out.palette.assign(png.palette.begin(),
                           png.palette.begin() + static_cast<long>(std::min<size_t>(
                                                     png.palette.size(), size_t{3} << png.depth)));
    } else {
        out.colour = colourspace::rgb;
    }
    out.iccprofile = out.colour == colourspace::indexed ? std::vector<uint8_t>{} : png.icc;
    out.bitspercomponent = expand && png.depth < 8 ? 8 : png.depth;
    if (!png.decoded()) {
        out.predictor = {15, png.channels(), png.depth, out.width};
    }
    if (expand) {
        auto mask = std::make_shared<imagedesc>();
        mask->width = out.width;
        mask->height = out.height;
        mask->colour = colourspace::gray;
        mask->bitspercomponent = out.bitspercomponent;
        out.softmask = mask;
    }
}

status decodepage(bytesource& source, const std::string& name, const pngfile& png, imagedesc& out) {
    const bool expand = out.softmask != nullptr;
    const size_t bps = out.bitspercomponent == 16 ? 2 : 1;
    const size_t colours = out.colour == colourspace::rgb ? 3 : 1;
    const size_t samples = expand ? colours + 1 : colours;
    const uint64_t rowbytes = expand ? uint64_t{png.width} * samples * bps : png.rowbytes();
    if (png.height > kMaxDecoded / rowbytes) {
        return refuse(name, "the decoded image would be too large");
    }
    std::vector<uint8_t> pixels(rowbytes * png.height);
    std::vector<png_bytep> rows(png.height);
    for (size_t y = 0; y < rows.size(); ++y) {
        rows[y] = pixels.data() + y * rowbytes;
    }
    {
        pngdecoder d(source);
        if (!decode(d, expand, rows, rowbytes)) {
            if (d.ioerror) {
                return status::failed(d.ioerror);
            }
            return refuse(name, std::string("libpng: ") + d.message.data());
        }
    }
    std::vector<uint8_t> alpha;
    if (expand && !splitalpha(pixels, samples, bps, alpha)) {
        out.softmask.reset(); // every pixel opaque
    }
    out.data = std::move(pixels);
    if (out.softmask) {
        auto mask = std::make_shared<imagedesc>(*out.softmask);
        mask->data = std::move(alpha);
        out.softmask = mask;
    }
    return {};
}

} // namespace

status readpngpage(bytesource& source, const std::string& name, imagedata mode, imagedesc& out,
                   bool decodephotos) {
    bytereader reader(source);
    pngfile png;
    png.photo = decodephotos;
    if (status s = readchunks(reader, name, png); !s.ok()) {
        return s;
    }
    // Rows that need more than the IDAT bytes can inflate to mean a
    // truncated or lying file; refused before anything is allocated.
    const uint64_t limit = (png.idatbytes + 64) * kMaxInflation;
    if (png.height > limit / (png.rowbytes() + 1)) {
        return refuse(name, "too little image data for " + std::to_string(png.width) + " x " +
                                std::to_string(png.height) + " pixels (truncated file)");
    }
    describe(png, out);
    out.data.clear();
    if (mode == imagedata::skip) {
        return {};
    }
    if (png.decoded()) {
        return decodepage(source, name, png, out);
    }
    if (status s = readidat(reader, name, png, out.data); !s.ok()) {
        return s;
    }
    return checkrows(out.data, name, png);
}

} // namespace ovin
