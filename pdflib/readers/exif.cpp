#include "readers/exif.h"

#include "byteorder.h"
#include "numbers.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace ovin {

namespace {

constexpr uint16_t kOrientation = 274;
constexpr uint16_t kXResolution = 282;
constexpr uint16_t kYResolution = 283;
constexpr uint16_t kResolutionUnit = 296;

constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kRational = 5;

constexpr size_t kEntrySize = 12;

// The TIFF structure with its byte order; every read is checked.
class tiffblock {
public:
    tiffblock(std::span<const uint8_t> bytes, bool bigendian)
        : bytes_(bytes), bigendian_(bigendian) {}

    bool has(uint64_t at, uint64_t n) const {
        return at <= bytes_.size() && n <= bytes_.size() - at;
    }
    uint16_t u16(uint64_t at) const { return get16(bytes_.data() + at, bigendian_); }
    uint32_t u32(uint64_t at) const { return get32(bytes_.data() + at, bigendian_); }

private:
    std::span<const uint8_t> bytes_;
    bool bigendian_;
};

// A short (or long) value of an entry whose value sits in the entry itself.
std::optional<uint32_t> integervalue(const tiffblock& tiff, uint64_t entry) {
    const uint16_t type = tiff.u16(entry + 2);
    if (tiff.u32(entry + 4) < 1) {
        return std::nullopt;
    }
    if (type == kShort) {
        return tiff.u16(entry + 8);
    }
    if (type == kLong) {
        return tiff.u32(entry + 8);
    }
    return std::nullopt;
}

struct rational {
    uint32_t numerator = 0;
    uint32_t denominator = 0;
};

// A rational value: eight bytes at the offset the entry holds.
std::optional<rational> rationalvalue(const tiffblock& tiff, uint64_t entry) {
    if (tiff.u16(entry + 2) != kRational || tiff.u32(entry + 4) < 1) {
        return std::nullopt;
    }
    const uint32_t at = tiff.u32(entry + 8);
    if (!tiff.has(at, 8)) {
        return std::nullopt;
    }
    return rational{tiff.u32(at), tiff.u32(at + 4)};
}

// A resolution in dots per inch from pixels per unit (2 inch, 3 centimetre),
// halves to even and held at 16 bits; 0 for none.
uint16_t todpi(const std::optional<rational>& value, uint32_t unit) {
    if (!value || value->denominator == 0) {
        return 0;
    }
    if (unit != 2 && unit != 3) {
        return 0;
    }
    return dotsperinch(value->numerator, value->denominator,
                       unit == 2 ? perunit::inch : perunit::centimetre);
}

} // namespace

exiffacts readexif(std::span<const uint8_t> block) {
    static constexpr uint8_t kIdentifier[] = {'E', 'x', 'i', 'f', 0, 0};
    if (block.size() >= sizeof kIdentifier &&
        std::memcmp(block.data(), kIdentifier, sizeof kIdentifier) == 0) {
        block = block.subspan(sizeof kIdentifier);
    }
    exiffacts facts;
    if (block.size() < 8) {
        return facts;
    }
    bool bigendian = false;
    if (block[0] == 'M' && block[1] == 'M') {
        bigendian = true;
    } else if (block[0] != 'I' || block[1] != 'I') {
        return facts;
    }
    const tiffblock tiff(block, bigendian);
    if (tiff.u16(2) != 42) {
        return facts;
    }
    const uint32_t ifd = tiff.u32(4);
    if (!tiff.has(ifd, 2)) {
        return facts;
    }
    // Only the entries that lie wholly inside the block are read.
    const uint64_t entries =
        std::min<uint64_t>(tiff.u16(ifd), (block.size() - ifd - 2) / kEntrySize);

    std::optional<rational> x;
    std::optional<rational> y;
    uint32_t unit = 2; // inches unless the directory says otherwise
    for (uint64_t i = 0; i < entries; ++i) {
        const uint64_t entry = ifd + 2 + i * kEntrySize;
        switch (tiff.u16(entry)) {
        case kOrientation:
            if (const auto value = integervalue(tiff, entry); value && *value >= 1 && *value <= 8) {
                facts.orientation = static_cast<uint8_t>(*value);
            }
            break;
        case kXResolution:
            x = rationalvalue(tiff, entry);
            break;
        case kYResolution:
            y = rationalvalue(tiff, entry);
            break;
        case kResolutionUnit:
            unit = integervalue(tiff, entry).value_or(0);
            break;
        default:
            break;
        }
    }
    // A resolution counts only when both directions give one.
    facts.xdpi = todpi(x, unit);
    facts.ydpi = todpi(y, unit);
    if (facts.xdpi == 0 || facts.ydpi == 0) {
        facts.xdpi = facts.ydpi = 0;
    }
    return facts;
}

} // namespace ovin
