#include "pdf/textfont.h"

#include "compression/compress.h"
#include "numbers.h"
#include "pdf/pdftext.h"

#include <fontconfig/fontconfig.h>
#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>

namespace ovin {

namespace {

// fontconfig's configuration is loaded once for the process.
FcConfig* fontconfig() {
    static std::once_flag once;
    static FcConfig* config = nullptr;
    std::call_once(once, [] {
        if (FcInit() == FcTrue) {
            config = FcConfigGetCurrent();
        }
    });
    return config;
}

struct fontsetdeleter {
    void operator()(FcFontSet* set) const { FcFontSetDestroy(set); }
};
struct patterndeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};

// The characters a text page draws: line breaks and other control
// characters are not drawn.
std::set<uint32_t> drawncharacters(const std::vector<std::string_view>& texts) {
    std::set<uint32_t> out;
    for (std::string_view text : texts) {
        for (size_t i = 0; i < text.size();) {
            const int32_t cp = nextcodepoint(text, i);
            if (cp >= 0x20 && !(cp >= 0x7F && cp < 0xA0)) {
                out.insert(static_cast<uint32_t>(cp));
            }
        }
    }
    return out;
}

std::string hexcodepoint(uint32_t cp) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", cp);
    return text;
}

void hex16(std::string& out, uint32_t value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out.push_back(kHex[(value >> shift) & 0xF]);
    }
}

// The UTF-16BE hex digits of a text, for the ToUnicode map.
std::string utf16hex(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) {
        auto u = static_cast<uint32_t>(c);
        if (u >= 0x10000) {
            u -= 0x10000;
            hex16(out, 0xD800 + (u >> 10));
            hex16(out, 0xDC00 + (u & 0x3FF));
        } else {
            hex16(out, u);
        }
    }
    return out;
}

// A big-endian signed 16-bit value of a font table, 0 past its end.
int32_t tablevalue(hb_blob_t* table, size_t at) {
    unsigned int length = 0;
    const char* data = hb_blob_get_data(table, &length);
    if (data == nullptr || at + 2 > length) {
        return 0;
    }
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint8_t>(data[at]) << 8 |
                                                      static_cast<uint8_t>(data[at + 1])));
}

// A PDF name of the characters PostScript names may hold.
std::string pdfname(std::string_view text) {
    std::string out;
    for (char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_') {
            out.push_back(c);
        }
    }
    return out.empty() ? "Font" : out;
}

} // namespace

struct textfont::handles {
    hb_blob_t* blob = nullptr;
    hb_face_t* face = nullptr;
    hb_font_t* font = nullptr;
    ~handles() {
        hb_font_destroy(font);
        hb_face_destroy(face);
        hb_blob_destroy(blob);
    }
};

textfont::~textfont() = default;

status textfont::find(const std::vector<std::string_view>& texts, std::unique_ptr<textfont>& font) {
    const std::set<uint32_t> wanted = drawncharacters(texts);
    FcConfig* config = fontconfig();
    if (config == nullptr) {
        return {OVINPDF_IMAGE_ERROR, "the font configuration (fontconfig) cannot be loaded"};
    }
    // DejaVu Sans first, then the installed fonts in fontconfig's order of
    // likeness; the first TrueType font that has every character is taken.
    const std::unique_ptr<FcPattern, patterndeleter> pattern(
        FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans")));
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultMatch;
    const std::unique_ptr<FcFontSet, fontsetdeleter> fonts(
        FcFontSort(config, pattern.get(), FcFalse, nullptr, &result));
    uint32_t lacking = wanted.empty() ? 0 : *wanted.begin();
    size_t mostfound = 0;
    for (int k = 0; fonts && k < fonts->nfont; ++k) {
        FcPattern* candidate = fonts->fonts[k];
        FcCharSet* charset = nullptr;
        FcChar8* file = nullptr;
        FcChar8* format = nullptr;
        int index = 0;
        if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &charset) != FcResultMatch ||
            FcPatternGetString(candidate, FC_FILE, 0, &file) != FcResultMatch ||
            FcPatternGetString(candidate, FC_FONTFORMAT, 0, &format) != FcResultMatch ||
            std::string_view(reinterpret_cast<const char*>(format)) != "TrueType") {
            continue;
        }
        FcPatternGetInteger(candidate, FC_INDEX, 0, &index);
        size_t found = 0;
        for (uint32_t cp : wanted) {
            if (FcCharSetHasChar(charset, cp) == FcFalse) {
                if (found >= mostfound) {
                    lacking = cp;
                    mostfound = found;
                }
                break;
            }
            ++found;
        }
        if (found < wanted.size()) {
            continue;
        }
        auto made = std::make_unique<textfont>();
        made->hb_ = std::make_unique<handles>();
        made->hb_->blob = hb_blob_create_from_file_or_fail(reinterpret_cast<const char*>(file));
        if (made->hb_->blob == nullptr) {
            continue;
        }
        made->hb_->face = hb_face_create(made->hb_->blob, static_cast<unsigned int>(index));
        made->hb_->font = hb_font_create(made->hb_->face);
        made->upem_ = static_cast<int32_t>(std::max(16U, hb_face_get_upem(made->hb_->face)));
        FcChar8* family = nullptr;
        FcChar8* postscript = nullptr;
        if (FcPatternGetString(candidate, FC_FAMILY, 0, &family) == FcResultMatch) {
            made->family_ = reinterpret_cast<const char*>(family);
        }
        if (FcPatternGetString(candidate, FC_POSTSCRIPT_NAME, 0, &postscript) == FcResultMatch) {
            made->postscriptname_ = pdfname(reinterpret_cast<const char*>(postscript));
        } else {
            made->postscriptname_ = pdfname(made->family_);
        }
        font = std::move(made);
        return {};
    }
    return {OVINPDF_IMAGE_ERROR,
            "no installed font has every character of the text pages: none has " +
                hexcodepoint(lacking) +
                " with the others (fonts-noto-core and fonts-droid-fallback have most scripts)"};
}

double textfont::advance(int32_t codepoint, double size) const {
    hb_codepoint_t gid = 0;
    if (codepoint < 0 ||
        hb_font_get_nominal_glyph(hb_->font, static_cast<hb_codepoint_t>(codepoint), &gid) == 0) {
        return 0;
    }
    return hb_font_get_glyph_h_advance(hb_->font, gid) * size / upem_;
}

std::string textfont::drawline(std::string_view utf8, double size, int32_t x, int32_t y) {
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_add_utf8(buffer, utf8.data(), static_cast<int>(utf8.size()), 0,
                       static_cast<int>(utf8.size()));
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(hb_->font, buffer, nullptr, 0);
    unsigned int count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* position = hb_buffer_get_glyph_positions(buffer, &count);
    // Where each cluster's text ends: at the next cluster in logical order.
    std::vector<uint32_t> starts;
    for (unsigned int g = 0; g < count; ++g) {
        starts.push_back(info[g].cluster);
    }
    std::sort(starts.begin(), starts.end());
    std::string glyphs = "[<";
    for (unsigned int g = 0; g < count; ++g) {
        const uint32_t gid = info[g].codepoint;
        const hb_position_t natural = hb_font_get_glyph_h_advance(hb_->font, gid);
        auto [at, fresh] = used_.try_emplace(gid);
        if (fresh) {
            at->second.width = static_cast<int32_t>(std::lround(natural * 1000.0 / upem_));
            const auto next = std::upper_bound(starts.begin(), starts.end(), info[g].cluster);
            const size_t end = next == starts.end() ? utf8.size() : *next;
            const std::string_view text = utf8.substr(info[g].cluster, end - info[g].cluster);
            for (size_t i = 0; i < text.size();) {
                const int32_t cp = nextcodepoint(text, i);
                at->second.text.push_back(static_cast<char32_t>(cp < 0 ? 0xFFFD : cp));
            }
        }
        hex16(glyphs, gid);
        // Kerning and the like move the next glyph from where the width
        // puts it.
        if (position[g].x_advance != natural) {
            glyphs +=
                "> " +
                std::to_string(std::lround((natural - position[g].x_advance) * 1000.0 / upem_)) +
                " <";
        }
    }
    glyphs += ">] TJ";
    hb_buffer_destroy(buffer);
    return "BT\r\n/F1 " + formatreal(size) + " Tf\r\n" + std::to_string(x) + " " +
           std::to_string(y) + " Td\r\n" + glyphs + "\r\nET";
}

std::string textfont::type0(const std::vector<int64_t>& numbers) const {
    return "<< /Type /Font /Subtype /Type0 /BaseFont /OVINPD+" + postscriptname_ +
           " /Encoding /Identity-H /DescendantFonts [" + pdfoutput::ref(numbers[0]) +
           "] /ToUnicode " + pdfoutput::ref(numbers[3]) + " >>";
}

status textfont::write(pdfoutput& out, const std::vector<int64_t>& numbers) const {
    // The subset keeps the glyph numbers, which the pages' text uses.
    hb_subset_input_t* input = hb_subset_input_create_or_fail();
    if (input == nullptr) {
        return status::systemerror(ENOMEM);
    }
    hb_set_t* keep = hb_subset_input_glyph_set(input);
    hb_set_add(keep, 0);
    for (const auto& [gid, g] : used_) {
        hb_set_add(keep, gid);
    }
    hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_RETAIN_GIDS);
    hb_face_t* subset = hb_subset_or_fail(hb_->face, input);
    hb_subset_input_destroy(input);
    if (subset == nullptr) {
        return {OVINPDF_IMAGE_ERROR, "the font " + family_ + " cannot be subset"};
    }
    hb_blob_t* blob = hb_face_reference_blob(subset);
    unsigned int length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    std::vector<uint8_t> file(data, data + length);
    hb_blob_destroy(blob);
    hb_face_destroy(subset);

    hb_blob_t* head = hb_face_reference_table(hb_->face, HB_TAG('h', 'e', 'a', 'd'));
    hb_blob_t* os2 = hb_face_reference_table(hb_->face, HB_TAG('O', 'S', '/', '2'));
    const auto scaled = [&](int32_t v) { return std::to_string(std::lround(v * 1000.0 / upem_)); };
    const std::string bbox = "[" + scaled(tablevalue(head, 36)) + " " +
                             scaled(tablevalue(head, 38)) + " " + scaled(tablevalue(head, 40)) +
                             " " + scaled(tablevalue(head, 42)) + "]";
    const int32_t ascent = tablevalue(os2, 68);
    const int32_t descent = tablevalue(os2, 70);
    const int32_t capheight = tablevalue(os2, 0) >= 2 ? tablevalue(os2, 88) : ascent;
    hb_blob_destroy(head);
    hb_blob_destroy(os2);

    std::string widths = "[";
    for (const auto& [gid, g] : used_) {
        widths += std::to_string(gid) + " [" + std::to_string(g.width) + "] ";
    }
    widths += "]";
    out.beginobject(numbers[0]);
    out.writeline("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /OVINPD+" + postscriptname_ +
                  " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
                  " /FontDescriptor " +
                  pdfoutput::ref(numbers[1]) + " /CIDToGIDMap /Identity /W " + widths + " >>");
    out.endobject();

    out.beginobject(numbers[1]);
    out.writeline("<< /Type /FontDescriptor /FontName /OVINPD+" + postscriptname_ +
                  " /Flags 4 /FontBBox " + bbox + " /ItalicAngle 0 /Ascent " + scaled(ascent) +
                  " /Descent " + scaled(descent) + " /CapHeight " + scaled(capheight) +
                  " /StemV 80 /FontFile2 " + pdfoutput::ref(numbers[2]) + " >>");
    out.endobject();

    std::vector<uint8_t> packed;
    if (!zlibencode(file, 9, packed)) {
        return status::systemerror(ENOMEM);
    }
    out.beginobject(numbers[2]);
    out.writeline("<< /Length " + std::to_string(packed.size()) +
                  " /Filter /FlateDecode /Length1 " + std::to_string(file.size()) + " >>");
    out.writestream(packed.data(), packed.size());
    out.endobject();

    std::string cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                       "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                       "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<std::pair<uint32_t, const std::u32string*>> mapped;
    for (const auto& [gid, g] : used_) {
        if (!g.text.empty()) {
            mapped.emplace_back(gid, &g.text);
        }
    }
    for (size_t first = 0; first < mapped.size(); first += 100) {
        const size_t n = std::min<size_t>(100, mapped.size() - first);
        cmap += std::to_string(n) + " beginbfchar\n";
        for (size_t k = first; k < first + n; ++k) {
            std::string code;
            hex16(code, mapped[k].first);
            cmap += "<" + code + "> <" + utf16hex(*mapped[k].second) + ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    out.beginobject(numbers[3]);
    out.writeline("<< /Length " + std::to_string(cmap.size()) + " >>");
    out.writestream(cmap);
    out.endobject();
    return {};
}

} // namespace ovin
