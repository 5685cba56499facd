#include "pdf/metadata.h"

#include "pagelimits.h"
#include "pdf/pdftext.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace ovin {

namespace {

std::tm utc(int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    ::gmtime_r(&t, &parts);
    return parts;
}

std::string formatted(int64_t seconds, const char* format) {
    const std::tm parts = utc(seconds);
    char text[32];
    const size_t n = std::strftime(text, sizeof text, format, &parts);
    return std::string(text, n);
}

std::string xmlescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // Control characters other than tab and line ends are not XML.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') {
                out.push_back(c);
            }
        }
    }
    return out;
}

} // namespace

int64_t stamptime(int64_t requested) {
    if (requested >= 0) {
        return requested;
    }
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != 0) {
        int64_t value = 0;
        const std::string_view text(epoch);
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec == std::errc() && end == text.data() + text.size() && value >= 0 &&
            value <= kLatestDate) {
            return value;
        }
    }
    return static_cast<int64_t>(std::time(nullptr));
}

std::string pdfdate(int64_t seconds) {
    return formatted(seconds, "D:%Y%m%d%H%M%SZ");
}

std::string isodate(int64_t seconds) {
    return formatted(seconds, "%Y-%m-%dT%H:%M:%SZ");
}

std::vector<std::string> infolines(const documentinfo& info, int64_t created, int64_t modified) {
    std::vector<std::string> lines;
    const auto add = [&](const char* key, const std::string& value) {
        if (!value.empty()) {
            lines.push_back(std::string(key) + " " + pdftextstring(value));
        }
    };
    add("/Author", info.author);
    add("/Subject", info.subject);
    add("/Keywords", info.keywords);
    add("/Creator", info.creator);
    lines.push_back("/CreationDate (" + pdfdate(created) + ")");
    lines.push_back("/ModDate (" + pdfdate(modified) + ")");
    return lines;
}

std::string xmppacket(const std::string& title, const std::string& producer,
                      const documentinfo& info, int64_t created, int64_t modified, bool pdfa) {
    std::string x;
    x += "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n";
    x += "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n";
    x += "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
    x += "<rdf:Description rdf:about=\"\"\n";
    x += " xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n";
    x += " xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\"\n";
    x += " xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"";
    x += pdfa ? "\n xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n" : ">\n";
    if (pdfa) {
        x += "<pdfaid:part>2</pdfaid:part>\n<pdfaid:conformance>B</pdfaid:conformance>\n";
    }
    x += "<dc:format>application/pdf</dc:format>\n";
    const auto alt = [&](const char* key, const std::string& value) {
        if (!value.empty()) {
            x += std::string("<") + key + "><rdf:Alt><rdf:li xml:lang=\"x-default\">" +
                 xmlescape(value) + "</rdf:li></rdf:Alt></" + key + ">\n";
        }
    };
    const auto simple = [&](const char* key, const std::string& value) {
        if (!value.empty()) {
            x += std::string("<") + key + ">" + xmlescape(value) + "</" + key + ">\n";
        }
    };
    alt("dc:title", title);
    if (!info.author.empty()) {
        x += "<dc:creator><rdf:Seq><rdf:li>" + xmlescape(info.author) +
             "</rdf:li></rdf:Seq></dc:creator>\n";
    }
    alt("dc:description", info.subject);
    simple("pdf:Keywords", info.keywords);
    simple("pdf:Producer", producer);
    simple("xmp:CreatorTool", info.creator);
    simple("xmp:CreateDate", isodate(created));
    simple("xmp:ModifyDate", isodate(modified));
    x += "</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
    return x;
}

} // namespace ovin
