// Fonts for text in any script: found through fontconfig (DejaVu Sans
// first, then for the characters it lacks the installed fonts most like it
// that have them), shaped with HarfBuzz, and embedded as subsets of the
// glyphs the document uses, with ToUnicode maps so that the text can be
// searched and copied. Pages draw them as Type 0 fonts of two-byte glyph
// numbers: /F1 the first, /F2 the next and so on.
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
    // Opens face `index` of the font file; false when HarfBuzz cannot.
    bool open(const std::string& file, unsigned int index, const std::string& family,
              const std::string& postscriptname);
    bool has(int32_t codepoint) const;

    // The advance of a character at `size` points (0 where the font lacks
    // it), for laying lines out.
    double advance(int32_t codepoint, double size) const;

    // The operators that draw a run of text at `size` points as /`name`,
    // from where the text position is, noting its glyphs for the subset.
    std::string drawrun(std::string_view utf8, const std::string& name, double size);

    // Writes the font's shared objects: the CID font, its descriptor, the
    // subset font file and the ToUnicode map, numbered by `numbers`.
    status write(pdfoutput& out, const std::vector<int64_t>& numbers) const;
    // The Type 0 font dictionary that pages name, referring to the shared
    // objects.
    std::string type0(const std::vector<int64_t>& numbers) const;
    static constexpr size_t kSharedObjects = 4;

    textfont() = default;
    ~textfont();
    textfont(const textfont&) = delete;
    textfont& operator=(const textfont&) = delete;

private:
    std::string family_;
    std::string postscriptname_;
    struct handles;
    std::unique_ptr<handles> hb_;
    int32_t upem_ = 1000;
    // Every glyph drawn, with its width in thousandths of the size and the
    // text it stands for.
    struct glyph {
        int32_t width = 0;
        std::u32string text;
    };
    std::map<uint32_t, glyph> used_;
};

// The fonts of a document's text pages.
class textfonts {
public:
    // Fonts that together have every character of the UTF-8 texts (line
    // breaks and other control characters aside); a failure names the
    // first character no installed font has.
    static status find(const std::vector<std::string_view>& texts,
                       std::unique_ptr<textfonts>& fonts);

    // The advance of a character at `size` points in the font that draws it.
    double advance(int32_t codepoint, double size) const;
    // A text object drawing one line at `size` points from x, y.
    std::string drawline(std::string_view utf8, double size, int32_t x, int32_t y);

    // Numbers the fonts' objects, once, among the document's extra ones.
    template <typename numbering> void number(numbering next) {
        while (numbers_.size() < fonts_.size()) {
            std::vector<int64_t> own;
            for (size_t k = 0; k <= textfont::kSharedObjects; ++k) {
                own.push_back(next());
            }
            numbers_.push_back(std::move(own));
        }
    }
    // The Type 0 dictionary of /F1, written as each text page's own font
    // object, and the page's other font resources ("/F2 12 0 R ...").
    std::string firstfont() const;
    std::string otherfonts() const;
    // Writes every font's objects.
    status write(pdfoutput& out) const;

private:
    std::vector<std::unique_ptr<textfont>> fonts_;
    // Per font: its Type 0 dictionary, then its shared objects.
    std::vector<std::vector<int64_t>> numbers_;
};

} // namespace ovin
