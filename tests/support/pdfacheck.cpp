#include "pdfacheck.h"

#include "pdftools.h"

#include <algorithm>
#include <cstdlib>
#include <regex>

namespace ovintest {

namespace {

// The value of /Length in an object's dictionary, -1 when it has none
// given directly.
long directlength(const std::string& object) {
    const size_t at = object.find("/Length ");
    if (at == std::string::npos) {
        return -1;
    }
    const char* start = object.c_str() + at + 8;
    char* end = nullptr;
    const long value = std::strtol(start, &end, 10);
    // "/Length 12 0 R" is a reference, not the length.
    return end != nullptr && std::string_view(end).starts_with(" 0 R") ? -1 : value;
}

bool has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

} // namespace

std::vector<std::string> pdfaproblems(const std::filesystem::path& path) {
    std::vector<std::string> problems;
    const auto problem = [&](const std::string& what) { problems.push_back(what); };
    const pdffile pdf = parsepdf(path);
    if (!pdf.error.empty()) {
        problem("the file's structure: " + pdf.error);
        return problems;
    }
    const std::string& bytes = pdf.bytes;

    // A comment of at least four bytes above 127 on the second line.
    const size_t line2 = bytes.find('\n') + 1;
    int high = 0;
    for (size_t k = line2 + 1; k < bytes.size() && bytes[k] != '\r' && bytes[k] != '\n'; ++k) {
        high += static_cast<unsigned char>(bytes[k]) > 127 ? 1 : 0;
    }
    if (bytes[line2] != '%' || high < 4) {
        problem("no comment of four bytes above 127 after the header");
    }
    if (!std::regex_search(pdf.trailer,
                           std::regex("/ID ?\\[ ?<[0-9A-Fa-f]{32}> ?<[0-9A-Fa-f]{32}> ?\\]"))) {
        problem("no file identifier in the trailer");
    }
    if (has(pdf.trailer, "/Encrypt")) {
        problem("encrypted");
    }

    std::string catalog, xmp, info;
    for (const pdfobject& o : pdf.objects) {
        if (has(o.text, "/Type /Catalog")) {
            catalog = o.text;
        }
        if (has(o.text, "/Subtype /XML")) {
            xmp = pdf.stream(o.number);
        }
        if (has(o.text, "/Producer")) {
            info = o.text;
        }
        // Stream data framed by line ends, the length not counting the
        // one before "endstream".
        const size_t keyword = o.text.find(">>\r\nstream");
        if (keyword != std::string::npos) {
            const size_t after = keyword + 10; // past "stream"
            const size_t eol = o.text.compare(after, 2, "\r\n") == 0 ? 2
                               : o.text.compare(after, 1, "\n") == 0 ? 1
                                                                     : 0;
            const long length = directlength(o.text);
            const size_t end = after + eol + static_cast<size_t>(std::max(length, 0L));
            if (eol == 0) {
                problem("object " + std::to_string(o.number) + ": no line end after stream");
            } else if (length >= 0 && o.text.compare(end, 11, "\r\nendstream") != 0 &&
                       o.text.compare(end, 10, "\nendstream") != 0) {
                problem("object " + std::to_string(o.number) +
                        ": no line end before endstream, or a wrong length");
            }
        }
        if (has(o.text, "/LZWDecode")) {
            problem("object " + std::to_string(o.number) + ": LZW data");
        }
        // Device CMYK only as the alternate of an ICC-based space.
        for (size_t at = o.text.find("/DeviceCMYK"); at != std::string::npos;
             at = o.text.find("/DeviceCMYK", at + 1)) {
            const std::string before = o.text.substr(at > 11 ? at - 11 : 0, at > 11 ? 11 : at);
            if (!before.ends_with("/Alternate ") && !before.ends_with("/Alternate")) {
                problem("object " + std::to_string(o.number) + ": device CMYK with an sRGB intent");
                break;
            }
        }
        if (has(o.text, "/Interpolate true") || has(o.text, "/Alternates") || has(o.text, "/OPI")) {
            problem("object " + std::to_string(o.number) + ": an image key PDF/A forbids");
        }
        // Every font embedded: simple fonts and CID fonts have a
        // descriptor, and every descriptor a font file.
        if ((has(o.text, "/Subtype /Type1") || has(o.text, "/Subtype /TrueType") ||
             has(o.text, "/Subtype /CIDFontType")) &&
            !has(o.text, "/FontDescriptor")) {
            problem("object " + std::to_string(o.number) + ": a font that is not embedded");
        }
        if (has(o.text, "/Type /FontDescriptor") && !has(o.text, "/FontFile")) {
            problem("object " + std::to_string(o.number) + ": a font descriptor without its font");
        }
    }
    if (!has(catalog, "/Metadata ")) {
        problem("no metadata in the catalog");
    }
    if (!has(xmp, "<pdfaid:part>2</pdfaid:part>") ||
        !has(xmp, "<pdfaid:conformance>B</pdfaid:conformance>")) {
        problem("the metadata does not say PDF/A-2b");
    }
    if (has(info, "/Title") && !has(xmp, "<dc:title>")) {
        problem("a title in the document information but not in the metadata");
    }
    if (has(info, "/CreationDate") && !has(xmp, "<xmp:CreateDate>")) {
        problem("a creation date in the document information but not in the metadata");
    }
    std::smatch intent;
    if (!std::regex_search(catalog, intent,
                           std::regex("/OutputIntents ?\\[ ?<< ?/Type /OutputIntent /S /GTS_PDFA1 "
                                      ".*/DestOutputProfile ([0-9]+) 0 R"))) {
        problem("no PDF/A output intent");
    } else if (!has(pdf.object(std::atoi(intent[1].str().c_str())), "/N 3")) {
        problem("the output intent's profile is not an RGB one");
    }
    const size_t eof = bytes.rfind("%%EOF");
    if (eof == std::string::npos || bytes.find_first_not_of("\r\n", eof + 5) != std::string::npos) {
        problem("bytes after %%EOF");
    }
    return problems;
}

} // namespace ovintest
