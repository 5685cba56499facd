// JPEG test files made with libjpeg-turbo, a decoder to compare rendered pages
// against, and a byte builder for hand-made (often malformed) JPEG streams.
//
//   std::vector<uint8_t> px = ovintest::jpegpattern(64, 48, 3);
//   ovintest::jpegoptions opt;          // colour, JFIF 300 x 300 dpi
//   opt.densityunit = 2;                // dots per centimetre
//   opt.xdensity = opt.ydensity = 118;
//   ovintest::savejpeg(path, ovintest::makejpeg(64, 48, px, opt));
//
//   ovintest::jpegbytes b;              // hand-made stream
//   b.soi().sof(0xC0, 8, 16, 16, 3).eoi();
//
// Pixels are interleaved, rows top first: 1 byte per pixel for grey, 3 (R,G,B)
// for colour, 4 (C,M,Y,K as stored) for CMYK.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace ovintest {

struct jpegmarker {
    uint8_t code = 0; // second byte of the marker, e.g. 0xE1 for APP1
    std::vector<uint8_t> payload;
};

struct jpegoptions {
    int components = 3; // 1 grey, 3 colour (stored as YCbCr), 4 CMYK
    int quality = 90;
    bool progressive = false;
    bool arithmetic = false; // arithmetic coding (a frame type PDF readers cannot decode)
    bool jfif = true;        // write a JFIF APP0 segment
    uint8_t densityunit = 1; // JFIF units: 0 aspect ratio only, 1 dots per inch, 2 per cm
    uint16_t xdensity = 300;
    uint16_t ydensity = 300;
    bool adobe = true;             // CMYK: write the Adobe APP14 segment (libjpeg's default)
    bool exif = false;             // add a small Exif APP1 segment (a TIFF header, no tags)
    std::vector<jpegmarker> extra; // more segments, written after the ones above
};

// An EXIF APP1 payload ("Exif\0\0" and a TIFF structure) whose first
// directory holds the tags that are set (0: left out); resolutions are
// whole pixels per unit.
struct exiftags {
    uint16_t orientation = 0;
    uint32_t xresolution = 0;
    uint32_t yresolution = 0;
    uint16_t unit = 0; // ResolutionUnit: 1 none, 2 inch, 3 centimetre
    bool bigendian = true;
};
std::vector<uint8_t> exifpayload(const exiftags& tags);

// An ICC profile as APP2 segments ("ICC_PROFILE\0", sequence number, count),
// split into `chunks` pieces of nearly equal size, in order.
std::vector<jpegmarker> iccmarkers(const std::vector<uint8_t>& profile, size_t chunks);

// A JPEG file of the given pixels (width * height * components bytes).
std::vector<uint8_t> makejpeg(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixels,
                              const jpegoptions& options = {});

// A smooth deterministic test picture with some edges, for any component count.
std::vector<uint8_t> jpegpattern(uint32_t width, uint32_t height, int components);

struct decodedjpeg {
    bool headerok = false; // the header up to the first scan was read
    bool ok = false;       // the whole image was decoded
    std::string error;     // libjpeg's message when not ok
    uint32_t width = 0, height = 0;
    int components = 0; // as stored in the file
    bool adobe = false; // an Adobe APP14 segment was seen
    uint8_t adobetransform = 0;
    std::vector<uint8_t> pixels; // grey, RGB or CMYK (as stored), rows top first
};

// Decodes a JPEG held in memory (or only its header) with libjpeg-turbo.
decodedjpeg decodejpeg(const std::vector<uint8_t>& bytes, bool headeronly = false);
decodedjpeg decodejpegfile(const std::string& path, bool headeronly = false);

// Writes bytes to a file; false when that fails.
bool savejpeg(const std::string& path, const std::vector<uint8_t>& bytes);

// Builds a JPEG stream byte by byte. Lengths are written as given, so any
// segment can be made wrong on purpose.
class jpegbytes {
public:
    jpegbytes& soi() { return marker(0xD8); }
    jpegbytes& eoi() { return marker(0xD9); }
    jpegbytes& marker(uint8_t code);
    // A segment with its correct length field (payload size + 2).
    jpegbytes& segment(uint8_t code, const std::vector<uint8_t>& payload);
    // A segment whose length field is 'length', whatever the payload size.
    jpegbytes& segment(uint8_t code, uint16_t length, const std::vector<uint8_t>& payload);
    // A JFIF APP0: identifier, version 1.02, units, densities, no thumbnail;
    // 'thumbnail' extra bytes are appended (with the length to match).
    jpegbytes& jfif(uint8_t units, uint16_t x, uint16_t y, size_t thumbnail = 0);
    // An Adobe APP14 with the given transform byte.
    jpegbytes& adobe(uint8_t transform);
    // A frame header (SOFn) with 'components' component entries.
    jpegbytes& sof(uint8_t code, uint8_t precision, uint16_t height, uint16_t width,
                   uint8_t components);
    // A start of scan with a minimal one-component header (no data follows).
    jpegbytes& sos();
    jpegbytes& raw(std::initializer_list<uint8_t> bytes);
    jpegbytes& raw(const std::vector<uint8_t>& bytes);

    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    void word(uint16_t w);
    std::vector<uint8_t> bytes_;
};

} // namespace ovintest
