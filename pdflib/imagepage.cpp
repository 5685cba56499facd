#include "imagepage.h"

#include "deflate.h"
#include "pagelayout.h"
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

const char* devicespace(colourspace colour) {
    switch (colour) {
    case colourspace::gray:
        return "/DeviceGray";
    case colourspace::rgb:
        return "/DeviceRGB";
    case colourspace::cmyk:
        return "/DeviceCMYK";
    default:
        return "";
    }
}

std::string predictorparms(const predictorparams& p) {
    return "/DecodeParms << /Predictor " + std::to_string(p.predictor) + " /Colors " +
           std::to_string(p.colors) + " /BitsPerComponent " + std::to_string(p.bitspercomponent) +
           " /Columns " + std::to_string(p.columns) + " >>";
}

// The dictionary lines between /Height and /Length. `icc` is the object of
// the image's ICC profile, 0 for none.
void writedescription(pdfoutput& out, const imagedesc& image, int64_t icc) {
    if (image.bitspercomponent != 0) {
        out.writeline("/BitsPerComponent " + std::to_string(image.bitspercomponent));
    }
    switch (image.colour) {
    case colourspace::none:
        break;
    case colourspace::gray:
    case colourspace::rgb:
    case colourspace::cmyk:
        if (icc != 0) {
            out.writeline("/ColorSpace [/ICCBased " + pdfoutput::ref(icc) + "]");
        } else {
            out.writeline(std::string("/ColorSpace ") + devicespace(image.colour));
        }
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
        if (image.colortransform >= 0) {
            out.writeline("/DecodeParms << /ColorTransform " +
                          std::to_string(image.colortransform) + " >>");
        }
        break;
    case pdffilter::flate:
    case pdffilter::lzw:
        out.writeline(image.filter == pdffilter::flate ? "/Filter /FlateDecode"
                                                       : "/Filter /LZWDecode");
        if (image.predictor.predictor != 1) {
            out.writeline(predictorparms(image.predictor));
        }
        break;
    case pdffilter::runlength:
        out.writeline("/Filter /RunLengthDecode");
        break;
    case pdffilter::jpx:
        out.writeline("/Filter /JPXDecode");
        break;
    }
}

// An ICC profile as a stream of its own, compressed.
void writeprofile(pdfoutput& out, int64_t number, const imagedesc& image) {
    const std::vector<uint8_t> packed = deflatebytes(image.iccprofile);
    out.beginobject(number);
    out.writeline("<< /N " + std::to_string(components(image.colour)) + " /Alternate " +
                  devicespace(image.colour) + " /Filter /FlateDecode /Length " +
                  std::to_string(packed.size()) + " >>");
    out.writestream(packed.data(), packed.size());
    out.endobject();
}

// An image XObject: its dictionary and data. Extra objects it refers to
// (its profile, its soft mask) are numbered from the plan and written after
// it.
void writeimage(pdfoutput& out, objectplan& plan, int64_t number, const imagedesc& image) {
    const int64_t icc = image.iccprofile.empty() || image.colour == colourspace::indexed ||
                                image.colour == colourspace::none
                            ? 0
                            : plan.extra();
    const int64_t mask = image.softmask ? plan.extra() : 0;
    out.beginobject(number);
    out.writeline("<</Type /XObject");
    out.writeline("/Subtype /Image");
    out.writeline("/Width " + std::to_string(image.width));
    out.writeline("/Height " + std::to_string(image.height));
    writedescription(out, image, icc);
    if (mask != 0) {
        out.writeline("/SMask " + pdfoutput::ref(mask));
    }
    out.writeline("/Length " + std::to_string(image.data.size()));
    out.writeline(">>");
    out.writestream(image.data.data(), image.data.size());
    out.endobject();
    if (icc != 0) {
        writeprofile(out, icc, image);
    }
    if (mask != 0) {
        writeimage(out, plan, mask, *image.softmask);
    }
}

} // namespace

status writeimagepage(pdfoutput& out, objectplan& plan, int64_t i, const imagedesc& image,
                      const pagelayout& layout, const std::string& filename) {
    status result;
    if (!image.error.empty()) {
        result = status(OVINPDF_IMAGE_ERROR, image.error);
    }
    writeimage(out, plan, plan.image(i), image);

    const std::string name = "/KTR" + std::to_string(plan.resources(i));
    out.beginobject(plan.resources(i));
    out.writeline(std::string("<< /ProcSet [ /PDF /") +
                  (image.bitspercomponent == 1 ? "ImageB" : "ImageC") + " ]");
    out.writeline("/XObject << " + name + " " + pdfoutput::ref(plan.image(i)) + " >> >>");
    out.endobject();

    const pageplacement placed = placeimage(image, layout, name);
    const std::string& content = placed.content;
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
    out.writeline("/MediaBox " + placed.mediabox);
    if (placed.rotate != 0) {
        out.writeline("/Rotate " + std::to_string(placed.rotate));
    }
    out.writeline("/Resources " + pdfoutput::ref(plan.resources(i)) + " /Contents " +
                  pdfoutput::ref(plan.contents(i)));
    out.writeline(">>");
    out.endobject();
    return result;
}

} // namespace ovin
