#include "readers/bmpinfo.h"

#include "byteorder.h"
#include "numbers.h"
#include "readers/bytesource.h"

#include <cstring>
#include <limits>

namespace ovin {

namespace {

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;

uint64_t roundup4(uint64_t n) {
    return (n + 3) & ~uint64_t{3};
}

// Bytes that one row of pixels takes without its fill bytes, as stored.
uint64_t storedrow(uint16_t bits, uint32_t width) {
    switch (bits) {
    case 1:
        return (uint64_t{width} + 7) / 8;
    case 8:
        return width;
    default:
        return uint64_t{width} * 3;
    }
}

} // namespace

bool bmpinfo::fail(std::string text) {
    errorflag_ = true;
    errortext_ = std::move(text);
    return false;
}

bool bmpinfo::readfile(const std::string& filename) {
    const bool keepdata = readdata;
    *this = bmpinfo{};
    readdata = keepdata;

    if (!fileexists(filename)) {
        return fail("Error - BMP Image " + filename + " does not exist");
    }
    filesource source;
    if (const int code = source.open(filename); code != 0) {
        return fail("Access to " + filename + " is denied - error " + std::to_string(code));
    }
    return read(source, filename);
}

bool bmpinfo::read(bytesource& source, const std::string& filename) {
    const bool keepdata = readdata;
    *this = bmpinfo{};
    readdata = keepdata;
    bytereader file(source);
    const uint64_t filesize = file.size();
    constexpr int kShortRead = 100;
    const auto number = [](const fault& why) {
        return why.kind == faultkind::system ? why.errnum : kShortRead;
    };
    const auto readerror = [&](int code) {
        ioerror = code != 0 ? code : kShortRead;
        return fail("I/O Error " + std::to_string(ioerror) + " while reading " + filename);
    };

    uint8_t header[kFileHeader + kInfoHeader];
    if (!file.read(header, sizeof header)) {
        return readerror(number(file.why()));
    }
    const uint32_t filesizefield = le32(header + 2);
    const uint32_t offset = le32(header + 10);
    const uint32_t headersize = le32(header + 14);
    const auto headerwidth = static_cast<int32_t>(le32(header + 18));
    const auto headerheight = static_cast<int32_t>(le32(header + 22));
    const uint16_t bits = le16(header + 28);
    const uint32_t compression = le32(header + 30);
    uint64_t imagesize = le32(header + 34);
    const uint32_t xppm = le32(header + 38);
    const uint32_t yppm = le32(header + 42);
    const uint32_t colorsused = le32(header + 46);

    // A negative height marks rows stored top first.
    width = headerwidth > 0 ? static_cast<uint32_t>(headerwidth) : 0;
    topdown_ = headerheight < 0;
    height = static_cast<uint32_t>(topdown_ ? -int64_t{headerheight} : int64_t{headerheight});

    xdpi = divroundeven(uint64_t{xppm} * 254, 10000); // pixels per metre to dpi
    ydpi = divroundeven(uint64_t{yppm} * 254, 10000);
    if (xdpi == 0) {
        xdpi = ydpi = 200;
    }

    if (imagesize == 0) {
        // No size given: measured as 24-bit rows whatever the bit count. A
        // block bigger than the whole file says the data is compressed.
        imagesize = roundup4(uint64_t{width} * 3) * height;
        if (imagesize > filesizefield) {
            return fail("Unsupported BMP compression type in file " + filename);
        }
    }

    bitcount = bits;
    if (bits != 1 && bits != 8 && bits != 24) {
        return fail("Unsupported bitcount " + std::to_string(bits) + " in " + filename);
    }
    if (compression != 0) {
        return fail("Unsupported BMP compression type in file " + filename);
    }
    if (headersize < kInfoHeader) {
        return fail("Unsupported BMP header size " + std::to_string(headersize) + " in file " +
                    filename);
    }
    if (width == 0 || height == 0 || height > uint32_t{std::numeric_limits<int32_t>::max()}) {
        return fail("Invalid BMP image size " + std::to_string(headerwidth) + " x " +
                    std::to_string(headerheight) + " in file " + filename);
    }

    const uint64_t rowbytes = storedrow(bits, width);
    stride_ = roundup4(rowbytes);
    const uint64_t blocksize = stride_ * height;
    if (blocksize > imagesize) {
        return fail("Invalid BMP pixel data size in file " + filename);
    }
    const uint64_t outsize = bits == 1 ? rowbytes * height : uint64_t{width} * height * 3;
    if (outsize > std::numeric_limits<uint32_t>::max()) {
        return fail("BMP image too large in file " + filename);
    }
    datasize = static_cast<uint32_t>(outsize);

    // The palette follows the info header, however long that is.
    const uint64_t palettepos = kFileHeader + uint64_t{headersize};
    if (bits == 8) {
        const uint32_t entries = colorsused >= 1 && colorsused <= 256 ? colorsused : 256;
        uint8_t raw[256 * 4];
        if (!file.seek(palettepos) || !file.read(raw, size_t{entries} * 4)) {
            return readerror(number(file.why()));
        }
        for (size_t i = 0; i < entries; ++i) {
            palette8_[3 * i] = raw[4 * i + 2];
            palette8_[3 * i + 1] = raw[4 * i + 1];
            palette8_[3 * i + 2] = raw[4 * i];
        }
    } else if (bits == 1) {
        uint8_t raw[8];
        if (!file.seek(palettepos) || !file.read(raw, sizeof raw)) {
            return readerror(number(file.why()));
        }
        palette1 = {raw[2], raw[1], raw[0], raw[6], raw[5], raw[4]};
    }

    // Only whole rows are kept; bytes after the last row are not needed.
    // Checked against the file before anything is allocated.
    if (uint64_t{offset} + blocksize > filesize) {
        return readerror(kShortRead);
    }
    if (!readdata) {
        return true;
    }
    pixeldata_.resize(static_cast<size_t>(blocksize));
    if (!file.seek(offset) || !file.read(pixeldata_.data(), pixeldata_.size())) {
        pixeldata_.clear();
        return readerror(number(file.why()));
    }
    return true;
}

void bmpinfo::copypixels(uint8_t* buffer) {
    if (errorflag_ || buffer == nullptr || pixeldata_.empty()) {
        return;
    }
    const size_t rowbytes = static_cast<size_t>(storedrow(bitcount, width));
    uint8_t* out = buffer;
    for (uint32_t r = 0; r < height; ++r) {
        const uint64_t stored = topdown_ ? r : height - 1 - r;
        const uint8_t* row = pixeldata_.data() + stored * stride_;
        if (bitcount == 1) {
            std::memcpy(out, row, rowbytes);
            out += rowbytes;
        } else if (bitcount == 8) {
            for (uint32_t x = 0; x < width; ++x) {
                std::memcpy(out, &palette8_[size_t{row[x]} * 3], 3);
                out += 3;
            }
        } else {
            for (uint32_t x = 0; x < width; ++x, row += 3, out += 3) {
                out[0] = row[2];
                out[1] = row[1];
                out[2] = row[0];
            }
        }
    }
}

} // namespace ovin
