#include "pdf/ocrtext.h"

#include "compression/compress.h"
#include "numbers.h"
#include "pdf/pdftext.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ovin {

namespace {

constexpr int kAdvance = 500; // every glyph's width in thousandths of the size

void hex16(std::string& out, uint32_t value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out.push_back(kHex[(value >> shift) & 0xF]);
    }
}

// Big-endian table data.
struct tablewriter {
    std::vector<uint8_t> bytes;
    void u16(uint32_t v) {
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        bytes.push_back(static_cast<uint8_t>(v));
    }
    void s16(int32_t v) { u16(static_cast<uint32_t>(v) & 0xFFFF); }
    void u32(uint32_t v) {
        u16(v >> 16);
        u16(v & 0xFFFF);
    }
};

uint32_t checksum(const std::vector<uint8_t>& data, size_t from, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i < length; i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4; ++k) {
            word =
                word << 8 | (from + i + k < data.size() && i + k < length ? data[from + i + k] : 0);
        }
        sum += word;
    }
    return sum;
}

std::string real(long double v) {
    return formatreal(std::round(v * 1000) / 1000);
}

} // namespace

std::vector<uint8_t> glyphlessfont() {
    struct table {
        const char* tag;
        std::vector<uint8_t> data;
    };
    tablewriter head;
    head.u32(0x00010000);
    head.u32(0x00010000);
    head.u32(0); // checksum adjustment, set below
    head.u32(0x5F0F3CF5);
    head.u16(0x000B);
    head.u16(1000); // units per em
    for (int k = 0; k < 4; ++k) {
        head.u32(0); // created, modified
    }
    head.s16(0);
    head.s16(-200);
    head.s16(kAdvance);
    head.s16(800);
    head.u16(0); // style
    head.u16(8); // lowest readable size
    head.s16(2); // direction hint
    head.s16(0); // short offsets in loca
    head.s16(0); // glyph data format
    tablewriter hhea;
    hhea.u32(0x00010000);
    hhea.s16(800);
    hhea.s16(-200);
    hhea.s16(0);
    hhea.u16(kAdvance);
    hhea.s16(0);
    hhea.s16(0);
    hhea.s16(kAdvance);
    hhea.s16(1);
    hhea.s16(0);
    hhea.s16(0);
    for (int k = 0; k < 5; ++k) {
        hhea.s16(0);
    }
    hhea.u16(2); // advances given
    tablewriter hmtx;
    for (int k = 0; k < 2; ++k) {
        hmtx.u16(kAdvance);
        hmtx.s16(0);
    }
    tablewriter loca;
    for (int k = 0; k < 3; ++k) {
        loca.u16(0); // both glyphs empty
    }
    tablewriter maxp;
    maxp.u32(0x00010000);
    maxp.u16(2);
    for (int k = 0; k < 13; ++k) {
        maxp.u16(k == 4 ? 2 : 0); // one zone besides the twilight one
    }
    tablewriter post;
    post.u32(0x00030000);
    post.u32(0);
    post.s16(-100);
    post.s16(50);
    post.u32(1); // fixed pitch
    for (int k = 0; k < 4; ++k) {
        post.u32(0);
    }
    std::array<table, 7> tables{{{"glyf", {}},
                                 {"head", head.bytes},
                                 {"hhea", hhea.bytes},
                                 {"hmtx", hmtx.bytes},
                                 {"loca", loca.bytes},
                                 {"maxp", maxp.bytes},
                                 {"post", post.bytes}}};
    tablewriter font;
    font.u32(0x00010000);
    font.u16(tables.size());
    font.u16(64); // search range: 4 tables (the power of two below 7) times 16
    font.u16(2);
    font.u16(tables.size() * 16 - 64);
    size_t offset = 12 + tables.size() * 16;
    std::vector<size_t> offsets;
    for (const table& t : tables) {
        for (int k = 0; k < 4; ++k) {
            font.bytes.push_back(static_cast<uint8_t>(t.tag[k]));
        }
        font.u32(checksum(t.data, 0, t.data.size()));
        font.u32(static_cast<uint32_t>(offset));
        font.u32(static_cast<uint32_t>(t.data.size()));
        offsets.push_back(offset);
        offset += (t.data.size() + 3) / 4 * 4;
    }
    for (const table& t : tables) {
        font.bytes.insert(font.bytes.end(), t.data.begin(), t.data.end());
        font.bytes.resize((font.bytes.size() + 3) / 4 * 4);
    }
    const uint32_t adjustment = 0xB1B0AFBA - checksum(font.bytes, 0, font.bytes.size());
    const size_t at = offsets[1] + 8;
    for (int k = 0; k < 4; ++k) {
        font.bytes[at + static_cast<size_t>(k)] = static_cast<uint8_t>(adjustment >> (24 - 8 * k));
    }
    return font.bytes;
}

std::string ocrfont::codes(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        int32_t cp = nextcodepoint(utf8, i);
        if (cp < 0x20) {
            cp = 0xFFFD;
        }
        auto [at, fresh] = codes_.try_emplace(static_cast<char32_t>(cp), 0);
        if (fresh) {
            if (characters_.size() >= 0xFFFE) {
                codes_.erase(at);
                continue;
            }
            characters_.push_back(static_cast<char32_t>(cp));
            at->second = static_cast<uint16_t>(characters_.size());
        }
        hex16(out, at->second);
    }
    return out;
}

void ocrfont::write(pdfoutput& out) const {
    const auto ref = pdfoutput::ref;
    out.beginobject(numbers_[0]);
    out.writeline("<< /Type /Font /Subtype /Type0 /BaseFont /GlyphLessFont /Encoding /Identity-H "
                  "/DescendantFonts [" +
                  ref(numbers_[1]) + "] /ToUnicode " + ref(numbers_[4]) + " >>");
    out.endobject();
    out.beginobject(numbers_[1]);
    out.writeline("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /GlyphLessFont "
                  "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
                  "/FontDescriptor " +
                  ref(numbers_[2]) + " /DW " + std::to_string(kAdvance) + " /CIDToGIDMap " +
                  ref(numbers_[5]) + " >>");
    out.endobject();
    out.beginobject(numbers_[2]);
    out.writeline("<< /Type /FontDescriptor /FontName /GlyphLessFont /Flags 5 /FontBBox [0 -200 " +
                  std::to_string(kAdvance) +
                  " 800] /ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 800 /StemV 80 "
                  "/FontFile2 " +
                  ref(numbers_[3]) + " >>");
    out.endobject();
    const std::vector<uint8_t> file = glyphlessfont();
    out.beginobject(numbers_[3]);
    out.writeline("<< /Length " + std::to_string(file.size()) + " /Length1 " +
                  std::to_string(file.size()) + " >>");
    out.writestream(file.data(), file.size());
    out.endobject();

    std::string cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                       "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                       "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    for (size_t first = 0; first < characters_.size(); first += 100) {
        const size_t n = std::min<size_t>(100, characters_.size() - first);
        cmap += std::to_string(n) + " beginbfchar\n";
        for (size_t k = first; k < first + n; ++k) {
            std::string line = "<";
            hex16(line, static_cast<uint32_t>(k + 1));
            line += "> <";
            auto u = static_cast<uint32_t>(characters_[k]);
            if (u >= 0x10000) {
                u -= 0x10000;
                hex16(line, 0xD800 + (u >> 10));
                hex16(line, 0xDC00 + (u & 0x3FF));
            } else {
                hex16(line, u);
            }
            cmap += line + ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    std::vector<uint8_t> packed;
    zlibencode({reinterpret_cast<const uint8_t*>(cmap.data()), cmap.size()}, 9, packed);
    out.beginobject(numbers_[4]);
    out.writeline("<< /Filter /FlateDecode /Length " + std::to_string(packed.size()) + " >>");
    out.writestream(packed.data(), packed.size());
    out.endobject();

    // Code 0 is the empty .notdef, every other code the one empty glyph.
    std::vector<uint8_t> map((characters_.size() + 1) * 2, 0);
    for (size_t k = 1; k <= characters_.size(); ++k) {
        map[2 * k + 1] = 1;
    }
    zlibencode(map, 9, packed);
    out.beginobject(numbers_[5]);
    out.writeline("<< /Filter /FlateDecode /Length " + std::to_string(packed.size()) + " >>");
    out.writestream(packed.data(), packed.size());
    out.endobject();
}

std::string ocrcontent(const std::vector<ocrword>& words, const affine& touser, int32_t height,
                       ocrfont& font) {
    if (words.empty()) {
        return {};
    }
    std::string out = "q " + real(touser.a) + " " + real(touser.b) + " " + real(touser.c) + " " +
                      real(touser.d) + " " + real(touser.e) + " " + real(touser.f) +
                      " cm BT 3 Tr\n";
    for (const ocrword& word : words) {
        const std::string codes = font.codes(word.text);
        const size_t characters = codes.size() / 4;
        if (characters == 0) {
            continue;
        }
        // The line's height above the baseline is the font's ascent.
        const double size = word.ascent / 0.8;
        const double natural = static_cast<double>(characters) * size * kAdvance / 1000.0;
        const double stretch = 100.0 * (word.right - word.left) / natural;
        out += std::string(ocrfont::kName) + " " + real(size) + " Tf " + real(stretch) +
               " Tz 1 0 0 1 " + std::to_string(word.left) + " " + real(height - word.baseline) +
               " Tm <" + codes + "> Tj\n";
    }
    return out + "ET Q";
}

} // namespace ovin
