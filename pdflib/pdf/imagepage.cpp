#include "pdf/imagepage.h"

#include "compression/compress.h"
#include "compression/deflate.h"
#include "pdf/pagelayout.h"

#include <cstring>
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

// PDF syntax as lines, written as they are in the classic layout and as one
// line without the spaces that no token needs in the compact one (there
// are no literal strings in what it holds).
class pdflines {
public:
    explicit pdflines(bool compact) : compact_(compact) {}
    bool compact() const { return compact_; }

    void writeline(std::string_view line) {
        if (!compact_) {
            lines_.emplace_back(line);
            return;
        }
        if (lines_.empty()) {
            lines_.emplace_back();
        }
        compactinto(lines_.back(), line);
    }
    void write(pdfoutput& out) const {
        for (const std::string& line : lines_) {
            out.writeline(line);
        }
    }

    // `text` appended to `to` with only the spaces that separate two
    // regular tokens (a number or a name after a name or a number).
    static void compactinto(std::string& to, std::string_view text) {
        static constexpr const char* kDelimiters = "()<>[]{}/%";
        const auto delimiter = [](char c) { return std::strchr(kDelimiters, c) != nullptr; };
        // The start of the text separates like a space.
        for (size_t k = 0; k < text.size(); ++k) {
            const char c = text[k];
            if (c == ' ') {
                continue;
            }
            const bool gap = k == 0 || text[k - 1] == ' ';
            if (gap && !to.empty() && !delimiter(c) && !delimiter(to.back())) {
                to.push_back(' ');
            }
            to.push_back(c);
        }
    }
    static std::string compacted(std::string_view text) {
        std::string to;
        compactinto(to, text);
        return to;
    }

private:
    bool compact_;
    std::vector<std::string> lines_;
};

// The dictionary lines between /Height and /Length. `icc` is the object of
// the image's ICC profile, 0 for none.
void writedescription(pdflines& out, const imagedesc& image, int64_t icc) {
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
                      (p.blackis1 || !out.compact()
                           ? p.blackis1 ? " /BlackIs1 true" : " /BlackIs1 false"
                           : "") +
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
void writeprofile(pdfoutput& out, bool compact, int64_t number, const imagedesc& image) {
    std::vector<uint8_t> packed;
    if (compact) {
        zlibencode(image.iccprofile, 12, packed);
    } else {
        packed = deflatebytes(image.iccprofile);
    }
    out.beginobject(number);
    pdflines dictionary(compact);
    dictionary.writeline("<< /N " + std::to_string(components(image.colour)) + " /Alternate " +
                         devicespace(image.colour) + " /Filter /FlateDecode /Length " +
                         std::to_string(packed.size()) + " >>");
    dictionary.write(out);
    out.writestream(packed.data(), packed.size());
    out.endobject();
}

// An image XObject: its dictionary and data. Extra objects it refers to
// (its profile, its soft mask) are numbered from the plan and written after
// it. The compact layout leaves out /Type, which image streams need not
// have, and the default BlackIs1.
void writeimage(pdfoutput& out, objectplan& plan, int64_t number, const imagedesc& image) {
    const bool compact = plan.compact();
    const int64_t icc = image.iccprofile.empty() || image.colour == colourspace::indexed ||
                                image.colour == colourspace::none
                            ? 0
                            : plan.extra();
    const int64_t mask = image.softmask ? plan.extra() : 0;
    out.beginobject(number);
    pdflines dictionary(compact);
    if (compact) {
        dictionary.writeline("<</Subtype /Image");
    } else {
        dictionary.writeline("<</Type /XObject");
        dictionary.writeline("/Subtype /Image");
    }
    dictionary.writeline("/Width " + std::to_string(image.width));
    dictionary.writeline("/Height " + std::to_string(image.height));
    writedescription(dictionary, image, icc);
    if (mask != 0) {
        dictionary.writeline("/SMask " + pdfoutput::ref(mask));
    }
    dictionary.writeline("/Length " + std::to_string(image.streamlength()));
    dictionary.writeline(">>");
    dictionary.write(out);
    if (image.stored.file) {
        out.copystream(image.stored.file->get(), image.stored.offset, image.stored.length);
    } else {
        out.writestream(image.data.data(), image.data.size());
    }
    out.endobject();
    if (icc != 0) {
        writeprofile(out, compact, icc, image);
    }
    if (mask != 0) {
        writeimage(out, plan, mask, *image.softmask);
    }
}

} // namespace

status writeimagepage(pdfoutput& out, objectplan& plan, int64_t i, const imagedesc& image,
                      const pagelayout& layout, const std::string& filename, const pagetext* text) {
    status result;
    const bool withtext = text != nullptr && !text->content.empty();
    if (!image.error.empty()) {
        result = status(OVINPDF_IMAGE_ERROR, image.error);
    }
    writeimage(out, plan, plan.image(i), image);
    const bool compact = plan.compact();

    // The compact layout names the image /I in resources that the page
    // object holds; the classic one writes them as an object of their own.
    const std::string name = compact ? "/I" : "/KTR" + std::to_string(plan.resources(i));
    std::string xobject = "/XObject << " + name + " " + pdfoutput::ref(plan.image(i)) + " >>";
    if (withtext) {
        xobject += " /Font << /OCR " + pdfoutput::ref(text->font) + " >>";
    }
    if (!compact) {
        out.beginobject(plan.resources(i));
        out.writeline(std::string("<< /ProcSet [ /PDF /") +
                      (image.bitspercomponent == 1 ? "ImageB" : "ImageC") + " ]");
        out.writeline(xobject + " >>");
        out.endobject();
    }

    const pageplacement placed = placeimage(image, layout, name);
    std::string content = compact ? pdflines::compacted(placed.content) : placed.content;
    if (withtext) {
        content += "\n" + text->content;
    }
    // The compact layout keeps the few bytes of the content as they are
    // where compressing does not make them fewer, and does not try with a
    // content too short to gain more than the filter's name costs.
    constexpr size_t kWorthCompressing = 128;
    std::vector<uint8_t> streambuf;
    if ((!compact || content.size() >= kWorthCompressing) &&
        deflatestring(content, streambuf) < 0) {
        result = status(OVINPDF_IMAGE_ERROR,
                        "Unable to compress the content stream for file " + filename);
        streambuf.clear();
    }
    static constexpr std::string_view kFlate = "/Filter /FlateDecode ";
    out.beginobject(plan.contents(i));
    if (compact && (streambuf.empty() ||
                    content.size() <= streambuf.size() + pdflines::compacted(kFlate).size())) {
        out.writeline("<</Length " + std::to_string(content.size()) + ">>");
        out.writestream(content);
    } else {
        pdflines dictionary(compact);
        dictionary.writeline("<<" + std::string(kFlate) + "/Length " +
                             std::to_string(streambuf.size()) + " >>");
        dictionary.write(out);
        out.writestream(streambuf.data(), streambuf.size());
    }
    out.endobject();

    out.beginobject(plan.page(i));
    pdflines page(compact);
    page.writeline("<</Type /Page /Parent " + pdfoutput::ref(plan.pagetree()));
    page.writeline("/MediaBox " + placed.mediabox);
    if (placed.rotate != 0) {
        page.writeline("/Rotate " + std::to_string(placed.rotate));
    }
    if (compact) {
        page.writeline("/Resources << " + xobject + " >> /Contents " +
                       pdfoutput::ref(plan.contents(i)));
    } else {
        page.writeline("/Resources " + pdfoutput::ref(plan.resources(i)) + " /Contents " +
                       pdfoutput::ref(plan.contents(i)));
    }
    page.writeline(">>");
    page.write(out);
    out.endobject();
    return result;
}

} // namespace ovin
