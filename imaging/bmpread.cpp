// Windows bitmaps: 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed or
// with bit-field masks, bottom-up or top-down, core (OS/2 1.x) and Windows
// info headers of any later length. Every size is checked against the file
// before it is used; run-length compressed files are refused.
#include "byteorder.h"
#include "source.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace ovin::imaging {

namespace {

constexpr size_t kFileHeader = 14;
constexpr uint32_t kCoreHeader = 12;
constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kMaxHeader = 1024; // generous bound for future header versions
constexpr uint32_t kRgb = 0;
constexpr uint32_t kBitfields = 3;
constexpr uint32_t kAlphaBitfields = 6;

// One colour channel described by a bit mask.
struct Channel {
    uint32_t mask = 0;
    unsigned shift = 0;
    uint32_t max = 0;

    static Channel of(uint32_t mask) {
        Channel c;
        c.mask = mask;
        if (mask != 0) {
            c.shift = static_cast<unsigned>(std::countr_zero(mask));
            const uint32_t field = mask >> c.shift;
            // Only contiguous masks are meaningful.
            c.max = (field & (field + 1)) == 0 ? field : 0;
        }
        return c;
    }
    bool valid() const { return mask == 0 || max != 0; }
    uint8_t level(uint32_t pixel) const {
        if (max == 0) {
            return 0;
        }
        const uint64_t v = (pixel & mask) >> shift;
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
};

struct BmpHeader {
    int64_t width = 0;
    int64_t height = 0; // always positive; topDown tells the row order
    bool topDown = false;
    int bpp = 0;
    uint32_t compression = kRgb;
    std::array<Channel, 4> channels{}; // red, green, blue, alpha for 16 and 32 bits
    bool useMasks = false;
    std::vector<Rgb> palette;
    uint64_t pixelOffset = 0;
    uint64_t stride = 0; // bytes per stored row, padded to 4
    int32_t xdpi = 0;
    int32_t ydpi = 0;
};

int outputBits(const BmpHeader& h) {
    switch (h.bpp) {
    case 1:
        return 1;
    case 4:
    case 8:
        return 8;
    case 32:
        return 32;
    default:
        return 24;
    }
}

int32_t dpiFromPerMetre(uint32_t perMetre) {
    return roundDpi(static_cast<double>(perMetre) * 0.0254);
}

std::optional<BmpHeader> parseHeader(int fd, uint64_t fileSize) {
    std::array<uint8_t, kFileHeader + 4> start{};
    if (!readallat(fd, start.data(), start.size(), 0) || start[0] != 'B' || start[1] != 'M') {
        return std::nullopt;
    }
    BmpHeader h;
    h.pixelOffset = le32(start.data() + 10);
    const uint32_t headerSize = le32(start.data() + kFileHeader);
    if (headerSize != kCoreHeader && (headerSize < kInfoHeader || headerSize > kMaxHeader)) {
        return std::nullopt;
    }
    // The info header, plus room for the (up to four) masks that may follow a
    // 40-byte header.
    std::vector<uint8_t> info(headerSize + 16, 0);
    const int64_t got = readat(fd, info.data(), info.size(), kFileHeader);
    if (got < static_cast<int64_t>(headerSize)) {
        return std::nullopt;
    }
    uint32_t colorsUsed = 0;
    size_t paletteEntry = 4;
    uint64_t paletteStart = kFileHeader + headerSize;
    if (headerSize == kCoreHeader) {
        h.width = le16(info.data() + 4);
        h.height = le16(info.data() + 6);
        h.bpp = le16(info.data() + 10);
        paletteEntry = 3;
    } else {
        h.width = static_cast<int32_t>(le32(info.data() + 4));
        const auto height = static_cast<int32_t>(le32(info.data() + 8));
        if (height == INT32_MIN) {
            return std::nullopt;
        }
        h.topDown = height < 0;
        h.height = height < 0 ? -static_cast<int64_t>(height) : height;
        h.bpp = le16(info.data() + 14);
        h.compression = le32(info.data() + 16);
        h.xdpi = dpiFromPerMetre(le32(info.data() + 24));
        h.ydpi = dpiFromPerMetre(le32(info.data() + 28));
        colorsUsed = le32(info.data() + 32);
        if (h.compression == kBitfields || h.compression == kAlphaBitfields) {
            if (h.bpp != 16 && h.bpp != 32) {
                return std::nullopt;
            }
            // Masks sit inside longer headers, or straight after a 40-byte one.
            const size_t count = h.compression == kAlphaBitfields ? 4 : 3;
            const size_t have = headerSize >= kInfoHeader + 4 * count ? count : 0;
            if (have == 0) {
                if (static_cast<uint64_t>(got) < headerSize + 4 * count) {
                    return std::nullopt;
                }
                paletteStart += 4 * count;
            }
            for (size_t i = 0; i < count; ++i) {
                h.channels[i] = Channel::of(le32(info.data() + kInfoHeader + 4 * i));
            }
            if (count == 3 && headerSize >= kInfoHeader + 16) {
                h.channels[3] = Channel::of(le32(info.data() + kInfoHeader + 12));
            }
            h.useMasks = true;
        } else if (h.compression != kRgb) {
            return std::nullopt; // run-length and embedded JPEG/PNG data
        }
    }
    if (h.width <= 0 || h.height <= 0 || h.width > INT32_MAX) {
        return std::nullopt;
    }
    switch (h.bpp) {
    case 1:
    case 4:
    case 8:
    case 24:
        break;
    case 16:
        if (!h.useMasks) {
            h.channels = {Channel::of(0x7C00), Channel::of(0x03E0), Channel::of(0x001F), Channel{}};
            h.useMasks = true;
        }
        break;
    case 32:
        break;
    default:
        return std::nullopt;
    }
    if (!std::all_of(h.channels.begin(), h.channels.end(),
                     [](const Channel& c) { return c.valid(); })) {
        return std::nullopt;
    }

    h.stride = (static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.bpp) + 31) / 32 * 4;
    const uint64_t blockSize = h.stride * static_cast<uint64_t>(h.height);
    if (blockSize > kMaxBitmapBytes * 4 || h.pixelOffset > fileSize ||
        blockSize > fileSize - h.pixelOffset) {
        return std::nullopt; // pixels missing from the file
    }

    if (h.bpp <= 8) {
        const uint32_t full = 1U << h.bpp;
        uint64_t entries = colorsUsed == 0 || colorsUsed > full ? full : colorsUsed;
        // A palette never overlaps the pixels, and must be in the file.
        if (h.pixelOffset > paletteStart) {
            entries = std::min<uint64_t>(entries, (h.pixelOffset - paletteStart) / paletteEntry);
        } else {
            entries = 0;
        }
        if (entries == 0) {
            return std::nullopt;
        }
        std::vector<uint8_t> raw(static_cast<size_t>(entries) * paletteEntry);
        if (!readallat(fd, raw.data(), raw.size(), paletteStart)) {
            return std::nullopt;
        }
        h.palette.resize(static_cast<size_t>(entries));
        for (size_t i = 0; i < h.palette.size(); ++i) {
            const uint8_t* e = raw.data() + i * paletteEntry;
            h.palette[i] = {e[2], e[1], e[0]};
        }
    }
    return h;
}

// Turns a palette that is plain black and white, or the identity grey ramp,
// into the photometric it stands for so that bits and levels keep their
// meaning without it.
void simplifyPalette(Bitmap& bm) {
    if (bm.bits == 1 && bm.palette.size() == 2) {
        const Rgb black{0, 0, 0};
        const Rgb white{255, 255, 255};
        if (bm.palette[0] == black && bm.palette[1] == white) {
            bm.photometric = kPhotometricMinIsBlack;
            bm.palette.clear();
        } else if (bm.palette[0] == white && bm.palette[1] == black) {
            bm.photometric = kPhotometricMinIsWhite;
            bm.palette.clear();
        }
    } else if (bm.bits == 8 && bm.palette.size() == 256 && isIdentityGreyPalette(bm.palette)) {
        bm.photometric = kPhotometricMinIsBlack;
        bm.palette.clear();
    }
}

void convertRow(const BmpHeader& h, const uint8_t* src, uint8_t* dst) {
    const auto w = static_cast<size_t>(h.width);
    switch (h.bpp) {
    case 1:
        std::memcpy(dst, src, (w + 7) / 8);
        break;
    case 4:
        for (size_t x = 0; x < w; ++x) {
            const uint8_t b = src[x / 2];
            dst[x] = (x & 1) ? (b & 0x0F) : static_cast<uint8_t>(b >> 4);
        }
        break;
    case 8:
        std::memcpy(dst, src, w);
        break;
    case 24:
        for (size_t x = 0; x < w; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
        break;
    case 16:
        for (size_t x = 0; x < w; ++x) {
            const uint32_t p = le16(src + 2 * x);
            dst[3 * x] = h.channels[0].level(p);
            dst[3 * x + 1] = h.channels[1].level(p);
            dst[3 * x + 2] = h.channels[2].level(p);
        }
        break;
    case 32:
        for (size_t x = 0; x < w; ++x) {
            if (h.useMasks) {
                const uint32_t p = le32(src + 4 * x);
                dst[4 * x] = h.channels[0].level(p);
                dst[4 * x + 1] = h.channels[1].level(p);
                dst[4 * x + 2] = h.channels[2].level(p);
                dst[4 * x + 3] = h.channels[3].mask ? h.channels[3].level(p) : 255;
            } else {
                // Blue, green, red and an unused byte.
                dst[4 * x] = src[4 * x + 2];
                dst[4 * x + 1] = src[4 * x + 1];
                dst[4 * x + 2] = src[4 * x];
                dst[4 * x + 3] = 255;
            }
        }
        break;
    default:
        break;
    }
}

class BmpSource final : public ImageSource {
public:
    BmpSource(UniqueFd fd, BmpHeader header) : fd_(std::move(fd)), bmp_(std::move(header)) {
        header_.width = bmp_.width;
        header_.height = bmp_.height;
        header_.bits = outputBits(bmp_);
        header_.xdpi = bmp_.xdpi;
        header_.ydpi = bmp_.ydpi;
    }

    int32_t pageCount() const override { return 1; }
    bool selectPage(int32_t page) override { return page == 0; }
    const PageHeader& header() const override { return header_; }

    std::shared_ptr<const Bitmap> decode() override {
        const int bits = outputBits(bmp_);
        auto bm = makeBitmap(bmp_.width, bmp_.height, bits,
                             bits >= 24 ? kPhotometricRgb : kPhotometricPalette);
        if (!bm) {
            return nullptr;
        }
        if (bits <= 8) {
            bm->palette = bmp_.palette;
        }
        std::vector<uint8_t> stored(static_cast<size_t>(bmp_.stride));
        for (int64_t i = 0; i < bmp_.height; ++i) {
            const uint64_t offset = bmp_.pixelOffset + static_cast<uint64_t>(i) * bmp_.stride;
            if (!readallat(fd_.get(), stored.data(), stored.size(), offset)) {
                return nullptr; // the file shrank since it was opened
            }
            const int64_t y = bmp_.topDown ? i : bmp_.height - 1 - i;
            convertRow(bmp_, stored.data(), bm->row(static_cast<int32_t>(y)));
        }
        simplifyPalette(*bm);
        bm->xdpi = bmp_.xdpi;
        bm->ydpi = bmp_.ydpi;
        return std::make_shared<const Bitmap>(std::move(*bm));
    }

private:
    UniqueFd fd_;
    BmpHeader bmp_;
    PageHeader header_;
};

} // namespace

std::unique_ptr<ImageSource> openBmp(UniqueFd fd) {
    const int64_t size = fileSize(fd.get());
    if (size <= 0) {
        return nullptr;
    }
    auto header = parseHeader(fd.get(), static_cast<uint64_t>(size));
    if (!header) {
        return nullptr;
    }
    return std::make_unique<BmpSource>(std::move(fd), std::move(*header));
}

} // namespace ovin::imaging
