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

bool textfont::open(const std::string& file, unsigned int index, const std::string& family,
                    const std::string& postscriptname) {
    hb_ = std::make_unique<handles>();
    hb_->blob = hb_blob_create_from_file_or_fail(file.c_str());
    if (hb_->blob == nullptr) {
        return false;
    }
    hb_->face = hb_face_create(hb_->blob, index);
    hb_->font = hb_font_create(hb_->face);
    upem_ = static_cast<int32_t>(std::max(16U, hb_face_get_upem(hb_->face)));
    family_ = family;
    postscriptname_ = pdfname(postscriptname.empty() ? family : postscriptname);
    return hb_face_get_glyph_count(hb_->face) > 0;
}

bool textfont::has(int32_t codepoint) const {
    hb_codepoint_t gid = 0;
    return codepoint >= 0 &&
           hb_font_get_nominal_glyph(hb_->font, static_cast<hb_codepoint_t>(codepoint), &gid) != 0;
}

status textfonts::find(const std::vector<std::string_view>& texts,
                       std::unique_ptr<textfonts>& fonts) {
    std::set<uint32_t> missing = drawncharacters(texts);
    FcConfig* config = fontconfig();
    if (config == nullptr) {
        return {OVINPDF_IMAGE_ERROR, "the font configuration (fontconfig) cannot be loaded"};
    }
    // DejaVu Sans first, then the installed TrueType fonts in fontconfig's
    // order of likeness, each taken for the characters the fonts before it
    // lack.
    const std::unique_ptr<FcPattern, patterndeleter> pattern(
        FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans")));
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultMatch;
    const std::unique_ptr<FcFontSet, fontsetdeleter> set(
        FcFontSort(config, pattern.get(), FcFalse, nullptr, &result));
    auto made = std::make_unique<textfonts>();
    for (int k = 0; set && k < set->nfont && (made->fonts_.empty() || !missing.empty()); ++k) {
        FcPattern* candidate = set->fonts[k];
        FcCharSet* charset = nullptr;
        FcChar8* file = nullptr;
        FcChar8* format = nullptr;
        if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &charset) != FcResultMatch ||
            FcPatternGetString(candidate, FC_FILE, 0, &file) != FcResultMatch ||
            FcPatternGetString(candidate, FC_FONTFORMAT, 0, &format) != FcResultMatch ||
            std::string_view(reinterpret_cast<const char*>(format)) != "TrueType") {
            continue;
        }
        std::set<uint32_t> has;
        for (uint32_t cp : missing) {
            if (FcCharSetHasChar(charset, cp) == FcTrue) {
                has.insert(cp);
            }
        }
        if (has.empty() && !made->fonts_.empty()) {
            continue;
        }
        int index = 0;
        FcChar8* family = nullptr;
        FcChar8* postscript = nullptr;
        FcPatternGetInteger(candidate, FC_INDEX, 0, &index);
        FcPatternGetString(candidate, FC_FAMILY, 0, &family);
        FcPatternGetString(candidate, FC_POSTSCRIPT_NAME, 0, &postscript);
        const auto text = [](const FcChar8* s) {
            return s == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(s));
        };
        auto font = std::make_unique<textfont>();
        if (!font->open(text(file), static_cast<unsigned int>(index), text(family),
                        text(postscript))) {
            continue;
        }
        for (uint32_t cp : has) {
            missing.erase(cp);
        }
        made->fonts_.push_back(std::move(font));
    }
    if (made->fonts_.empty()) {
        return {OVINPDF_IMAGE_ERROR, "no TrueType font is installed for the text pages "
                                     "(fonts-dejavu-core has one)"};
    }
    if (!missing.empty()) {
        return {OVINPDF_IMAGE_ERROR,
                "no installed font has the character " + hexcodepoint(*missing.begin()) +
                    " of the text pages (fonts-noto-core and fonts-droid-fallback have most "
                    "scripts)"};
    }
    fonts = std::move(made);
    return {};
}

double textfont::advance(int32_t codepoint, double size) const {
    hb_codepoint_t gid = 0;
    if (codepoint < 0 ||
        hb_font_get_nominal_glyph(hb_->font, static_cast<hb_codepoint_t>(codepoint), &gid) == 0) {
        return 0;
    }
    return hb_font_get_glyph_h_advance(hb_->font, gid) * size / upem_;
}

std::string textfont::drawrun(std::string_view utf8, const std::string& name, double size) {
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
    return "/" + name + " " + formatreal(size) + " Tf\r\n" + glyphs + "\r\n";
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

double textfonts::advance(int32_t codepoint, double size) const {
    for (const auto& font : fonts_) {
        if (font->has(codepoint)) {
            return font->advance(codepoint, size);
        }
    }
    return 0;
}

std::string textfonts::drawline(std::string_view utf8, double size, int32_t x, int32_t y) {
    std::string out = "BT\r\n" + std::to_string(x) + " " + std::to_string(y) + " Td\r\n";
    // Runs of characters that one font draws, each in the first font that
    // has its first character; spaces and marks stay with the run before.
    size_t start = 0;
    size_t current = SIZE_MAX;
    for (size_t at = 0; at < utf8.size();) {
        const size_t here = at;
        const int32_t cp = nextcodepoint(utf8, at);
        size_t which = current;
        if (current == SIZE_MAX || !fonts_[current]->has(cp)) {
            which = 0;
            while (which + 1 < fonts_.size() && !fonts_[which]->has(cp)) {
                ++which;
            }
        }
        if (which != current) {
            if (current != SIZE_MAX) {
                out += fonts_[current]->drawrun(utf8.substr(start, here - start),
                                                "F" + std::to_string(current + 1), size);
            }
            start = here;
            current = which;
        }
    }
    if (current != SIZE_MAX) {
        out +=
            fonts_[current]->drawrun(utf8.substr(start), "F" + std::to_string(current + 1), size);
    }
    return out + "ET";
}

std::string textfonts::firstfont() const {
    return fonts_[0]->type0({numbers_[0].begin() + 1, numbers_[0].end()});
}

std::string textfonts::otherfonts() const {
    std::string out;
    for (size_t k = 1; k < numbers_.size(); ++k) {
        out += " /F" + std::to_string(k + 1) + " " + pdfoutput::ref(numbers_[k][0]);
    }
    return out;
}

status textfonts::write(pdfoutput& out) const {
    for (size_t k = 0; k < numbers_.size(); ++k) {
        const std::vector<int64_t> shared(numbers_[k].begin() + 1, numbers_[k].end());
        out.beginobject(numbers_[k][0]);
        out.writeline(fonts_[k]->type0(shared));
        out.endobject();
        if (status written = fonts_[k]->write(out, shared); !written.ok()) {
            return written;
        }
    }
    return {};
}

} // namespace ovin
