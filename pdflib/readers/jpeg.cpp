// The JPEG reader: the header parse, and the page a JPEG file makes, with
// what a photograph's metadata adds: the EXIF orientation and resolution,
// and the ICC profile split over APP2 segments.
#include "readers/jpeg.h"

#include "numbers.h"
#include "readers/exif.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

namespace ovin {

namespace {

// Sequential reads through a small buffer, so that walking markers and fill
// bytes one at a time costs no system call per byte. Every read is checked
// against the file: asking for bytes past its end is a short read.
class bufferedreader {
public:
    explicit bufferedreader(bytereader& file) : file_(file) {}

    bool get(uint8_t* out, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            if (pos_ < bufstart_ || pos_ >= bufstart_ + buflen_) {
                if (!fill()) {
                    return false;
                }
            }
            out[i] = buf_[static_cast<size_t>(pos_ - bufstart_)];
            ++pos_;
        }
        return true;
    }
    bool byte(uint8_t& b) { return get(&b, 1); }
    // A big-endian 16-bit number.
    bool word(uint16_t& w) {
        uint8_t b[2];
        if (!get(b, 2)) {
            return false;
        }
        w = static_cast<uint16_t>(b[0] << 8 | b[1]);
        return true;
    }
    // Moves to an absolute position; a position past the end of the file is
    // a short read.
    bool seek(uint64_t pos) {
        if (pos > file_.size()) {
            why_ = fault::truncated();
            return false;
        }
        pos_ = pos;
        return true;
    }
    uint64_t position() const { return pos_; }
    fault why() const { return why_ ? why_ : fault::truncated(); }

private:
    bool fill() {
        if (pos_ >= file_.size()) {
            why_ = fault::truncated();
            return false;
        }
        const size_t want =
            static_cast<size_t>(std::min<uint64_t>(buf_.size(), file_.size() - pos_));
        if (!file_.seek(pos_) || !file_.read(buf_.data(), want)) {
            why_ = file_.why();
            buflen_ = 0;
            return false;
        }
        bufstart_ = pos_;
        buflen_ = want;
        return true;
    }

    bytereader& file_;
    std::array<uint8_t, 4096> buf_{};
    uint64_t bufstart_ = 0;
    size_t buflen_ = 0;
    uint64_t pos_ = 0;
    fault why_;
};

constexpr uint8_t kSOF0 = 0xC0; // baseline
constexpr uint8_t kSOF1 = 0xC1; // extended sequential
constexpr uint8_t kSOF2 = 0xC2; // progressive
constexpr uint8_t kDHT = 0xC4;
constexpr uint8_t kDQT = 0xDB;
constexpr uint8_t kSOI = 0xD8;
constexpr uint8_t kEOI = 0xD9;
constexpr uint8_t kSOS = 0xDA;
constexpr uint8_t kAPP0 = 0xE0;
constexpr uint8_t kAPP1 = 0xE1;
constexpr uint8_t kAPP2 = 0xE2;
constexpr uint8_t kAPP14 = 0xEE;
constexpr uint8_t kTEM = 0x01;

// Frame types whose data PDF readers cannot decode (DCTDecode covers only
// Huffman-coded sequential and progressive frames); nullptr for the frame
// types that are read and for markers that are no frame header at all.
const char* unsupportedcoding(uint8_t code) {
    switch (code) {
    case 0xC3:
        return "lossless";
    case 0xC5:
        return "hierarchical";
    case 0xC6:
        return "hierarchical, progressive";
    case 0xC7:
        return "hierarchical, lossless";
    case 0xC9:
        return "arithmetic";
    case 0xCA:
        return "arithmetic, progressive";
    case 0xCB:
        return "arithmetic, lossless";
    case 0xCD:
        return "hierarchical, arithmetic";
    case 0xCE:
        return "hierarchical, arithmetic, progressive";
    case 0xCF:
        return "hierarchical, arithmetic, lossless";
    default:
        return nullptr;
    }
}

bool standalone(uint8_t code) {
    return code == kTEM || (code >= 0xD0 && code <= 0xD7);
}

// Dots per centimetre to dots per inch, held at the top of 16 bits.
uint16_t cmtoinch(uint16_t density) {
    return dotsperinch(density, 1, perunit::centimetre);
}

// Reads the next marker code: 0xFF, any number of 0xFF fill bytes, then the
// code. False with 'invalid' set when the byte where a marker must start is
// not 0xFF; false with 'invalid' clear when the file ends.
bool nextmarker(bufferedreader& in, uint8_t& code, bool& invalid) {
    invalid = false;
    uint8_t b = 0;
    if (!in.byte(b)) {
        return false;
    }
    if (b != 0xFF) {
        invalid = true;
        return false;
    }
    do {
        if (!in.byte(b)) {
            return false;
        }
    } while (b == 0xFF);
    code = b;
    return true;
}

// Reads an APP14 segment's body (the length field is behind). Adobe's
// segment holds the identifier, version, two flag words and the transform
// byte; a shorter one or another identifier is left alone. False when the
// file ends inside it.
bool readadobe(bufferedreader& in, uint16_t length, bool& adobe, uint8_t& transform) {
    uint8_t app14[12];
    if (length < 2 + sizeof app14) {
        return true;
    }
    if (!in.get(app14, sizeof app14)) {
        return false;
    }
    if (std::memcmp(app14, "Adobe", 5) == 0) {
        adobe = true;
        transform = app14[11];
    }
    return true;
}

// Notes where an APP1 or APP2 segment's body lies; `start` is the position of
// its length field.
void noteapp(std::vector<jpeginfo::appsegment>& segments, uint8_t code, uint64_t start,
             uint16_t length) {
    if ((code == kAPP1 || code == kAPP2) && segments.size() < jpeginfo::kMaxAppSegments) {
        segments.push_back({code, start + 2, static_cast<uint16_t>(length - 2)});
    }
}

} // namespace

namespace {

// The coding tables defined before the first scan, checked as libjpeg checks
// them when it decodes, so that a file no reader can draw is refused rather
// than embedded.
struct codingtables {
    uint8_t quantisation = 0;     // bit n: quantisation table n is defined
    uint8_t unusable = 0;         // bit 4 * class + n: Huffman table n of the class cannot be used
    std::array<uint8_t, 4> ids{}; // the frame's components
    std::array<uint8_t, 4> quantisationof{};

    // Takes a DHT or DQT segment's body; why the file is refused when its
    // layout is broken, else empty.
    std::string take(uint8_t code, std::span<const uint8_t> body) {
        const std::string broken = code == kDHT ? "Invalid JPEG Huffman table definition"
                                                : "Invalid JPEG quantisation table definition";
        for (size_t at = 0; at < body.size();) {
            const uint8_t which = body[at] & 0x0F;
            const uint8_t kind = body[at] >> 4;
            if (which > 3 || kind > 1) {
                return broken;
            }
            if (code == kDQT) {
                const size_t size = 1 + 64 * (kind + size_t{1});
                if (body.size() - at < size) {
                    return broken;
                }
                quantisation |= static_cast<uint8_t>(1u << which);
                at += size;
                continue;
            }
            if (body.size() - at < 17) {
                return broken;
            }
            const std::span<const uint8_t> counts = body.subspan(at + 1, 16);
            size_t symbols = 0;
            // No code may be all ones, nor longer than its length allows.
            bool usable = true;
            for (uint32_t length = 1, next = 0; length <= 16; ++length, next <<= 1) {
                symbols += counts[length - 1];
                next += counts[length - 1];
                usable = usable && next < (1u << length);
            }
            if (symbols > 256 || symbols > body.size() - at - 17) {
                return broken;
            }
            // A DC difference has at most 15 bits.
            const std::span<const uint8_t> values = body.subspan(at + 17, symbols);
            usable = usable && (kind == 1 || std::all_of(values.begin(), values.end(),
                                                         [](uint8_t v) { return v <= 15; }));
            const auto bit = static_cast<uint8_t>(1u << (4 * kind + which));
            unusable = usable ? unusable & ~bit : unusable | bit;
            at += 17 + symbols;
        }
        return {};
    }

    // Why the first scan (a SOS segment's body) cannot be decoded; empty
    // when it can.
    std::string scanproblem(std::span<const uint8_t> scan) const {
        const size_t count = scan.empty() ? 0 : scan[0];
        if (count == 0 || scan.size() < 4 + 2 * count) {
            return "Invalid JPEG scan header";
        }
        const bool coefficients = scan[3 + 2 * count] > 0; // the scan codes AC coefficients
        for (size_t i = 0; i < count; ++i) {
            const auto at = std::find(ids.begin(), ids.end(), scan[1 + 2 * i]);
            if (at == ids.end()) {
                return "Invalid JPEG scan header";
            }
            const uint8_t table = quantisationof[static_cast<size_t>(at - ids.begin())];
            if (table > 3 || (quantisation & (1u << table)) == 0) {
                return "Missing JPEG quantisation table " + std::to_string(table);
            }
            const uint8_t dc = scan[2 + 2 * i] >> 4;
            const uint8_t ac = scan[2 + 2 * i] & 0x0F;
            if (dc > 3 || ac > 3 || (unusable & (1u << dc)) != 0 ||
                (coefficients && (unusable & (1u << (4 + ac))) != 0)) {
                return "Bogus JPEG Huffman table (codes that do not fit their lengths)";
            }
        }
        return {};
    }
};

} // namespace

bool jpeginfo::read(bytesource& source, const std::string& name) {
    *this = jpeginfo{};
    bytereader file(source);
    filesize = static_cast<int64_t>(file.size());
    bufferedreader in(file);

    const auto readerror = [&] {
        why = in.why();
        return false;
    };
    const auto refuse = [&](const std::string& what) {
        errortext = what + " in " + name;
        return false;
    };

    uint16_t soi = 0;
    if (!in.word(soi)) {
        return readerror();
    }
    if (soi != (0xFF00 | kSOI)) {
        return false;
    }

    codingtables tables;
    std::vector<uint8_t> body;
    // Reads the body of the segment at `start` of `length` into `body`.
    const auto readbody = [&](uint64_t start, uint16_t length) {
        body.resize(length - size_t{2});
        return in.seek(start + 2) && in.get(body.data(), body.size());
    };

    uint64_t frameend = 0;
    for (;;) {
        uint8_t code = 0;
        bool invalid = false;
        if (!nextmarker(in, code, invalid)) {
            return invalid ? refuse("Invalid JPEG marker") : readerror();
        }
        if (code == kEOI || code == kSOS) {
            return true;
        }
        if (standalone(code)) {
            continue;
        }
        if (code == 0x00 || code == kSOI) {
            // A stuffed zero or a second start of image cannot stand here.
            return refuse("Invalid JPEG marker");
        }
        if (const char* coding = unsupportedcoding(code)) {
            return refuse(std::string("Unsupported JPEG coding (") + coding + ")");
        }

        const uint64_t start = in.position();
        uint16_t length = 0;
        if (!in.word(length)) {
            return readerror();
        }
        if (length < 2) {
            return refuse("Invalid JPEG segment length");
        }

        if (code == kSOF0 || code == kSOF1 || code == kSOF2) {
            uint8_t frame[6];
            if (length < 8) {
                return refuse("Invalid JPEG segment length");
            }
            if (!in.get(frame, sizeof frame)) {
                return readerror();
            }
            const uint8_t precision = frame[0];
            height = static_cast<uint32_t>(frame[1] << 8 | frame[2]);
            width = static_cast<uint32_t>(frame[3] << 8 | frame[4]);
            components = frame[5];
            if (precision != 8) {
                return refuse("Unsupported JPEG coding (" + std::to_string(precision) +
                              "-bit samples)");
            }
            if (components != 1 && components != 3 && components != 4) {
                return refuse("Unsupported number of JPEG colour components (" +
                              std::to_string(components) + ")");
            }
            if (length != 8 + 3 * components) {
                return refuse("Invalid JPEG segment length");
            }
            for (uint8_t c = 0; c < components; ++c) {
                std::array<uint8_t, 3> component{};
                if (!in.get(component.data(), component.size())) {
                    return readerror();
                }
                tables.ids[c] = component[0];
                tables.quantisationof[c] = component[2];
            }
            if (width == 0 || height == 0) {
                // Height 0 means that a DNL marker after the first scan gives
                // it, which PDF readers do not look for.
                return refuse("Unsupported JPEG image size " + std::to_string(width) + " x " +
                              std::to_string(height));
            }
            frameend = start + length;
            break;
        }

        if (code == kAPP0 && length >= 16) {
            uint8_t jfif[14];
            if (!in.get(jfif, sizeof jfif)) {
                return readerror();
            }
            if (std::memcmp(jfif, "JFIF", 5) == 0) {
                const uint8_t units = jfif[7];
                const auto x = static_cast<uint16_t>(jfif[8] << 8 | jfif[9]);
                const auto y = static_cast<uint16_t>(jfif[10] << 8 | jfif[11]);
                if (units == 1) {
                    xdensity = x;
                    ydensity = y;
                } else if (units == 2) {
                    xdensity = cmtoinch(x);
                    ydensity = cmtoinch(y);
                } else {
                    xdensity = ydensity = 0;
                }
            }
        } else if (code == kAPP14 && !readadobe(in, length, adobe, adobetransform)) {
            return readerror();
        } else if (code == kDHT || code == kDQT) {
            if (!readbody(start, length)) {
                return readerror();
            }
            if (const std::string problem = tables.take(code, body); !problem.empty()) {
                return refuse(problem);
            }
        }
        if (!in.seek(start + length)) {
            return readerror();
        }
        noteapp(appsegments, code, start, length);
    }

    // The frame header is read. An Adobe segment may still follow it before
    // the first scan, and it decides how the reader converts the colours, so
    // look on up to the scan. A file that ends, or breaks off, before its
    // first scan holds no picture at all and is refused.
    const auto noscan = [&] { return refuse("No image data (no start of scan)"); };
    if (!in.seek(frameend)) {
        return noscan();
    }
    for (;;) {
        uint8_t code = 0;
        bool invalid = false;
        if (!nextmarker(in, code, invalid) || code == kEOI) {
            return noscan();
        }
        const uint64_t start = in.position();
        if (code == kSOS) {
            uint16_t length = 0;
            if (!in.word(length) || length < 2 || !readbody(start, length)) {
                return noscan();
            }
            const std::string problem = tables.scanproblem(body);
            return problem.empty() || refuse(problem);
        }
        if (standalone(code)) {
            continue;
        }
        uint16_t length = 0;
        if (code == 0x00 || code == kSOI || !in.word(length) || length < 2) {
            return noscan();
        }
        if (code == kDHT || code == kDQT) {
            if (!readbody(start, length)) {
                return noscan();
            }
            if (const std::string problem = tables.take(code, body); !problem.empty()) {
                return refuse(problem);
            }
        }
        if ((code == kAPP14 && !readadobe(in, length, adobe, adobetransform)) ||
            !in.seek(start + length)) {
            return noscan();
        }
        noteapp(appsegments, code, start, length);
    }
}

namespace {

constexpr std::array<uint8_t, 6> kExif{'E', 'x', 'i', 'f', 0, 0};
constexpr std::array<uint8_t, 12> kIcc{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};

// Reads a segment's body; false with `error` set when the read fails.
bool readbody(bytereader& reader, const jpeginfo::appsegment& segment, std::vector<uint8_t>& body,
              fault& error) {
    body.resize(segment.length);
    if (!reader.seek(segment.offset) || !reader.read(body.data(), body.size())) {
        error = reader.why();
        return false;
    }
    return true;
}

bool startswith(const std::vector<uint8_t>& body, std::span<const uint8_t> identifier) {
    return body.size() >= identifier.size() &&
           std::memcmp(body.data(), identifier.data(), identifier.size()) == 0;
}

// The EXIF facts of the first APP1 segment that holds EXIF data.
bool readexifsegment(bytereader& reader, const jpeginfo& probe, exiffacts& facts, fault& error) {
    std::vector<uint8_t> body;
    for (const jpeginfo::appsegment& segment : probe.appsegments) {
        if (segment.code != kAPP1 || segment.length < kExif.size()) {
            continue;
        }
        if (!readbody(reader, segment, body, error)) {
            return false;
        }
        if (startswith(body, kExif)) {
            facts = readexif(body);
            return true;
        }
    }
    return true;
}

// The ICC profile of the APP2 segments: each chunk says its sequence number
// and the chunk count, and the chunks are joined in sequence order. A
// profile with a chunk missing, twice, or counted differently is left out
// (empty): the page then keeps its device colours.
bool readiccsegments(bytereader& reader, const jpeginfo& probe, std::vector<uint8_t>& profile,
                     fault& error) {
    profile.clear();
    std::vector<std::vector<uint8_t>> chunks;
    std::vector<bool> seen;
    std::vector<uint8_t> body;
    bool consistent = true;
    for (const jpeginfo::appsegment& segment : probe.appsegments) {
        if (segment.code != kAPP2 || segment.length < kIcc.size() + 2) {
            continue;
        }
        if (!readbody(reader, segment, body, error)) {
            return false;
        }
        if (!startswith(body, kIcc)) {
            continue;
        }
        const uint8_t sequence = body[kIcc.size()];
        const uint8_t count = body[kIcc.size() + 1];
        if (chunks.empty()) {
            chunks.resize(count);
            seen.resize(count, false);
        }
        if (count == 0 || count != chunks.size() || sequence == 0 || sequence > count ||
            seen[sequence - 1]) {
            consistent = false;
            break;
        }
        seen[sequence - 1] = true;
        chunks[sequence - 1].assign(body.begin() + kIcc.size() + 2, body.end());
    }
    if (!consistent || chunks.empty()) {
        return true;
    }
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (!seen[i]) {
            return true;
        }
    }
    for (const std::vector<uint8_t>& chunk : chunks) {
        profile.insert(profile.end(), chunk.begin(), chunk.end());
    }
    return true;
}

} // namespace

void describejpeg(const jpeginfo& header, imagedesc& out) {
    out.width = clamppixels(header.width);
    out.height = clamppixels(header.height);
    out.pagesinfile = 1;
    out.bitspercomponent = 8;
    out.decodeinverted = false;
    if (header.components == 1) {
        out.colour = colourspace::gray;
    } else if (header.components == 4) {
        out.colour = colourspace::cmyk;
        // Adobe software writes CMYK samples inverted.
        out.decodeinverted = header.adobe;
    } else {
        out.colour = colourspace::rgb;
    }
    out.filter = pdffilter::dct;
}

status readjpegdocument(bytesource& source, const std::string& name, imagedata mode,
                        imagedesc& out) {
    jpeginfo probe;
    if (!probe.read(source, name)) {
        if (probe.why) {
            return status::failed(probe.why);
        }
        if (probe.errortext.empty()) {
            return {OVINPDF_IMAGE_ERROR, name + " is not a JPEG image"};
        }
        return {OVINPDF_IMAGE_ERROR, probe.errortext};
    }
    describejpeg(probe, out);
    out.palette.clear();
    out.ccitt = {};
    out.colortransform = -1;
    out.error.clear();
    out.softmask.reset();
    out.passthrough = true;
    out.reencode.reset();

    bytereader reader(source);
    fault error;
    exiffacts exif;
    if (!readexifsegment(reader, probe, exif, error) ||
        !readiccsegments(reader, probe, out.iccprofile, error)) {
        return status::failed(error);
    }
    out.upright =
        exif.orientation != 0 ? static_cast<orientation>(exif.orientation) : orientation::normal;
    // JFIF's resolution first (units 0 give only the aspect ratio: none), else
    // the EXIF one.
    if (probe.xdensity != 0 && probe.ydensity != 0) {
        out.xdpi = probe.xdensity;
        out.ydpi = probe.ydensity;
    } else {
        out.xdpi = exif.xdpi;
        out.ydpi = exif.ydpi;
    }

    if (probe.filesize > std::numeric_limits<uint32_t>::max()) {
        return status::systemerror(EFBIG);
    }
    if (mode == imagedata::skip) {
        out.data.clear();
        return {};
    }
    if (auto file = source.file()) {
        // The file goes into the PDF as it is: copied when written.
        out.data.clear();
        out.stored = {std::move(file), 0, static_cast<uint64_t>(probe.filesize)};
        return {};
    }
    out.data.resize(static_cast<size_t>(probe.filesize));
    if (!reader.seek(0) || !reader.read(out.data.data(), out.data.size())) {
        return readfailure(reader);
    }
    return {};
}

} // namespace ovin
