// JPEG pages of the document face: the whole file is embedded as it is
// (DCTDecode), described with what a photograph's metadata adds: the EXIF
// orientation and resolution, and the ICC profile split over APP2 segments.
#include "readers/jpeg.h"

#include "readers/bytesource.h"
#include "readers/exif.h"
#include "readers/jpeginfo.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

namespace ovin {

namespace {

constexpr uint8_t kAPP1 = 0xE1;
constexpr uint8_t kAPP2 = 0xE2;
constexpr std::array<uint8_t, 6> kExif{'E', 'x', 'i', 'f', 0, 0};
constexpr std::array<uint8_t, 12> kIcc{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};

// Reads a segment's body; false with `error` set when the read fails.
bool readbody(bytereader& reader, const jpeginfo::appsegment& segment, std::vector<uint8_t>& body,
              int& error) {
    body.resize(segment.length);
    if (!reader.seek(segment.offset) || !reader.read(body.data(), body.size())) {
        error = reader.error();
        return false;
    }
    return true;
}

bool startswith(const std::vector<uint8_t>& body, std::span<const uint8_t> identifier) {
    return body.size() >= identifier.size() &&
           std::memcmp(body.data(), identifier.data(), identifier.size()) == 0;
}

// The EXIF facts of the first APP1 segment that holds EXIF data.
bool readexifsegment(bytereader& reader, const jpeginfo& probe, exiffacts& facts, int& error) {
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
                     int& error) {
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

status readjpegdocument(bytesource& source, const std::string& name, imagedata mode,
                        imagedesc& out) {
    jpeginfo probe;
    if (!probe.read(source, name)) {
        if (probe.ioerror == 0 && probe.errortext.empty()) {
            return {OVINPDF_IMAGE_ERROR, name + " is not a JPEG image"};
        }
        return probefailure(probe.ioerror, probe.errortext);
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
    int error = 0;
    exiffacts exif;
    if (!readexifsegment(reader, probe, exif, error) ||
        !readiccsegments(reader, probe, out.iccprofile, error)) {
        return probefailure(error, {});
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
        return {OVINPDF_IO_ERROR, std::to_string(EFBIG)};
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
        return probefailure(reader.error(), {});
    }
    return {};
}

status probejpegdocpage(const std::string& name, uint32_t, imagedata mode, probecontext&,
                        imagedesc& out) {
    filesource source;
    if (const int error = source.open(name); error != 0) {
        return {OVINPDF_IO_ERROR, std::to_string(error)};
    }
    return readjpegdocument(source, name, mode, out);
}

} // namespace ovin
