// Windows bitmap pages of the document face. The reader handles the header
// versions from the OS/2 core header to V5, palette images of 1, 2, 4 and 8
// bits (plain or run-length coded), 16- and 32-bit pixels with bit fields,
// 24-bit pixels, rows stored either way up, an alpha channel and an
// embedded ICC profile. The pixels go to the compression stage
// uncompressed.
#include "readers/bmp.h"

#include "byteorder.h"
#include "numbers.h"
#include "readers/bytesource.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <memory>
#include <span>
#include <vector>

namespace ovin {

namespace {

constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitfields = 3;
constexpr uint32_t kJpeg = 4;
constexpr uint32_t kPng = 5;
constexpr uint32_t kAlphaBitfields = 6;

constexpr uint64_t kFileHeader = 14;
constexpr uint32_t kCoreHeader = 12;
constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kOs2Header = 64; // OS/2 2.x: its compressions 3 and 4 are its own
constexpr uint32_t kV5Header = 124;
constexpr uint32_t kEmbeddedProfile = 0x4D424544; // "MBED"

// One colour channel of 16- and 32-bit pixels: where its mask starts and
// its largest value (0 for a channel that is not there).
struct bitfield {
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
    uint32_t offset = 0; // where the pixels start
    uint32_t headersize = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    bool topdown = false;
    uint16_t bits = 0;
    uint32_t compression = kRgb;
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

    bool rle() const { return compression == kRle8 || compression == kRle4; }
    bool indexed() const { return bits <= 8; }
    uint64_t stride() const { return (uint64_t{width} * bits + 31) / 32 * 4; }
    // Bytes of one stored row that hold pixels (no fill bytes).
    uint64_t rowbytes() const { return (uint64_t{width} * bits + 7) / 8; }
};

uint16_t todpi(uint32_t ppm) {
    if (ppm > uint32_t{std::numeric_limits<int32_t>::max()}) {
        return 0; // negative in the file
    }
    return static_cast<uint16_t>(
        std::min<uint32_t>(divroundeven(uint64_t{ppm} * 254, 10000), 0xFFFF));
}

class bmpdocument {
public:
    bmpdocument(bytesource& source, const std::string& name) : reader_(source), name_(name) {}

    status read(imagedata mode, imagedesc& out, uint64_t maxdecoded);

private:
    status refuse(const std::string& what) const {
        return {OVINPDF_IMAGE_ERROR, what + " in file " + name_};
    }
    status readerror() const { return readfailure(reader_); }
    bool readat(uint64_t pos, void* buffer, size_t n) {
        return reader_.seek(pos) && reader_.read(buffer, n);
    }

    status readheaders();
    status checkformat(std::array<bitfield, 4>& fields) const;
    uint64_t decodedsize(bool alpha) const;
    status readpalette(std::vector<uint8_t>& rgb);
    void readprofile(std::vector<uint8_t>& profile);
    bool rowsinfile() const;
    status readrows(std::vector<uint8_t>& pixels, std::vector<uint8_t>& alpha,
                    const std::array<bitfield, 4>& fields, uint32_t& maxindex);
    status readrle(std::vector<uint8_t>& pixels, uint32_t& maxindex);

    bytereader reader_;
    const std::string& name_;
    bmpheader h_;
};

status bmpdocument::readheaders() {
    uint8_t file[kFileHeader + 4];
    if (!readat(0, file, sizeof file)) {
        return readerror();
    }
    if (file[0] != 'B' || file[1] != 'M') {
        return {OVINPDF_IMAGE_ERROR, name_ + " is not a BMP image"};
    }
    h_.offset = le32(file + 10);
    h_.headersize = le32(file + 14);
    h_.palettepos = kFileHeader + uint64_t{h_.headersize};

    if (h_.headersize == kCoreHeader) {
        uint8_t core[kCoreHeader];
        if (!readat(kFileHeader, core, sizeof core)) {
            return readerror();
        }
        h_.width = le16(core + 4);
        h_.height = le16(core + 6);
        h_.bits = le16(core + 10);
        h_.paletteentry = 3;
        return {};
    }
    if (h_.headersize < kInfoHeader) {
        return refuse("Unsupported BMP header size " + std::to_string(h_.headersize));
    }
    std::array<uint8_t, kV5Header> info{};
    if (!readat(kFileHeader, info.data(), std::min<uint32_t>(h_.headersize, kV5Header))) {
        return readerror();
    }
    const auto width = static_cast<int32_t>(le32(&info[4]));
    const auto height = static_cast<int32_t>(le32(&info[8]));
    if (width <= 0 || height == 0 || height == std::numeric_limits<int32_t>::min()) {
        return refuse("Invalid BMP image size " + std::to_string(width) + " x " +
                      std::to_string(height));
    }
    h_.width = static_cast<uint32_t>(width);
    h_.topdown = height < 0; // a negative height marks rows stored top first
    h_.height = static_cast<uint32_t>(height < 0 ? -height : height);
    h_.bits = le16(&info[14]);
    h_.compression = le32(&info[16]);
    h_.imagesize = le32(&info[20]);
    h_.xppm = le32(&info[24]);
    h_.yppm = le32(&info[28]);
    h_.colorsused = le32(&info[32]);
    if (h_.headersize == kOs2Header && (h_.compression == 3 || h_.compression == 4)) {
        return refuse("Unsupported OS/2 BMP compression " + std::to_string(h_.compression));
    }
    const bool bitfields = h_.compression == kBitfields || h_.compression == kAlphaBitfields;
    if (h_.headersize >= 52 && h_.headersize != kOs2Header) {
        for (size_t c = 0; c < 3; ++c) {
            h_.masks[c] = bitfields ? le32(&info[40 + 4 * c]) : 0;
        }
        if (h_.headersize >= 56) {
            h_.masks[3] = le32(&info[52]);
        }
    } else if (bitfields) {
        // The masks of the 40-byte header follow it, before the palette.
        const size_t count = h_.compression == kAlphaBitfields ? 4 : 3;
        uint8_t masks[16];
        if (!readat(h_.palettepos, masks, 4 * count)) {
            return readerror();
        }
        for (size_t c = 0; c < count; ++c) {
            h_.masks[c] = le32(masks + 4 * c);
        }
        h_.palettepos += 4 * count;
    }
    if (h_.headersize >= kV5Header) {
        h_.cstype = le32(&info[56]);
        h_.profileoffset = le32(&info[112]);
        h_.profilesize = le32(&info[116]);
    }
    return {};
}

// Checks the coding and sets up the bit fields of 16- and 32-bit pixels.
status bmpdocument::checkformat(std::array<bitfield, 4>& fields) const {
    const uint16_t bits = h_.bits;
    // Embedded JPEG and PNG data come with a bit count of 0.
    if (h_.compression == kJpeg) {
        return refuse("Unsupported BMP compression (JPEG data)");
    }
    if (h_.compression == kPng) {
        return refuse("Unsupported BMP compression (PNG data)");
    }
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
        bits != 32) {
        return refuse("Unsupported BMP bit count " + std::to_string(bits));
    }
    if (h_.width == 0 || h_.height == 0) {
        return refuse("Invalid BMP image size " + std::to_string(h_.width) + " x " +
                      std::to_string(h_.height));
    }
    bool fits = false;
    switch (h_.compression) {
    case kRgb:
        fits = true;
        break;
    case kRle8:
        fits = bits == 8;
        break;
    case kRle4:
        fits = bits == 4;
        break;
    case kBitfields:
    case kAlphaBitfields:
        fits = bits == 16 || bits == 32;
        break;
    default:
        return refuse("Unsupported BMP compression " + std::to_string(h_.compression));
    }
    if (!fits) {
        return refuse("Unsupported BMP compression " + std::to_string(h_.compression) + " with " +
                      std::to_string(bits) + " bits per pixel");
    }
    if (bits != 16 && bits != 32) {
        return {};
    }
    std::array<uint32_t, 4> masks = h_.masks;
    if (h_.compression == kRgb) {
        // The fixed layouts: 5-5-5 and 8-8-8 (an alpha mask of a newer
        // header still counts).
        if (bits == 16) {
            masks = {0x7C00, 0x03E0, 0x001F, masks[3]};
        } else {
            masks = {0xFF0000, 0x00FF00, 0x0000FF, masks[3]};
        }
    }
    const uint32_t pixelmask = bits == 16 ? 0xFFFF : 0xFFFFFFFF;
    for (size_t c = 0; c < 4; ++c) {
        const uint32_t mask = masks[c];
        if (mask == 0) {
            fields[c] = {};
            continue;
        }
        const auto shift = static_cast<uint32_t>(std::countr_zero(mask));
        const uint32_t run = mask >> shift;
        if ((mask & ~pixelmask) != 0 || (run & (run + 1)) != 0) {
            return refuse("Invalid BMP bit field mask " + std::to_string(mask));
        }
        fields[c] = {shift, run};
    }
    return {};
}

// Bytes that the decoded pixels take while the page is made.
uint64_t bmpdocument::decodedsize(bool alpha) const {
    const uint64_t pixels = uint64_t{h_.width} * h_.height;
    if (h_.rle()) {
        return pixels; // one index per pixel before packing
    }
    if (h_.indexed()) {
        return h_.rowbytes() * h_.height;
    }
    return pixels * (alpha ? 4 : 3);
}

// The palette as R,G,B triplets: as many entries as the colours-used field
// says (all 2^bits when 0), at most as many as fit before the pixels.
status bmpdocument::readpalette(std::vector<uint8_t>& rgb) {
    uint64_t count = uint64_t{1} << h_.bits;
    if (h_.colorsused >= 1 && h_.colorsused < count) {
        count = h_.colorsused;
    }
    if (h_.offset > h_.palettepos) {
        count = std::min<uint64_t>(count, (h_.offset - h_.palettepos) / h_.paletteentry);
    }
    if (count == 0) {
        return refuse("BMP palette missing");
    }
    std::vector<uint8_t> raw(static_cast<size_t>(count * h_.paletteentry));
    if (!readat(h_.palettepos, raw.data(), raw.size())) {
        return readerror();
    }
    rgb.resize(static_cast<size_t>(count * 3));
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = raw.data() + i * h_.paletteentry;
        rgb[3 * i] = entry[2];
        rgb[3 * i + 1] = entry[1];
        rgb[3 * i + 2] = entry[0];
    }
    return {};
}

// A V5 header's embedded profile; none when it does not lie in the file.
void bmpdocument::readprofile(std::vector<uint8_t>& profile) {
    profile.clear();
    if (h_.cstype != kEmbeddedProfile || h_.profilesize == 0) {
        return;
    }
    const uint64_t at = kFileHeader + uint64_t{h_.profileoffset};
    if (at > reader_.size() || h_.profilesize > reader_.size() - at) {
        return;
    }
    profile.resize(h_.profilesize);
    if (!readat(at, profile.data(), profile.size())) {
        profile.clear();
    }
}

// Whether the file holds every uncompressed row (the last one need not
// carry its fill bytes).
bool bmpdocument::rowsinfile() const {
    const uint64_t needed = h_.rowbytes();
    const uint64_t available = reader_.size() > h_.offset ? reader_.size() - h_.offset : 0;
    return needed <= available && (h_.height - 1) <= (available - needed) / h_.stride();
}

// Uncompressed rows, top row first: indices packed as stored, or 8-bit RGB
// (and alpha, when there is an alpha field) from 16-, 24- and 32-bit pixels.
status bmpdocument::readrows(std::vector<uint8_t>& pixels, std::vector<uint8_t>& alpha,
                             const std::array<bitfield, 4>& fields, uint32_t& maxindex) {
    const uint64_t stride = h_.stride();
    const uint64_t needed = h_.rowbytes();
    if (!rowsinfile()) {
        return status::failed(fault::truncated());
    }
    const bool indexed = h_.indexed();
    const bool hasalpha = fields[3].maximum != 0;
    const size_t outrow = indexed ? static_cast<size_t>(needed) : size_t{h_.width} * 3;
    pixels.resize(outrow * h_.height);
    alpha.resize(hasalpha ? size_t{h_.width} * h_.height : 0);
    std::vector<uint8_t> row(static_cast<size_t>(needed));
    const unsigned bytes = h_.bits / 8;
    for (uint32_t r = 0; r < h_.height; ++r) {
        if (!readat(h_.offset + r * stride, row.data(), row.size())) {
            return readerror();
        }
        const size_t y = h_.topdown ? r : h_.height - 1 - r;
        uint8_t* out = pixels.data() + y * outrow;
        if (indexed) {
            std::copy(row.begin(), row.end(), out);
            const unsigned bits = h_.bits;
            const unsigned top = (1u << bits) - 1;
            for (uint64_t x = 0; x < h_.width; ++x) {
                const uint64_t bit = x * bits;
                const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & top;
                maxindex = std::max(maxindex, index);
            }
            continue;
        }
        uint8_t* a = hasalpha ? alpha.data() + y * h_.width : nullptr;
        for (size_t x = 0; x < h_.width; ++x, out += 3) {
            const uint8_t* p = row.data() + x * bytes;
            if (h_.bits == 24) {
                out[0] = p[2];
                out[1] = p[1];
                out[2] = p[0];
                continue;
            }
            const uint32_t pixel = h_.bits == 16 ? le16(p) : le32(p);
            out[0] = fields[0].value(pixel);
            out[1] = fields[1].value(pixel);
            out[2] = fields[2].value(pixel);
            if (a != nullptr) {
                a[x] = fields[3].value(pixel);
            }
        }
    }
    return {};
}

// Run-length coded rows (RLE8, RLE4) as one index per pixel, top row
// first. Runs and literal groups that reach past a row's end are cut there;
// pixels that no code writes keep index 0; the codes end with the data, at
// an end-of-bitmap code, or below the last row.
status bmpdocument::readrle(std::vector<uint8_t>& pixels, uint32_t& maxindex) {
    if (h_.offset > reader_.size()) {
        return status::failed(fault::truncated());
    }
    const uint64_t rest = reader_.size() - h_.offset;
    const uint64_t length = h_.imagesize != 0 && h_.imagesize <= rest ? h_.imagesize : rest;
    std::vector<uint8_t> coded(static_cast<size_t>(length));
    if (!readat(h_.offset, coded.data(), coded.size())) {
        return readerror();
    }
    const bool four = h_.compression == kRle4;
    const uint64_t width = h_.width;
    const uint64_t height = h_.height;
    pixels.assign(static_cast<size_t>(width * height), 0);
    uint64_t x = 0;
    uint64_t y = 0; // stored row, counted from the first one in the file
    const auto put = [&](uint8_t index) {
        if (x < width) {
            const uint64_t row = h_.topdown ? y : height - 1 - y;
            pixels[static_cast<size_t>(row * width + x)] = index;
            maxindex = std::max<uint32_t>(maxindex, index);
            ++x;
        }
    };
    const auto nibble = [four](uint8_t b, size_t k) -> uint8_t {
        return four ? (k % 2 == 0 ? b >> 4 : b & 0x0F) : b;
    };
    size_t i = 0;
    while (i + 1 < coded.size() && y < height) {
        const uint8_t count = coded[i];
        const uint8_t value = coded[i + 1];
        i += 2;
        if (count > 0) {
            for (size_t k = 0; k < count && x < width; ++k) {
                put(nibble(value, k));
            }
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // move right and down
            if (i + 1 >= coded.size()) {
                break;
            }
            x += coded[i];
            y += coded[i + 1];
            i += 2;
        } else { // `value` pixels as they are, padded to a 16-bit boundary
            const size_t bytes = four ? (value + 1u) / 2 : value;
            if (bytes > coded.size() - i) {
                break;
            }
            for (size_t k = 0; k < value && x < width; ++k) {
                put(nibble(coded[i + (four ? k / 2 : k)], k));
            }
            i += (bytes + 1) & ~size_t{1};
        }
    }
    return {};
}

// Packs one index per pixel into rows of `bits`-bit indices (4 or 8).
std::vector<uint8_t> packindices(const std::vector<uint8_t>& indices, uint32_t width,
                                 uint32_t height, unsigned bits) {
    if (bits == 8) {
        return indices;
    }
    const size_t rowbytes = (size_t{width} + 1) / 2;
    std::vector<uint8_t> packed(rowbytes * height, 0);
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* in = indices.data() + y * width;
        uint8_t* out = packed.data() + y * rowbytes;
        for (size_t x = 0; x < width; ++x) {
            out[x / 2] = static_cast<uint8_t>(out[x / 2] | (x % 2 == 0 ? in[x] << 4 : in[x]));
        }
    }
    return packed;
}

status bmpdocument::read(imagedata mode, imagedesc& out, uint64_t maxdecoded) {
    if (status s = readheaders(); !s.ok()) {
        return s;
    }
    std::array<bitfield, 4> fields{};
    if (status s = checkformat(fields); !s.ok()) {
        return s;
    }
    const bool alphafield = fields[3].maximum != 0;
    if (h_.width > uint32_t{std::numeric_limits<int32_t>::max()} ||
        h_.height > uint32_t{std::numeric_limits<int32_t>::max()} ||
        decodedsize(alphafield) > maxdecoded) {
        return refuse("BMP image too large (" + std::to_string(h_.width) + " x " +
                      std::to_string(h_.height) + " pixels)");
    }

    out.width = static_cast<int32_t>(h_.width);
    out.height = static_cast<int32_t>(h_.height);
    out.xdpi = todpi(h_.xppm);
    out.ydpi = todpi(h_.yppm);
    out.pagesinfile = 1;
    out.decodeinverted = false;
    out.filter = pdffilter::none;
    out.predictor = {};
    out.ccitt = {};
    out.colortransform = -1;
    out.error.clear();
    out.softmask.reset();
    out.upright = orientation::normal;
    out.passthrough = true;
    out.reencode.reset();
    out.palette.clear();
    if (h_.indexed()) {
        out.colour = colourspace::indexed;
        out.bitspercomponent = h_.bits;
        if (status s = readpalette(out.palette); !s.ok()) {
            return s;
        }
    } else {
        out.colour = colourspace::rgb;
        out.bitspercomponent = 8;
    }
    readprofile(out.iccprofile);
    if (mode == imagedata::skip) {
        // A file that ends inside its rows is refused when it is added.
        out.data.clear();
        return h_.rle() || rowsinfile() ? status() : status::failed(fault::truncated());
    }

    std::vector<uint8_t> pixels;
    std::vector<uint8_t> alpha;
    uint32_t maxindex = 0;
    if (h_.rle()) {
        if (status s = readrle(pixels, maxindex); !s.ok()) {
            return s;
        }
        pixels = packindices(pixels, h_.width, h_.height, h_.bits);
    } else if (status s = readrows(pixels, alpha, fields, maxindex); !s.ok()) {
        return s;
    }
    // Indices past the palette's end show black.
    if (h_.indexed() && size_t{maxindex} * 3 + 3 > out.palette.size()) {
        out.palette.resize(size_t{maxindex} * 3 + 3, 0);
    }
    out.data = std::move(pixels);
    // An alpha channel that is nothing but zeros is unused (as most 32-bit
    // files have it); one that is all opaque changes nothing.
    const bool transparent =
        std::any_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a != 0; }) &&
        std::any_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a != 255; });
    if (transparent) {
        auto mask = std::make_shared<imagedesc>();
        mask->width = out.width;
        mask->height = out.height;
        mask->bitspercomponent = 8;
        mask->colour = colourspace::gray;
        mask->data = std::move(alpha);
        out.softmask = std::move(mask);
    }
    return {};
}

} // namespace

status readbmpdocument(bytesource& source, const std::string& name, imagedata mode, imagedesc& out,
                       uint64_t maxdecoded) {
    bmpdocument document(source, name);
    return document.read(mode, out, maxdecoded);
}

} // namespace ovin
