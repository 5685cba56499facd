// PNM pages. P1 and P4 are bilevel with 1 meaning black, shown through a
// Decode array; P2, P3, P5 and P6 hold grey or RGB samples of 8 bits (maxval
// up to 255) or 16 bits (big-endian, as PDF wants them). A maxval other than
// 255 or 65535 is rescaled to the full range; samples above it count as it.
// Comments run from '#' to the end of the line anywhere white space may be.
// Images follow each other up to the end of the file; bytes after the last
// one that do not start another image are ignored.
#include "readers/pnm.h"

#include "numbers.h"

#include <algorithm>
#include <limits>

namespace ovin {

namespace {

constexpr uint32_t kMaxSide = std::numeric_limits<int32_t>::max();

bool isspace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isdigit(int c) {
    return c >= '0' && c <= '9';
}

status refuse(const std::string& name, const std::string& why) {
    return {OVINPDF_IMAGE_ERROR, "PNM file " + name + ": " + why};
}

// Sequential reads through a buffer, for headers and plain rasters.
class scanner {
public:
    explicit scanner(bytesource& source) : source_(source) {}

    uint64_t size() const { return source_.size(); }
    uint64_t position() const { return base_ + at_; }
    // Why a read failed; none when the file simply ended.
    const fault& why() const { return why_; }
    // The next byte, or -1 at the end of the file or after a failed read.
    int peek() {
        if (at_ == have_ && !fill()) {
            return -1;
        }
        return buffer_[at_];
    }
    int get() {
        const int c = peek();
        at_ += c >= 0 ? 1 : 0;
        return c;
    }
    void seek(uint64_t pos) {
        base_ = pos;
        at_ = have_ = 0;
    }
    bytesource& source() { return source_; }

private:
    bool fill() {
        base_ += have_;
        at_ = have_ = 0;
        if (why_ || base_ >= source_.size()) {
            return false;
        }
        const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer_.size(), size() - base_));
        int error = 0;
        const int64_t got = source_.readat(base_, buffer_.data(), n, error);
        if (got <= 0) {
            why_ = got < 0 ? fault::system(error) : fault::truncated();
            return false;
        }
        have_ = static_cast<size_t>(got);
        return true;
    }

    bytesource& source_;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(65536);
    uint64_t base_ = 0;
    size_t at_ = 0;
    size_t have_ = 0;
    fault why_;
};

// Skips white space and comments.
void skipspace(scanner& s) {
    for (int c = s.peek(); c >= 0; c = s.peek()) {
        if (c == '#') {
            while (c >= 0 && c != '\n' && c != '\r') {
                s.get();
                c = s.peek();
            }
        } else if (isspace(c)) {
            s.get();
        } else {
            return;
        }
    }
}

// A decimal number after white space and comments, ended by white space,
// a comment or the end of the file; false when there is none or it is
// above `max`.
bool number(scanner& s, uint32_t max, uint32_t& value) {
    skipspace(s);
    int c = s.peek();
    if (!isdigit(c)) {
        return false;
    }
    uint64_t v = 0;
    for (; isdigit(c); c = s.peek()) {
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > max) {
            return false;
        }
        s.get();
    }
    value = static_cast<uint32_t>(v);
    return c < 0 || c == '#' || isspace(c);
}

struct pnmimage {
    char kind = 0; // '1' to '6'
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t maxval = 1;

    bool bilevel() const { return kind == '1' || kind == '4'; }
    bool plain() const { return kind <= '3'; }
    uint32_t channels() const { return kind == '3' || kind == '6' ? 3 : 1; }
    uint32_t bytespersample() const { return maxval > 255 ? 2 : 1; }
    // One row as stored raw, and as embedded.
    uint64_t rowbytes() const {
        return bilevel() ? (uint64_t{width} + 7) / 8
                         : uint64_t{width} * channels() * bytespersample();
    }
};

// The failure of a read that ran into the end of the file or failed.
status cut(const scanner& s, const std::string& name, const std::string& what) {
    if (s.why().kind == faultkind::system) {
        return status::failed(s.why());
    }
    return refuse(name, what);
}

// The header up to the first byte of the raster.
status readheader(scanner& s, const std::string& name, const std::string& image, pnmimage& out) {
    if (s.get() != 'P') {
        return cut(s, name, image + "no PNM signature");
    }
    const int kind = s.get();
    if (kind < '1' || kind > '6') {
        return cut(s, name, image + "no PNM signature");
    }
    out.kind = static_cast<char>(kind);
    if (!number(s, kMaxSide, out.width) || !number(s, kMaxSide, out.height) ||
        (!out.bilevel() && !number(s, 65535, out.maxval))) {
        return cut(s, name, image + "damaged header");
    }
    if (out.width == 0 || out.height == 0 || out.maxval == 0) {
        return refuse(name, image + "image size " + std::to_string(out.width) + " x " +
                                std::to_string(out.height) + ", maxval " +
                                std::to_string(out.maxval));
    }
    if (!out.plain()) {
        // One white space byte (or a comment line) ends the header.
        if (const int c = s.get(); c == '#') {
            for (int d = s.get(); d >= 0 && d != '\n' && d != '\r'; d = s.get()) {
            }
        } else if (!isspace(c)) {
            return cut(s, name, image + "damaged header");
        }
    }
    return {};
}

uint32_t fullrange(const pnmimage& image, uint32_t value) {
    const uint32_t full = image.bytespersample() == 2 ? 65535 : 255;
    const uint64_t v = std::min(value, image.maxval);
    return image.maxval == full
               ? value
               : static_cast<uint32_t>((v * full + image.maxval / 2) / image.maxval);
}

// A raw raster: read into `pixels` (null: only checked to be there and
// skipped) and rescaled.
status rawraster(scanner& s, const std::string& name, const std::string& image, const pnmimage& p,
                 std::vector<uint8_t>* pixels) {
    const uint64_t start = s.position();
    const uint64_t rowbytes = p.rowbytes();
    if (start > s.size() || p.height > (s.size() - start) / rowbytes) {
        return refuse(name, image + "the file is truncated");
    }
    const uint64_t bytes = rowbytes * p.height;
    s.seek(start + bytes);
    if (pixels == nullptr) {
        return {};
    }
    pixels->resize(bytes);
    bytereader reader(s.source());
    if (!reader.seek(start) || !reader.read(pixels->data(), pixels->size())) {
        return reader.why().kind == faultkind::system
                   ? readfailure(reader)
                   : refuse(name, image + "the file is truncated");
    }
    if (p.bilevel() || p.maxval == 255 || p.maxval == 65535) {
        return {};
    }
    uint8_t* at = pixels->data();
    if (p.bytespersample() == 1) {
        for (size_t i = 0; i < pixels->size(); ++i) {
            at[i] = static_cast<uint8_t>(fullrange(p, at[i]));
        }
    } else {
        for (size_t i = 0; i + 1 < pixels->size(); i += 2) {
            const uint32_t v = fullrange(p, uint32_t{at[i]} << 8 | at[i + 1]);
            at[i] = static_cast<uint8_t>(v >> 8);
            at[i + 1] = static_cast<uint8_t>(v);
        }
    }
    return {};
}

// A plain raster: decimal samples (P1: single digits that need no space
// between them), read into `pixels` or only checked.
status plainraster(scanner& s, const std::string& name, const std::string& image, const pnmimage& p,
                   std::vector<uint8_t>* pixels) {
    const uint64_t perrow = uint64_t{p.width} * p.channels();
    // Every sample takes at least one byte of the file.
    const uint64_t left = s.size() - std::min(s.size(), s.position());
    if (perrow > left || p.height > left / perrow) {
        return refuse(name, image + "the file is truncated");
    }
    const uint64_t rowbytes = p.rowbytes();
    if (pixels != nullptr) {
        pixels->assign(rowbytes * p.height, 0);
    }
    for (uint64_t y = 0; y < p.height; ++y) {
        uint8_t* row = pixels != nullptr ? pixels->data() + y * rowbytes : nullptr;
        for (uint64_t i = 0; i < perrow; ++i) {
            uint32_t v = 0;
            if (p.bilevel()) {
                skipspace(s);
                const int c = s.get();
                if (c != '0' && c != '1') {
                    return cut(s, name, image + (c < 0 ? "the file is truncated" : "bad sample"));
                }
                v = c == '1' ? 1 : 0;
            } else if (!number(s, 65535, v)) {
                return cut(s, name,
                           image + (s.peek() < 0 ? "the file is truncated" : "bad sample"));
            }
            if (row == nullptr) {
                continue;
            }
            if (p.bilevel()) {
                row[i / 8] = static_cast<uint8_t>(row[i / 8] | v << (7 - i % 8));
            } else if (p.bytespersample() == 1) {
                row[i] = static_cast<uint8_t>(fullrange(p, v));
            } else {
                const uint32_t w = fullrange(p, v);
                row[2 * i] = static_cast<uint8_t>(w >> 8);
                row[2 * i + 1] = static_cast<uint8_t>(w);
            }
        }
    }
    return {};
}

void describe(const pnmimage& p, imagedesc& out) {
    out.width = static_cast<int32_t>(p.width);
    out.height = static_cast<int32_t>(p.height);
    out.xdpi = out.ydpi = 0; // PNM has no resolution
    out.bitspercomponent = p.bilevel() ? 1 : static_cast<uint16_t>(8 * p.bytespersample());
    out.colour = p.channels() == 3 ? colourspace::rgb : colourspace::gray;
    out.decodeinverted = p.bilevel();
    out.filter = pdffilter::none;
}

} // namespace

status readpnmpage(bytesource& source, const std::string& name, uint32_t page, imagedata mode,
                   imagedesc& out) {
    scanner s(source);
    std::vector<uint8_t> pixels;
    uint32_t count = 0;
    for (;;) {
        if (count > 0) {
            skipspace(s);
            const uint64_t at = s.position();
            const int p = s.get();
            const int kind = s.get();
            if (p != 'P' || kind < '1' || kind > '6') {
                break;
            }
            s.seek(at);
        }
        const std::string image = count == 0 ? "" : "image " + std::to_string(count + 1) + ": ";
        pnmimage p;
        if (status header = readheader(s, name, image, p); !header.ok()) {
            return header;
        }
        ++count;
        std::vector<uint8_t>* into = nullptr;
        if (count == page) {
            describe(p, out);
            into = mode == imagedata::read ? &pixels : nullptr;
        }
        const status raster =
            p.plain() ? plainraster(s, name, image, p, into) : rawraster(s, name, image, p, into);
        if (!raster.ok()) {
            return raster;
        }
    }
    if (page == 0 || page > count) {
        return refuse(name, "holds " + counted(count, "image", "images") + ", not " +
                                std::to_string(page));
    }
    out.pagesinfile = count;
    out.data.clear();
    if (mode == imagedata::read) {
        out.data = std::move(pixels);
    }
    return {};
}

} // namespace ovin
