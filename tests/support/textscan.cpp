#include "textscan.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace ovintest {

textscan scantext(const std::vector<std::string>& lines, int dpi, double size, double w, double h,
                  double margin) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0 ||
        FT_New_Face(library, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0, &face) != 0) {
        throw std::runtime_error("DejaVu Sans cannot be loaded (fonts-dejavu-core)");
    }
    FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(size * 64), static_cast<FT_UInt>(dpi),
                     static_cast<FT_UInt>(dpi));
    const double perpoint = dpi / 72.0;
    textscan scan;
    scan.width = static_cast<int32_t>(std::lround(w * perpoint));
    scan.height = static_cast<int32_t>(std::lround(h * perpoint));
    scan.grey.assign(size_t(scan.width) * size_t(scan.height), 255);
    double baseline = margin + size;
    for (const std::string& line : lines) {
        double pen = margin * perpoint; // pixels
        const auto y = static_cast<int32_t>(std::lround(baseline * perpoint));
        drawnword word;
        for (size_t k = 0; k <= line.size(); ++k) {
            const char c = k < line.size() ? line[k] : ' ';
            if (c == ' ') {
                if (!word.text.empty()) {
                    word.right = pen / perpoint;
                    word.baseline = baseline;
                    scan.words.push_back(word);
                    word = {};
                }
            } else if (word.text.empty()) {
                word.left = pen / perpoint;
            }
            if (c != ' ') {
                word.text.push_back(c);
            }
            if (FT_Load_Char(face, static_cast<unsigned char>(c), FT_LOAD_RENDER) != 0) {
                continue;
            }
            const FT_GlyphSlot g = face->glyph;
            const auto x0 = static_cast<int32_t>(std::lround(pen)) + g->bitmap_left;
            for (uint32_t r = 0; r < g->bitmap.rows; ++r) {
                const int32_t py = y - g->bitmap_top + static_cast<int32_t>(r);
                for (uint32_t col = 0; col < g->bitmap.width; ++col) {
                    const int32_t px = x0 + static_cast<int32_t>(col);
                    if (px < 0 || py < 0 || px >= scan.width || py >= scan.height) {
                        continue;
                    }
                    uint8_t& to = scan.grey[size_t(py) * size_t(scan.width) + size_t(px)];
                    const uint8_t ink =
                        g->bitmap.buffer[r * static_cast<uint32_t>(g->bitmap.pitch) + col];
                    to = std::min<uint8_t>(to, static_cast<uint8_t>(255 - ink));
                }
            }
            pen += static_cast<double>(g->advance.x) / 64.0;
        }
        baseline += size * 1.6;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return scan;
}

std::vector<std::string> letterlines(int count, uint32_t seed) {
    static constexpr std::array<const char*, 48> kWords{
        "the",       "letter", "about",  "your",   "account",  "which",    "we",     "received",
        "last",      "week",   "please", "find",   "enclosed", "our",      "answer", "to",
        "questions", "from",   "March",  "and",    "April",    "payment",  "will",   "be",
        "made",      "before", "end",    "of",     "month",    "thank",    "you",    "for",
        "patience",  "while",  "office", "moved",  "new",      "building", "near",   "river",
        "station",   "number", "seven",  "twenty", "kind",     "regards",  "Mary",   "Miller"};
    std::vector<std::string> lines;
    uint32_t state = seed * 2654435761U + 1;
    for (int l = 0; l < count; ++l) {
        std::string line;
        for (int k = 0; k < 9; ++k) {
            state = state * 1664525U + 1013904223U;
            line += (k > 0 ? " " : "") + std::string(kWords[(state >> 16) % kWords.size()]);
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace ovintest
