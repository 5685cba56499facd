#include "bmpfixtures.h"

#include <bit>
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

// A field's share of an 8-bit value: the value cut to the field's width.
uint32_t tofield(uint8_t value, uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    const uint32_t v = width >= 8 ? uint32_t{value} << (width - 8) : uint32_t{value} >> (8 - width);
    return v << shift;
}

// One stored row (with padding) of picture row y (0 = top).
std::vector<uint8_t> storedrow(const bmpoptions& o, uint32_t y) {
    const auto w = static_cast<uint32_t>(o.width);
    std::vector<uint8_t> row(bmpstride(o.bitcount, w), 0);
    for (uint32_t x = 0; x < w; ++x) {
        const size_t p = size_t{y} * w + x;
        if ((o.bitcount == 16 || o.bitcount == 32) && o.masks) {
            uint32_t v = 0;
            for (size_t c = 0; c < 4; ++c) {
                v |= tofield(pixelat(o, 4 * p + c), (*o.masks)[c]);
            }
            for (size_t b = 0; b < o.bitcount / 8u; ++b) {
                row[o.bitcount / 8u * x + b] = static_cast<uint8_t>(v >> (8 * b));
            }
        } else if (o.bitcount == 2 || o.bitcount == 4) {
            const unsigned bit = x * o.bitcount;
            row[bit / 8] =
                static_cast<uint8_t>(row[bit / 8] | pixelat(o, p) << (8 - o.bitcount - bit % 8));
        } else if (o.bitcount == 1) {
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

// Run-length codes (RLE8, or RLE4 with `four`) of the pixels, bottom row
// first: runs of equal pixels, literal groups, an end-of-line code per row
// and the end-of-bitmap code. With `delta`, stretches of index 0 are
// skipped by delta codes instead, and a row of zeros by a move down.
std::vector<uint8_t> rlecodes(const bmpoptions& o, bool four) {
    const auto w = static_cast<uint32_t>(o.width);
    const auto h = static_cast<uint32_t>(o.height);
    std::vector<uint8_t> out;
    const auto pack = [four](uint8_t a, uint8_t b) {
        return four ? static_cast<uint8_t>(a << 4 | b) : a;
    };
    for (uint32_t i = 0; i < h; ++i) {
        const size_t row = size_t{h - 1 - i} * w;
        const auto at = [&](uint32_t x) { return pixelat(o, row + x); };
        uint32_t skip = 0;
        bool written = false;
        for (uint32_t x = 0; x < w;) {
            uint32_t run = 1;
            while (x + run < w && run < 255 && at(x + run) == at(x)) {
                ++run;
            }
            if (o.rledelta && at(x) == 0) {
                skip += run;
                x += run;
                continue;
            }
            for (; skip > 0; skip -= std::min<uint32_t>(skip, 255)) {
                out.insert(out.end(),
                           {0, 2, static_cast<uint8_t>(std::min<uint32_t>(skip, 255)), 0});
            }
            written = true;
            // A literal group runs up to the next pair of equal pixels.
            uint32_t n = 1;
            while (run == 1 && x + n < w && n < 254 &&
                   (x + n + 1 >= w || at(x + n) != at(x + n + 1))) {
                ++n;
            }
            if (run > 1 || n < 3) {
                out.insert(out.end(), {static_cast<uint8_t>(run), pack(at(x), at(x))});
                x += run;
                continue;
            }
            out.insert(out.end(), {0, static_cast<uint8_t>(n)});
            std::vector<uint8_t> group;
            for (uint32_t k = 0; k < n; k += four ? 2 : 1) {
                group.push_back(pack(at(x + k), k + 1 < n ? at(x + k + 1) : 0));
            }
            group.resize((group.size() + 1) & ~size_t{1}, 0);
            out.insert(out.end(), group.begin(), group.end());
            x += n;
        }
        if (o.rledelta && !written) {
            out.insert(out.end(), {0, 2, 0, 1}); // a row of zeros: straight down
        } else {
            out.insert(out.end(), {0, 0});
        }
    }
    out.insert(out.end(), {0, 1});
    return out;
}

} // namespace

uint8_t fieldlevel(uint8_t value, uint32_t mask) {
    const uint32_t max = mask >> std::countr_zero(mask);
    const uint32_t v = tofield(value, mask) >> std::countr_zero(mask);
    return static_cast<uint8_t>((uint64_t{v} * 255 + max / 2) / max);
}

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
    } else if (o.bitcount == 2 || o.bitcount == 4 || o.bitcount == 8) {
        const std::vector<uint8_t> rgb =
            o.palette8.empty() ? greypalette(size_t{1} << o.bitcount) : o.palette8;
        for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
            palette.insert(palette.end(), {rgb[i + 2], rgb[i + 1], rgb[i], 0});
        }
    }

    std::vector<uint8_t> masks;
    if (o.masks && o.headersize == 40 && (o.compression == 3 || o.compression == 6)) {
        for (size_t c = 0; c < (o.compression == 6 ? 4u : 3u); ++c) {
            le32(masks, (*o.masks)[c]);
        }
    }
    palette.insert(palette.begin(), masks.begin(), masks.end());

    std::vector<uint8_t> block = o.rawpixels;
    const bool rle8 = o.compression == 1 && o.bitcount == 8;
    const bool rle4 = o.compression == 2 && o.bitcount == 4;
    if (block.empty() && o.width > 0 && (rle8 || rle4)) {
        block = rlecodes(o, rle4);
    } else if (block.empty() && o.width > 0) {
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
    if (o.masks && infosize >= 56) {
        for (size_t c = 0; c < 4; ++c) {
            putle32(out, 54 + 4 * c, (*o.masks)[c]);
        }
    }
    out.insert(out.end(), palette.begin(), palette.end());
    out.insert(out.end(), block.begin(), block.end());
    out.resize(out.size() + o.trailing, 0);
    if (!o.iccprofile.empty() && infosize >= 124) {
        putle32(out, 14 + 56, 0x4D424544); // PROFILE_EMBEDDED
        putle32(out, 14 + 112, static_cast<uint32_t>(out.size() - 14));
        putle32(out, 14 + 116, static_cast<uint32_t>(o.iccprofile.size()));
        out.insert(out.end(), o.iccprofile.begin(), o.iccprofile.end());
        putle32(out, bmpfield::filesize, static_cast<uint32_t>(out.size()));
    }
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
