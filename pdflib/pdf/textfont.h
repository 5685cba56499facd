// A font for text in any script: found through fontconfig (DejaVu Sans
// first, any installed font that has every character of the text after
// it), shaped with HarfBuzz, and embedded as a subset of the glyphs the
// document uses, with a ToUnicode map so that the text can be searched and
// copied. Pages draw it as a Type 0 font of two-byte glyph numbers.
#pragma once

#include "pdf/pdfoutput.h"
#include "status.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ovin {

class textfont {
public:
    ~textfont();
    textfont(const textfont&) = delete;
    textfont& operator=(const textfont&) = delete;

    // A font that has every character of the UTF-8 texts (line breaks and
    // other control characters aside); a failure names the first character
    // no installed font has.
    static status find(const std::vector<std::string_view>& texts, std::unique_ptr<textfont>& font);

    // The family name of the font, for messages and tests.
    const std::string& family() const { return family_; }

    // The advance of a character at `size` points (0 where the font lacks
    // it), for laying lines out.
    double advance(int32_t codepoint, double size) const;

    // One line of text at `size` points from x, y: the operators of a text
    // object that draw its glyphs, noting them for the subset.
    std::string drawline(std::string_view utf8, double size, int32_t x, int32_t y);

    // Writes the font's shared objects: the CID font, its descriptor, the
    // subset font file and the ToUnicode map, as numbered in `numbers`
    // (from fontobjects()), and returns the failure of subsetting.
    status write(pdfoutput& out, const std::vector<int64_t>& numbers) const;
    // The Type 0 font dictionary that pages name, referring to the shared
    // objects.
    std::string type0(const std::vector<int64_t>& numbers) const;
    static constexpr size_t kSharedObjects = 4;

    textfont() = default; // made by find()

private:
    std::string family_;
    std::string postscriptname_;
    struct handles;
    std::unique_ptr<handles> hb_;
    bool cff_ = false;
    int32_t upem_ = 1000;
    // Every glyph drawn, with its width in thousandths of the size and the
    // text it stands for.
    struct glyph {
        int32_t width = 0;
        std::u32string text;
    };
    std::map<uint32_t, glyph> used_;
};

} // namespace ovin
