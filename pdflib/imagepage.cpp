#include "imagepage.h"

#include "deflate.h"
#include "textutil.h"

#include <vector>

namespace ovin {

namespace {

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

int components(colourspace colour) {
    switch (colour) {
    case colourspace::rgb:
        return 3;
    case colourspace::cmyk:
        return 4;
    default:
        return 1;
    }
}

// The dictionary lines between /Height and /Length.
void writedescription(pdfoutput& out, const imagedesc& image) {
    if (image.bitspercomponent != 0) {
        out.writeline("/BitsPerComponent " + std::to_string(image.bitspercomponent));
    }
    switch (image.colour) {
    case colourspace::none:
        break;
    case colourspace::gray:
        out.writeline("/ColorSpace /DeviceGray");
        break;
    case colourspace::rgb:
        out.writeline("/ColorSpace /DeviceRGB");
        break;
    case colourspace::cmyk:
        out.writeline("/ColorSpace /DeviceCMYK");
        break;
    case colourspace::indexed:
        out.writeline("/ColorSpace [/Indexed /DeviceRGB " +
                      std::to_string(image.palette.size() / 3 - 1) + " <" +
                      hexbytes(image.palette) + ">]");
        break;
    }
    if (image.decodeinverted) {
        std::string decode = "/Decode [";
        for (int c = 0; c < components(image.colour); ++c) {
            decode += c == 0 ? "1 0" : " 1 0";
        }
        out.writeline(decode + "]");
    }
    switch (image.filter) {
    case pdffilter::none:
        break;
    case pdffilter::ccittfax: {
        const ccittparams& p = image.ccitt;
        out.writeline("/Filter /CCITTFaxDecode");
        out.writeline("/DecodeParms << /K " + std::to_string(p.k) + " /Columns " +
                      std::to_string(image.width) + " /Rows " + std::to_string(image.height) +
                      " /BlackIs1 " + (p.blackis1 ? "true" : "false") +
                      (p.encodedbytealign ? " /EncodedByteAlign true" : "") + " >>");
        break;
    }
    case pdffilter::dct:
        out.writeline("/Filter /DCTDecode");
        break;
    }
}

} // namespace

status writeimagepage(pdfoutput& out, const objectplan& plan, int64_t i, const imagedesc& image,
                      const std::string& filename) {
    status result;
    if (!image.error.empty()) {
        result = status(OVINPDF_IMAGE_ERROR, image.error);
    }

    out.beginobject(plan.image(i));
    out.writeline("<</Type /XObject");
    out.writeline("/Subtype /Image");
    out.writeline("/Width " + std::to_string(image.width));
    out.writeline("/Height " + std::to_string(image.height));
    writedescription(out, image);
    out.writeline("/Length " + std::to_string(image.data.size()));
    out.writeline(">>");
    out.writestream(image.data.data(), image.data.size());
    out.endobject();

    const std::string name = "/KTR" + std::to_string(plan.resources(i));
    out.beginobject(plan.resources(i));
    out.writeline(std::string("<< /ProcSet [ /PDF /") +
                  (image.bitspercomponent == 1 ? "ImageB" : "ImageC") + " ]");
    out.writeline("/XObject << " + name + " " + pdfoutput::ref(plan.image(i)) + " >> >>");
    out.endobject();

    const long double w = static_cast<long double>(image.width) / image.xdpi * 72;
    const long double h = static_cast<long double>(image.height) / image.ydpi * 72;
    const std::string content =
        "q " + formatreal(w) + " 0 0 " + formatreal(h) + " 0 0 cm " + name + " Do Q";
    std::vector<uint8_t> streambuf;
    if (deflatestring(content, streambuf) < 0) {
        result = status(OVINPDF_IMAGE_ERROR,
                        "Unable to compress the content stream for file " + filename);
        streambuf.clear();
    }
    out.beginobject(plan.contents(i));
    out.writeline("<</Filter /FlateDecode /Length " + std::to_string(streambuf.size()) + " >>");
    out.writestream(streambuf.data(), streambuf.size());
    out.endobject();

    out.beginobject(plan.page(i));
    out.writeline("<</Type /Page /Parent " + pdfoutput::ref(plan.pagetree()));
    out.writeline("/MediaBox [0 0 " + std::to_string(roundeven(w)) + " " +
                  std::to_string(roundeven(h)) + " ]");
    out.writeline("/Resources " + pdfoutput::ref(plan.resources(i)) + " /Contents " +
                  pdfoutput::ref(plan.contents(i)));
    out.writeline(">>");
    out.endobject();
    return result;
}

} // namespace ovin
