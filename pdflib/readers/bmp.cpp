// The Windows bitmap reader: the headers, the palette and the pixels, and
// the document face's pages made from them. The pixels go to the
// compression stage uncompressed.
#include "readers/bmp.h"

#include "byteorder.h"
#include "numbers.h"
#include "readers/bytesource.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <memory>
#include <span>

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

bool readat(bytereader& reader, uint64_t pos, void* buffer, size_t n) {
    return reader.seek(pos) && reader.read(buffer, n);
}

status refuse(const std::string& what, const std::string& name) {
    return {OVINPDF_IMAGE_ERROR, what + " in file " + name};
}

// The fields of the file header (and the header size that follows it).
void parsefileheader(const uint8_t* file, bmpheader& h) {
    h.filesize = le32(file + 2);
    h.offset = le32(file + 10);
    h.headersize = le32(file + 14);
    h.palettepos = kFileHeader + uint64_t{h.headersize};
}

void setsize(bmpheader& h, int32_t width, int32_t height) {
    h.storedwidth = width;
    h.storedheight = height;
    h.width = width > 0 ? static_cast<uint32_t>(width) : 0;
    h.topdown = height < 0; // a negative height marks rows stored top first
    h.height = static_cast<uint32_t>(height < 0 ? -int64_t{height} : int64_t{height});
}

// The fields of a 40-byte info header, which every later version begins with.
void parseinfoheader(const uint8_t* info, bmpheader& h) {
    setsize(h, static_cast<int32_t>(le32(info + 4)), static_cast<int32_t>(le32(info + 8)));
    h.bits = le16(info + 14);
    h.compression = le32(info + 16);
    h.imagesize = le32(info + 20);
    h.xppm = le32(info + 24);
    h.yppm = le32(info + 28);
    h.colorsused = le32(info + 32);
}

status readheaders(bytereader& reader, const std::string& name, bmpheader& h) {
    uint8_t file[kFileHeader + 4];
    if (!readat(reader, 0, file, sizeof file)) {
        return readfailure(reader);
    }
    if (file[0] != 'B' || file[1] != 'M') {
        return {OVINPDF_IMAGE_ERROR, name + " is not a BMP image"};
    }
    parsefileheader(file, h);
    if (h.headersize == kCoreHeader) {
        uint8_t core[kCoreHeader];
        if (!readat(reader, kFileHeader, core, sizeof core)) {
            return readfailure(reader);
        }
        setsize(h, le16(core + 4), le16(core + 6));
        h.bits = le16(core + 10);
        h.paletteentry = 3;
        return {};
    }
    if (h.headersize < kInfoHeader) {
        return refuse("Unsupported BMP header size " + std::to_string(h.headersize), name);
    }
    std::array<uint8_t, kV5Header> info{};
    if (!readat(reader, kFileHeader, info.data(), std::min<uint32_t>(h.headersize, kV5Header))) {
        return readfailure(reader);
    }
    parseinfoheader(info.data(), h);
    if (h.storedwidth <= 0 || h.storedheight == 0 ||
        h.storedheight == std::numeric_limits<int32_t>::min()) {
        return refuse("Invalid BMP image size " + std::to_string(h.storedwidth) + " x " +
                          std::to_string(h.storedheight),
                      name);
    }
    if (h.headersize == kOs2Header && (h.compression == 3 || h.compression == 4)) {
        return refuse("Unsupported OS/2 BMP compression " + std::to_string(h.compression), name);
    }
    const bool bitfields = h.compression == kBitfields || h.compression == kAlphaBitfields;
    if (h.headersize >= 52 && h.headersize != kOs2Header) {
        for (size_t c = 0; c < 3; ++c) {
            h.masks[c] = bitfields ? le32(&info[40 + 4 * c]) : 0;
        }
        if (h.headersize >= 56) {
            h.masks[3] = le32(&info[52]);
        }
    } else if (bitfields) {
        // The masks of the 40-byte header follow it, before the palette.
        const size_t count = h.compression == kAlphaBitfields ? 4 : 3;
        uint8_t masks[16];
        if (!readat(reader, h.palettepos, masks, 4 * count)) {
            return readfailure(reader);
        }
        for (size_t c = 0; c < count; ++c) {
            h.masks[c] = le32(masks + 4 * c);
        }
        h.palettepos += 4 * count;
    }
    if (h.headersize >= kV5Header) {
        h.cstype = le32(&info[56]);
        h.profileoffset = le32(&info[112]);
        h.profilesize = le32(&info[116]);
    }
    return {};
}

// Checks the coding and sets up the bit fields of 16- and 32-bit pixels.
status checkformat(const std::string& name, bmpheader& h) {
    const uint16_t bits = h.bits;
    // Embedded JPEG and PNG data come with a bit count of 0.
    if (h.compression == kJpeg) {
        return refuse("Unsupported BMP compression (JPEG data)", name);
    }
    if (h.compression == kPng) {
        return refuse("Unsupported BMP compression (PNG data)", name);
    }
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
        bits != 32) {
        return refuse("Unsupported BMP bit count " + std::to_string(bits), name);
    }
    if (h.width == 0 || h.height == 0) {
        return refuse("Invalid BMP image size " + std::to_string(h.width) + " x " +
                          std::to_string(h.height),
                      name);
    }
    bool fits = false;
    switch (h.compression) {
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
        return refuse("Unsupported BMP compression " + std::to_string(h.compression), name);
    }
    if (!fits) {
        return refuse("Unsupported BMP compression " + std::to_string(h.compression) + " with " +
                          std::to_string(bits) + " bits per pixel",
                      name);
    }
    if (bits != 16 && bits != 32) {
        return {};
    }
    std::array<uint32_t, 4> masks = h.masks;
    if (h.compression == kRgb) {
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
            h.fields[c] = {};
            continue;
        }
        const auto shift = static_cast<uint32_t>(std::countr_zero(mask));
        const uint32_t run = mask >> shift;
        if ((mask & ~pixelmask) != 0 || (run & (run + 1)) != 0) {
            return refuse("Invalid BMP bit field mask " + std::to_string(mask), name);
        }
        h.fields[c] = {shift, run};
    }
    return {};
}

// Uncompressed rows, top row first: indices packed as stored, or 8-bit RGB
// (and alpha, when there is an alpha field) from 16-, 24- and 32-bit pixels.
status readrows(bytereader& reader, const bmpheader& h, bmppixels& out) {
    const uint64_t stride = h.stride();
    const uint64_t needed = h.rowbytes();
    if (!bmprowsinfile(h, reader.size())) {
        return status::failed(fault::truncated());
    }
    const bool indexed = h.indexed();
    const size_t outrow = indexed ? static_cast<size_t>(needed) : size_t{h.width} * 3;
    out.data.resize(outrow * h.height);
    out.alpha.resize(h.hasalpha() ? size_t{h.width} * h.height : 0);
    std::vector<uint8_t> row(static_cast<size_t>(needed));
    const unsigned bytes = h.bits / 8;
    for (uint32_t r = 0; r < h.height; ++r) {
        if (!readat(reader, h.offset + r * stride, row.data(), row.size())) {
            return readfailure(reader);
        }
        const size_t y = h.topdown ? r : h.height - 1 - r;
        uint8_t* pixel = out.data.data() + y * outrow;
        if (indexed) {
            std::copy(row.begin(), row.end(), pixel);
            const unsigned bits = h.bits;
            const unsigned top = (1u << bits) - 1;
            for (uint64_t x = 0; x < h.width; ++x) {
                const uint64_t bit = x * bits;
                const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & top;
                out.maxindex = std::max(out.maxindex, index);
            }
            continue;
        }
        uint8_t* a = h.hasalpha() ? out.alpha.data() + y * h.width : nullptr;
        for (size_t x = 0; x < h.width; ++x, pixel += 3) {
            const uint8_t* p = row.data() + x * bytes;
            if (h.bits == 24) {
                pixel[0] = p[2];
                pixel[1] = p[1];
                pixel[2] = p[0];
                continue;
            }
            const uint32_t value = h.bits == 16 ? le16(p) : le32(p);
            pixel[0] = h.fields[0].value(value);
            pixel[1] = h.fields[1].value(value);
            pixel[2] = h.fields[2].value(value);
            if (a != nullptr) {
                a[x] = h.fields[3].value(value);
            }
        }
    }
    return {};
}

// The bytes of run-length codes: the image size the header gives where the
// file holds that many, else the rest of the file.
uint64_t rlelength(const bmpheader& h, uint64_t filesize) {
    const uint64_t rest = filesize > h.offset ? filesize - h.offset : 0;
    return h.imagesize != 0 && h.imagesize <= rest ? h.imagesize : rest;
}

// Two bytes of run-length codes write at most 255 pixels. A page with more
// pixels than its codes can write is mostly pixels that no code writes, or
// a size its data never had: refused before memory is spent on it.
bool rlecanfill(const bmpheader& h, uint64_t filesize) {
    return uint64_t{h.width} * h.height / 128 <= rlelength(h, filesize);
}

// Run-length coded rows (RLE8, RLE4) as one index per pixel, top row
// first. Runs and literal groups that reach past a row's end are cut there;
// pixels that no code writes keep index 0; the codes end with the data, at
// an end-of-bitmap code, or below the last row.
status readrle(bytereader& reader, const bmpheader& h, bmppixels& out) {
    if (h.offset > reader.size()) {
        return status::failed(fault::truncated());
    }
    if (!rlecanfill(h, reader.size())) {
        return {OVINPDF_IMAGE_ERROR, "BMP run-length data too short for its size"};
    }
    const uint64_t length = rlelength(h, reader.size());
    std::vector<uint8_t> coded(static_cast<size_t>(length));
    if (!readat(reader, h.offset, coded.data(), coded.size())) {
        return readfailure(reader);
    }
    const bool four = h.compression == kRle4;
    const uint64_t width = h.width;
    const uint64_t height = h.height;
    std::vector<uint8_t>& pixels = out.data;
    pixels.assign(static_cast<size_t>(width * height), 0);
    uint64_t x = 0;
    uint64_t y = 0; // stored row, counted from the first one in the file
    const auto put = [&](uint8_t index) {
        if (x < width) {
            const uint64_t row = h.topdown ? y : height - 1 - y;
            pixels[static_cast<size_t>(row * width + x)] = index;
            out.maxindex = std::max<uint32_t>(out.maxindex, index);
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

// Packs one index per pixel into rows of 4-bit indices.
void packnibbles(std::vector<uint8_t>& indices, uint32_t width, uint32_t height) {
    const size_t rowbytes = (size_t{width} + 1) / 2;
    std::vector<uint8_t> packed(rowbytes * height, 0);
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* in = indices.data() + y * width;
        uint8_t* out = packed.data() + y * rowbytes;
        for (size_t x = 0; x < width; ++x) {
            out[x / 2] = static_cast<uint8_t>(out[x / 2] | (x % 2 == 0 ? in[x] << 4 : in[x]));
        }
    }
    indices = std::move(packed);
}

uint16_t todpi(uint32_t ppm) {
    if (ppm > uint32_t{std::numeric_limits<int32_t>::max()}) {
        return 0; // negative in the file
    }
    return dotsperinch(ppm, 1, perunit::metre);
}

// Bytes that the decoded pixels take while the page is made.
uint64_t decodedsize(const bmpheader& h) {
    const uint64_t pixels = uint64_t{h.width} * h.height;
    if (h.rle()) {
        return pixels; // one index per pixel before packing
    }
    if (h.indexed()) {
        return h.rowbytes() * h.height;
    }
    return pixels * (h.hasalpha() ? 4 : 3);
}

// A V5 header's embedded profile; none when it does not lie in the file.
void readprofile(bytesource& source, const bmpheader& h, std::vector<uint8_t>& profile) {
    profile.clear();
    if (h.cstype != kEmbeddedProfile || h.profilesize == 0) {
        return;
    }
    bytereader reader(source);
    const uint64_t at = kFileHeader + uint64_t{h.profileoffset};
    if (at > reader.size() || h.profilesize > reader.size() - at) {
        return;
    }
    profile.resize(h.profilesize);
    if (!readat(reader, at, profile.data(), profile.size())) {
        profile.clear();
    }
}

} // namespace

status readbmpheader(bytesource& source, const std::string& name, bmpheader& header) {
    header = {};
    bytereader reader(source);
    if (status s = readheaders(reader, name, header); !s.ok()) {
        return s;
    }
    return checkformat(name, header);
}

status readbmpinfoheader(bytesource& source, bmpheader& header) {
    header = {};
    bytereader reader(source);
    uint8_t bytes[kFileHeader + kInfoHeader];
    if (!reader.read(bytes, sizeof bytes)) {
        return readfailure(reader);
    }
    parsefileheader(bytes, header);
    parseinfoheader(bytes + kFileHeader, header);
    return {};
}

uint64_t bmppaletteentries(const bmpheader& h) {
    uint64_t count = uint64_t{1} << h.bits;
    if (h.colorsused >= 1 && h.colorsused < count) {
        count = h.colorsused;
    }
    if (h.offset > h.palettepos) {
        count = std::min<uint64_t>(count, (h.offset - h.palettepos) / h.paletteentry);
    }
    return count;
}

status readbmppalette(bytesource& source, const bmpheader& h, uint64_t entries,
                      std::vector<uint8_t>& rgb) {
    bytereader reader(source);
    std::vector<uint8_t> raw(static_cast<size_t>(entries * h.paletteentry));
    if (!readat(reader, h.palettepos, raw.data(), raw.size())) {
        return readfailure(reader);
    }
    rgb.resize(static_cast<size_t>(entries * 3));
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* entry = raw.data() + i * h.paletteentry;
        rgb[3 * i] = entry[2];
        rgb[3 * i + 1] = entry[1];
        rgb[3 * i + 2] = entry[0];
    }
    return {};
}

bool bmprowsinfile(const bmpheader& h, uint64_t filesize) {
    const uint64_t needed = h.rowbytes();
    const uint64_t available = filesize > h.offset ? filesize - h.offset : 0;
    return needed <= available && (h.height - 1) <= (available - needed) / h.stride();
}

status decodebmp(bytesource& source, const bmpheader& header, bmppixels& pixels) {
    pixels = {};
    bytereader reader(source);
    if (!header.rle()) {
        return readrows(reader, header, pixels);
    }
    if (status s = readrle(reader, header, pixels); !s.ok()) {
        return s;
    }
    if (header.bits == 4) {
        packnibbles(pixels.data, header.width, header.height);
    }
    return {};
}

status readbmpdocument(bytesource& source, const std::string& name, imagedata mode, imagedesc& out,
                       uint64_t maxdecoded) {
    bmpheader h;
    if (status s = readbmpheader(source, name, h); !s.ok()) {
        return s;
    }
    if (h.width > uint32_t{std::numeric_limits<int32_t>::max()} ||
        h.height > uint32_t{std::numeric_limits<int32_t>::max()} || decodedsize(h) > maxdecoded) {
        return refuse("BMP image too large (" + std::to_string(h.width) + " x " +
                          std::to_string(h.height) + " pixels)",
                      name);
    }

    out.width = static_cast<int32_t>(h.width);
    out.height = static_cast<int32_t>(h.height);
    out.xdpi = todpi(h.xppm);
    out.ydpi = todpi(h.yppm);
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
    if (h.indexed()) {
        out.colour = colourspace::indexed;
        out.bitspercomponent = h.bits;
        const uint64_t entries = bmppaletteentries(h);
        if (entries == 0) {
            return refuse("BMP palette missing", name);
        }
        if (status s = readbmppalette(source, h, entries, out.palette); !s.ok()) {
            return s;
        }
    } else {
        out.colour = colourspace::rgb;
        out.bitspercomponent = 8;
    }
    readprofile(source, h, out.iccprofile);
    if (h.rle() && !rlecanfill(h, source.size())) {
        return refuse("BMP run-length data of " + std::to_string(rlelength(h, source.size())) +
                          " bytes, too little for " + std::to_string(h.width) + " x " +
                          std::to_string(h.height) + " pixels,",
                      name);
    }
    if (mode == imagedata::skip) {
        // A file that ends inside its rows is refused when it is added.
        out.data.clear();
        return h.rle() || bmprowsinfile(h, source.size()) ? status()
                                                          : status::failed(fault::truncated());
    }

    bmppixels pixels;
    if (status s = decodebmp(source, h, pixels); !s.ok()) {
        return s;
    }
    // Indices past the palette's end show black.
    if (h.indexed() && size_t{pixels.maxindex} * 3 + 3 > out.palette.size()) {
        out.palette.resize(size_t{pixels.maxindex} * 3 + 3, 0);
    }
    out.data = std::move(pixels.data);
    // An alpha channel that is nothing but zeros is unused (as most 32-bit
    // files have it); one that is all opaque changes nothing.
    const std::vector<uint8_t>& alpha = pixels.alpha;
    const bool transparent =
        std::any_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a != 0; }) &&
        std::any_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a != 255; });
    if (transparent) {
        auto mask = std::make_shared<imagedesc>();
        mask->width = out.width;
        mask->height = out.height;
        mask->bitspercomponent = 8;
        mask->colour = colourspace::gray;
        mask->data = std::move(pixels.alpha);
        out.softmask = std::move(mask);
    }
    return {};
}

} // namespace ovin
