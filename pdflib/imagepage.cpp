#include "imagepage.h"

#include "deflate.h"
#include "textutil.h"

#include <algorithm>
#include <vector>

namespace ovin {

namespace {

struct description {
    std::string procset = "ImageC";
    std::vector<std::string> lines; // BitsPerComponent, ColorSpace, Decode, Filter, DecodeParms
    std::string error;              // non-empty when the image cannot be described
};

std::string hexbytes(const std::vector<uint8_t>& bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(hex[b >> 4]);
        out.push_back(hex[b & 0xF]);
    }
    return out;
}

// An indexed colour space over RGB triplets, when the palette fits the depth.
std::string indexedspace(const imgdata& image) {
    const size_t entries = image.palette.size() / 3;
    if (entries == 0 || image.bits > 8 || entries > (size_t{1} << image.bits)) {
        return {};
    }
    return "/ColorSpace [/Indexed /DeviceRGB " + std::to_string(entries - 1) + " <" +
           hexbytes(image.palette) + ">]";
}

// Colour space (and Decode) of 8-bit grey, palette, RGB or CMYK samples.
// JPEG data carries its own component count and no palette.
void colourspace(const imgdata& image, bool jpegdata, const std::string& filename, description& d) {
    if (!jpegdata && image.photometric == 3) {
        std::string indexed = indexedspace(image);
        if (!indexed.empty()) {
            d.lines.push_back(indexed);
            return;
        }
    }
    switch (image.samples) {
    case 1:
        d.lines.emplace_back("/ColorSpace /DeviceGray");
        if (image.photometric == 0) { // 0 means white
            d.lines.emplace_back("/Decode [1 0]");
        }
        return;
    case 3: // RGB; a JPEG decoder turns its YCbCr into RGB itself
        if (jpegdata || image.photometric == 2) {
            d.lines.emplace_back("/ColorSpace /DeviceRGB");
            return;
        }
        break;
    case 4: // CMYK, not RGB with an extra sample
        if (jpegdata || image.photometric == 5) {
            d.lines.emplace_back("/ColorSpace /DeviceCMYK");
            if (image.adobeinverted) {
                d.lines.emplace_back("/Decode [1 0 1 0 1 0 1 0]");
            }
            return;
        }
        break;
    default:
        break;
    }
    d.error = "Unsupported samples per pixel value " + std::to_string(image.samples) +
              " with photometric interpretation " + std::to_string(image.photometric) +
              " in file " + filename;
}

std::string ccittparms(const imgdata& image, int k, bool blackis1, bool bytealign) {
    return "/DecodeParms << /K " + std::to_string(k) + " /Columns " + std::to_string(image.width) +
           " /Rows " + std::to_string(image.height) + " /BlackIs1 " +
           (blackis1 ? "true" : "false") + (bytealign ? " /EncodedByteAlign true" : "") + " >>";
}

description describetiff(const imgdata& image, const std::string& filename) {
    description d;
    const bool ccitt = image.compression >= 2 && image.compression <= 4;
    if (image.bits == 1) {
        d.procset = "ImageB";
        d.lines.emplace_back("/BitsPerComponent 1");
        std::string indexed = image.photometric == 3 ? indexedspace(image) : std::string();
        if (!indexed.empty()) {
            d.lines.push_back(indexed);
        } else {
            d.lines.emplace_back("/ColorSpace /DeviceGray");
            const bool whiteiszero = image.photometric == 0 || image.photometric == -1;
            if (!ccitt && whiteiszero) {
                d.lines.emplace_back("/Decode [1 0]");
            }
        }
    } else if (image.bits == 8) {
        d.lines.emplace_back("/BitsPerComponent 8");
        colourspace(image, image.compression == 6, filename, d);
    } else {
        d.error = "Unsupported bits per sample value " + std::to_string(image.bits) + " in file " +
                  filename;
    }

    // CCITT data decodes black runs to 1 bits whatever the page's
    // photometric interpretation; BlackIs1 tells the reader which bit value
    // the page shows as black.
    const bool blackis1 = !(image.photometric == 0 || image.photometric == -1);
    switch (image.compression) {
    case 1:
        break;
    case 2: // modified Huffman: no EOLs, every row starts on a byte boundary
        d.lines.emplace_back("/Filter /CCITTFaxDecode");
        d.lines.push_back(ccittparms(image, 0, blackis1, true));
        break;
    case 3: {
        // Fill bits before byte-aligned EOLs need no entry: both readers
        // skip them while looking for the EOL, and MuPDF misreads such data
        // when told that lines are byte-aligned.
        const bool twod = (image.t4options & 1U) != 0;
        d.lines.emplace_back("/Filter /CCITTFaxDecode");
        d.lines.push_back(ccittparms(image, twod ? 4 : 0, blackis1, false));
        break;
    }
    case 4:
        d.lines.emplace_back("/Filter /CCITTFaxDecode");
        d.lines.push_back(ccittparms(image, -1, blackis1, false));
        break;
    case 6:
        d.lines.emplace_back("/Filter /DCTDecode");
        break;
    default:
        if (d.error.empty()) {
            d.error = "Unsupported compression type " + std::to_string(image.compression) +
                      " in file " + filename;
        }
    }
    return d;
}

description describejpeg(const imgdata& image) {
    description d;
    d.lines.emplace_back("/BitsPerComponent 8");
    if (image.bits == 1) {
        d.lines.emplace_back("/ColorSpace /DeviceGray");
    } else if (image.bits == 4) {
        d.lines.emplace_back("/ColorSpace /DeviceCMYK");
        if (image.adobeinverted) {
            d.lines.emplace_back("/Decode [1 0 1 0 1 0 1 0]");
        }
    } else {
        d.lines.emplace_back("/ColorSpace /DeviceRGB");
    }
    d.lines.emplace_back("/Filter /DCTDecode");
    return d;
}

description describebitmap(const imgdata& image, const std::string& filename) {
    description d;
    if (image.bits == 1) {
        d.procset = "ImageB";
        d.lines.emplace_back("/BitsPerComponent 1");
        // Bit value 0 shows palette entry 0: black-then-white is plain
        // DeviceGray, white-then-black needs Decode, anything else is an
        // indexed colour space.
        const std::vector<uint8_t>& p = image.palette;
        const std::vector<uint8_t> blackwhite{0, 0, 0, 255, 255, 255};
        const std::vector<uint8_t> whiteblack{255, 255, 255, 0, 0, 0};
        if (p.size() != 6 || p == blackwhite) {
            d.lines.emplace_back("/ColorSpace /DeviceGray");
        } else if (p == whiteblack) {
            d.lines.emplace_back("/ColorSpace /DeviceGray");
            d.lines.emplace_back("/Decode [1 0]");
        } else {
            d.lines.push_back("/ColorSpace [/Indexed /DeviceRGB 1 <" + hexbytes(p) + ">]");
        }
    } else if (image.bits == 8) {
        d.lines.emplace_back("/BitsPerComponent 8");
        d.lines.emplace_back("/ColorSpace /DeviceRGB");
    } else {
        d.error = "Unsupported bits per sample value in file " + filename;
    }
    return d;
}

std::string ref(int64_t object) {
    return std::to_string(object) + " 0 R";
}

} // namespace

int32_t writeimagepage(pdfoutput& out, int32_t i, int32_t n, const imgdata& image,
                       const std::string& filename, std::string& errorarg) {
    const int64_t base = 4 * int64_t{i};
    const description d = image.ext == ".TIF"   ? describetiff(image, filename)
                          : image.ext == ".JPG" ? describejpeg(image)
                                                : describebitmap(image, filename);
    int32_t result = 0;
    if (!d.error.empty()) {
        errorarg = d.error;
        result = -6;
    }

    out.beginobject(static_cast<int32_t>(base + 1));
    out.writeline("<</Type /XObject");
    out.writeline("/Subtype /Image");
    out.writeline("/Width " + std::to_string(image.width));
    out.writeline("/Height " + std::to_string(image.height));
    for (const std::string& line : d.lines) {
        out.writeline(line);
    }
    out.writeline("/Length " + std::to_string(image.datalen));
    out.writeline(">>");
    out.writeline("stream");
    out.write(image.data.data(), std::min<size_t>(image.datalen, image.data.size()));
    out.writeline("endstream");
    out.endobject();

    out.beginobject(static_cast<int32_t>(base + 2));
    out.writeline("<< /ProcSet [ /PDF /" + d.procset + " ]");
    out.writeline("/XObject << /KTR" + std::to_string(base + 2) + " " + ref(base + 1) + " >> >>");
    out.endobject();

    const long double w = static_cast<long double>(image.width) / image.xdpi * 72;
    const long double h = static_cast<long double>(image.height) / image.ydpi * 72;
    const std::string content = "q " + formatreal(w) + " 0 0 " + formatreal(h) + " 0 0 cm /KTR" +
                                std::to_string(base + 2) + " Do Q";
    std::vector<uint8_t> streambuf;
    int64_t length = deflatestring(content, streambuf);
    if (length < 0) {
        errorarg = "Unable to compress the content stream for file " + filename;
        result = -6;
        streambuf.clear();
        length = 0;
    }
    out.beginobject(static_cast<int32_t>(base + 3));
    out.writeline("<</Filter /FlateDecode /Length " + std::to_string(length) + " >>");
    out.writeline("stream");
    out.write(streambuf.data(), streambuf.size());
    out.writeline("endstream");
    out.endobject();

    out.beginobject(static_cast<int32_t>(base + 4));
    out.writeline("<</Type /Page /Parent " + ref(4 * int64_t{n} + 2));
    out.writeline("/MediaBox [0 0 " + std::to_string(roundeven(w)) + " " +
                  std::to_string(roundeven(h)) + " ]");
    out.writeline("/Resources " + ref(base + 2) + " /Contents " + ref(base + 3));
    out.writeline(">>");
    out.endobject();
    return result;
}

} // namespace ovin
