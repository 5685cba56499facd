#include "bmpfixtures.h"

#include <fstream>

namespace ovintest {

namespace {

void le16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void le32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

uint8_t pixelat(const bmpoptions& o, size_t i) {
    return i < o.pixels.size() ? o.pixels[i] : 0;
}

// One stored row (with padding) of picture row y (0 = top).
std::vector<uint8_t> storedrow(const bmpoptions& o, uint32_t y) {
    const auto w = static_cast<uint32_t>(o.width);
    std::vector<uint8_t> row(bmpstride(o.bitcount, w), 0);
    for (uint32_t x = 0; x < w; ++x) {
        const size_t p = size_t{y} * w + x;
        if (o.bitcount == 1) {
            if (pixelat(o, p) != 0) {
                row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
            }
        } else if (o.bitcount == 8) {
            row[x] = pixelat(o, p);
        } else if (o.bitcount == 24) {
            row[3 * x] = pixelat(o, 3 * p + 2);
            row[3 * x + 1] = pixelat(o, 3 * p + 1);
            row[3 * x + 2] = pixelat(o, 3 * p);
        }
    }
    return row;
}

} // namespace

uint32_t bmpstride(uint16_t bitcount, uint32_t width) {
    const uint64_t bits = uint64_t{width} * bitcount;
    return static_cast<uint32_t>((bits + 31) / 32 * 4);
}

std::vector<uint8_t> greypalette(size_t entries) {
    std::vector<uint8_t> p;
    for (size_t i = 0; i < entries; ++i) {
        const auto v = static_cast<uint8_t>(entries > 1 ? i * 255 / (entries - 1) : 0);
        p.insert(p.end(), {v, v, v});
    }
    return p;
}

std::vector<uint8_t> makebmp(const bmpoptions& o) {
    std::vector<uint8_t> palette;
    if (o.bitcount == 1) {
        for (int e = 0; e < 2; ++e) {
            palette.insert(palette.end(),
                           {o.palette1[3 * e + 2], o.palette1[3 * e + 1], o.palette1[3 * e], 0});
        }
    } else if (o.bitcount == 8) {
        const std::vector<uint8_t> rgb = o.palette8.empty() ? greypalette() : o.palette8;
        for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
            palette.insert(palette.end(), {rgb[i + 2], rgb[i + 1], rgb[i], 0});
        }
    }

    std::vector<uint8_t> block = o.rawpixels;
    if (block.empty() && o.width > 0) {
        const auto h = static_cast<uint32_t>(o.height > 0 ? o.height : 0);
        for (uint32_t i = 0; i < h; ++i) {
            const uint32_t y = o.topdown ? i : h - 1 - i;
            const std::vector<uint8_t> row = storedrow(o, y);
            block.insert(block.end(), row.begin(), row.end());
        }
    }

    const auto infosize = std::max<uint32_t>(o.headersize, 40);
    const auto offset = static_cast<uint32_t>(14 + infosize + palette.size());
    const auto total = static_cast<uint32_t>(offset + block.size() + o.trailing);

    std::vector<uint8_t> out;
    out.insert(out.end(), {'B', 'M'});
    le32(out, o.filesizefield.value_or(total));
    le32(out, 0);
    le32(out, o.offsetfield.value_or(offset));
    le32(out, o.headersize);
    le32(out, static_cast<uint32_t>(o.width));
    le32(out, static_cast<uint32_t>(o.topdown ? -o.height : o.height));
    le16(out, 1);
    le16(out, o.bitcount);
    le32(out, o.compression);
    le32(out,
         o.imagesizefield.value_or(o.writeimagesize ? static_cast<uint32_t>(block.size()) : 0));
    le32(out, o.xppm);
    le32(out, o.yppm);
    le32(out, o.colorsused);
    le32(out, 0);
    out.resize(14 + infosize, 0);
    out.insert(out.end(), palette.begin(), palette.end());
    out.insert(out.end(), block.begin(), block.end());
    out.resize(out.size() + o.trailing, 0);
    return out;
}

bool savebmp(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

void putle32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4 && at + i < bytes.size(); ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

} // namespace ovintest
