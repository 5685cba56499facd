// JPEG 2000 pages. A JP2 file's boxes give the colour space (colr)
// and the resolution (res: the display resolution resd, else the capture
// resolution resc); the codestream's SIZ marker gives the size. The
// codestream's tile-parts are walked by their lengths up to the EOC marker,
// so that a truncated file is refused rather than embedded broken.
//
// The data carries its own colour: the page says nothing of it (no colour
// space, no bits per component) and readers use the file's, except for an
// ICC profile, which becomes the page's ICCBased colour space so that every
// reader honours it.
#include "readers/jp2.h"

#include "byteorder.h"
#include "numbers.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

namespace ovin {

namespace {

constexpr uint64_t kMaxProfileBox = 8 << 20;

constexpr uint32_t boxtype(const char (&s)[5]) {
    return uint32_t{uint8_t(s[0])} << 24 | uint32_t{uint8_t(s[1])} << 16 |
           uint32_t{uint8_t(s[2])} << 8 | uint32_t{uint8_t(s[3])};
}

status refuse(const std::string& name, const std::string& why) {
    return {OVINPDF_IMAGE_ERROR, "JPEG 2000 file " + name + ": " + why};
}

struct box {
    uint32_t type = 0;
    uint64_t body = 0; // offset of the contents
    uint64_t end = 0;  // offset after the box
};

// The box starting at `pos`, which must end by `limit`.
status readbox(bytereader& reader, const std::string& name, uint64_t pos, uint64_t limit,
               box& out) {
    std::array<uint8_t, 16> h{};
    if (limit - pos < 8 || !reader.seek(pos) || !reader.read(h.data(), 8)) {
        return refuse(name, "the file is truncated");
    }
    uint64_t length = be32(h.data());
    out.type = be32(h.data() + 4);
    out.body = pos + 8;
    if (length == 1) {
        if (limit - pos < 16 || !reader.read(h.data() + 8, 8)) {
            return readfailure(reader);
        }
        length = uint64_t{be32(h.data() + 8)} << 32 | be32(h.data() + 12);
        out.body = pos + 16;
    } else if (length == 0) {
        length = limit - pos; // up to the end
    }
    if (length < out.body - pos) {
        return refuse(name, "a box of length " + std::to_string(length));
    }
    if (length > limit - pos) {
        return refuse(name, "the file is truncated");
    }
    out.end = pos + length;
    return {};
}

// Grid points per metre, N / D * 10^E, in dots per inch; 0 for none.
uint16_t dpifrom(uint16_t n, uint16_t d, int8_t e) {
    if (n == 0 || d == 0) {
        return 0;
    }
    return dotsperinch(static_cast<long double>(n) / d * std::pow(10.0L, e) * 0.0254L);
}

struct jp2facts {
    bool header = false; // ihdr seen
    uint32_t width = 0;  // as ihdr gives them
    uint32_t height = 0;
    uint16_t components = 0;
    bool codestream = false; // jp2c seen
    uint64_t start = 0;      // the codestream
    uint64_t end = 0;
    uint16_t xdpi = 0;
    uint16_t ydpi = 0;
    bool display = false;  // the resolution came from resd
    bool reshaped = false; // a palette or channel definitions change the components
    std::vector<uint8_t> icc;
    bool colourseen = false;
};

status readresolution(bytereader& reader, const std::string& name, const box& res, jp2facts& f) {
    for (uint64_t pos = res.body; pos < res.end;) {
        box b;
        if (status s = readbox(reader, name, pos, res.end, b); !s.ok()) {
            return s;
        }
        pos = b.end;
        const bool display = b.type == boxtype("resd");
        if ((!display && b.type != boxtype("resc")) || b.end - b.body != 10 ||
            (f.display && !display)) {
            continue;
        }
        std::array<uint8_t, 10> r{};
        if (!reader.seek(b.body) || !reader.read(r.data(), r.size())) {
            return readfailure(reader);
        }
        f.ydpi = dpifrom(be16(&r[0]), be16(&r[2]), static_cast<int8_t>(r[8]));
        f.xdpi = dpifrom(be16(&r[4]), be16(&r[6]), static_cast<int8_t>(r[9]));
        f.display = display;
    }
    return {};
}

status readcolour(bytereader& reader, const box& colr, jp2facts& f) {
    if (f.colourseen) {
        return {}; // the first colr box is the one readers use
    }
    f.colourseen = true;
    const uint64_t length = colr.end - colr.body;
    std::array<uint8_t, 3> head{};
    if (length < 3 || !reader.seek(colr.body) || !reader.read(head.data(), head.size())) {
        return length < 3 ? status{} : readfailure(reader);
    }
    if (head[0] != 2 || length - 3 < 132 || length - 3 > kMaxProfileBox) {
        return {};
    }
    f.icc.resize(length - 3);
    if (!reader.read(f.icc.data(), f.icc.size())) {
        return readfailure(reader);
    }
    return {};
}

status readheaderbox(bytereader& reader, const std::string& name, const box& jp2h, jp2facts& f) {
    for (uint64_t pos = jp2h.body; pos < jp2h.end;) {
        box b;
        if (status s = readbox(reader, name, pos, jp2h.end, b); !s.ok()) {
            return s;
        }
        pos = b.end;
        status s;
        if (b.type == boxtype("ihdr")) {
            std::array<uint8_t, 14> ihdr{};
            f.header = b.end - b.body == ihdr.size();
            if (f.header && (!reader.seek(b.body) || !reader.read(ihdr.data(), ihdr.size()))) {
                return readfailure(reader);
            }
            f.height = be32(&ihdr[0]);
            f.width = be32(&ihdr[4]);
            f.components = be16(&ihdr[8]);
        } else if (b.type == boxtype("colr")) {
            s = readcolour(reader, b, f);
        } else if (b.type == boxtype("res ")) {
            s = readresolution(reader, name, b, f);
        } else if (b.type == boxtype("pclr") || b.type == boxtype("cdef") ||
                   b.type == boxtype("cmap")) {
            f.reshaped = true;
        }
        if (!s.ok()) {
            return s;
        }
    }
    return {};
}

// The top-level boxes of a JP2 file: its header box and its first
// codestream.
status readboxes(bytereader& reader, const std::string& name, jp2facts& f) {
    bool headerbox = false;
    for (uint64_t pos = 0; pos < reader.size() && !f.codestream;) {
        box b;
        if (status s = readbox(reader, name, pos, reader.size(), b); !s.ok()) {
            return s;
        }
        pos = b.end;
        if (b.type == boxtype("jp2h") && !headerbox) {
            headerbox = true;
            if (status s = readheaderbox(reader, name, b, f); !s.ok()) {
                return s;
            }
        } else if (b.type == boxtype("jp2c")) {
            if (!headerbox) {
                return refuse(name, "the codestream comes before the header box");
            }
            f.codestream = true;
            f.start = b.body;
            f.end = b.end;
        }
    }
    if (!f.header) {
        return refuse(name, "no image header box");
    }
    if (!f.codestream) {
        return refuse(name, "no codestream");
    }
    return {};
}

struct sizes {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t components = 0;
};

// The SIZ marker after SOC, then the main header's markers and the
// tile-parts up to EOC.
status readcodestream(bytereader& reader, const std::string& name, uint64_t start, uint64_t end,
                      sizes& out) {
    std::array<uint8_t, 42> siz{};
    if (end - start < siz.size() || !reader.seek(start) || !reader.read(siz.data(), siz.size())) {
        return refuse(name, "the codestream is truncated");
    }
    if (be16(&siz[0]) != 0xFF4F || be16(&siz[2]) != 0xFF51) {
        return refuse(name, "the codestream does not start with SOC and SIZ");
    }
    const uint32_t x = be32(&siz[8]), y = be32(&siz[12]);
    const uint32_t x0 = be32(&siz[16]), y0 = be32(&siz[20]);
    out.components = be16(&siz[40]);
    if (x <= x0 || y <= y0 || out.components == 0 || out.components > 16384 ||
        be16(&siz[4]) != 38 + 3 * uint32_t{out.components}) {
        return refuse(name, "a damaged SIZ marker");
    }
    out.width = x - x0;
    out.height = y - y0;

    // Marker segments of the main header, then tile-parts (SOT, whose Psot
    // is the tile-part's length, 0 for the last one up to EOC).
    uint64_t pos = start + 4 + be16(&siz[4]);
    bool tiles = false;
    for (;;) {
        std::array<uint8_t, 12> m{};
        if (end - std::min(end, pos) < 2 || !reader.seek(pos) || !reader.read(m.data(), 2)) {
            return refuse(name, "the codestream is truncated");
        }
        const uint16_t marker = be16(m.data());
        if (marker == 0xFFD9 && tiles) {
            return {};
        }
        if (end - pos < 4 || !reader.read(m.data() + 2, 2)) {
            return refuse(name, "the codestream is truncated");
        }
        const uint16_t length = be16(&m[2]);
        if ((marker >> 8) != 0xFF || length < 2 || (marker == 0xFF90 && length != 10)) {
            return refuse(name, "a damaged codestream");
        }
        if (marker != 0xFF90) {
            if (tiles) {
                return refuse(name, "a damaged codestream");
            }
            pos += 2 + uint64_t{length};
            continue;
        }
        tiles = true;
        if (end - pos < 12 || !reader.read(m.data() + 4, 8)) {
            return refuse(name, "the codestream is truncated");
        }
        const uint32_t psot = be32(&m[6]);
        if (psot == 0) {
            // The last tile-part: the codestream must end with EOC.
            std::array<uint8_t, 2> eoc{};
            if (!reader.seek(end - 2) || !reader.read(eoc.data(), 2) ||
                be16(eoc.data()) != 0xFFD9) {
                return refuse(name, "the codestream is truncated (no EOC marker)");
            }
            return {};
        }
        if (psot < 14 || psot > end - pos) {
            return refuse(name, psot < 14 ? "a damaged tile-part" : "the codestream is truncated");
        }
        pos += psot;
        if (pos == end) {
            return {}; // complete tile-parts without EOC, which decoders accept
        }
    }
}

} // namespace

status readjp2page(bytesource& source, const std::string& name, imagedata mode, imagedesc& out) {
    bytereader reader(source);
    jp2facts f;
    std::array<uint8_t, 12> head{};
    if (!reader.read(head.data(), 4)) {
        return readfailure(reader);
    }
    if (be32(head.data()) == 0xFF4FFF51) {
        f.start = 0;
        f.end = reader.size();
    } else {
        static constexpr std::array<uint8_t, 12> signature{0,   0,   0,    0x0C, 'j',  'P',
                                                           ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
        if (!reader.read(head.data() + 4, 8) || head != signature) {
            return refuse(name, "no JPEG 2000 signature");
        }
        if (status s = readboxes(reader, name, f); !s.ok()) {
            return s;
        }
    }
    sizes size;
    if (status s = readcodestream(reader, name, f.start, f.end, size); !s.ok()) {
        return s;
    }
    // Readers go by one or the other: a file whose two disagree is drawn by
    // none of them.
    if (f.header &&
        (f.width != size.width || f.height != size.height || f.components != size.components)) {
        return refuse(name, "its header box says " + std::to_string(f.width) + " x " +
                                std::to_string(f.height) + " pixels of " +
                                std::to_string(f.components) + " components, its codestream " +
                                std::to_string(size.width) + " x " + std::to_string(size.height) +
                                " of " + std::to_string(size.components));
    }

    out.width = clamppixels(size.width);
    out.height = clamppixels(size.height);
    out.xdpi = f.xdpi;
    out.ydpi = f.ydpi;
    out.pagesinfile = 1;
    out.bitspercomponent = 0;
    out.colour = colourspace::none;
    const colourspace colour = size.components == 1   ? colourspace::gray
                               : size.components == 3 ? colourspace::rgb
                               : size.components == 4 ? colourspace::cmyk
                                                      : colourspace::none;
    if (!f.reshaped && !f.icc.empty() && colour != colourspace::none) {
        out.colour = colour;
        out.iccprofile = std::move(f.icc);
    }
    out.filter = pdffilter::jpx;
    out.data.clear();
    if (mode == imagedata::skip) {
        return {};
    }
    if (reader.size() > std::numeric_limits<uint32_t>::max()) {
        return status::systemerror(EFBIG);
    }
    if (auto file = source.file()) {
        // The file goes into the PDF as it is: copied when written.
        out.stored = {std::move(file), 0, reader.size()};
        return {};
    }
    out.data.resize(static_cast<size_t>(reader.size()));
    if (!reader.seek(0) || !reader.read(out.data.data(), out.data.size())) {
        return readfailure(reader);
    }
    return {};
}

} // namespace ovin
