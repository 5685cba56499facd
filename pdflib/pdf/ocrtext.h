// The invisible text layer of recognised pages: words drawn in render mode
// 3 (neither filled nor stroked) over the image, each where it was
// recognised and stretched (Tz) to the width of its box, in a font made for
// it: a TrueType font of one empty glyph, one width for every character,
// drawn as a Type 0 font (Identity-H) whose ToUnicode map gives each
// character code the text it stands for. The font is embedded once per
// document, after the pages, when every character is known.
#pragma once

#include "ocr/recognise.h"
#include "pdf/pagelayout.h"
#include "pdf/pdfoutput.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ovin {

class ocrfont {
public:
    // The character codes of a text, as a hex string for Tj; each new
    // character takes the next code.
    std::string codes(std::string_view utf8);

    // Numbers the font's objects once, among the document's extra ones.
    template <typename numbering> void number(numbering next) {
        while (numbers_.size() < kObjects) {
            numbers_.push_back(next());
        }
    }
    bool numbered() const { return numbers_.size() == kObjects; }
    // The Type 0 font that pages name.
    int64_t font() const { return numbers_[0]; }
    void write(pdfoutput& out) const;

    static constexpr size_t kObjects = 6;
    static constexpr const char* kName = "/OCR";

private:
    std::map<char32_t, uint16_t> codes_;
    std::vector<char32_t> characters_; // by code, from 1
    std::vector<int64_t> numbers_;
};

// The content that draws the words of a page (in the pixels that `touser`
// maps onto the page, `height` rows, rows counted from the top in the
// words) as invisible text; empty for no words.
std::string ocrcontent(const std::vector<ocrword>& words, const affine& touser, int32_t height,
                       ocrfont& font);

// The glyphless TrueType font: two empty glyphs, every advance 500 units
// of 1000.
std::vector<uint8_t> glyphlessfont();

} // namespace ovin
