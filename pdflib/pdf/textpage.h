// Text pages and image-error pages, set in 8-point Helvetica.
#pragma once

#include "pdf/objectplan.h"
#include "pdf/pdfoutput.h"
#include "pdf/textfont.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ovin {

// The page size of the document: -1 by -1 while no image gave one (a Letter
// page is used then).
struct pagesize {
    int32_t width = -1;
    int32_t height = -1;
};

// Lays out one paragraph (already escaped and in the font's encoding) into
// content-stream lines, starting at baseline y and moving it down.
void layouttext(std::string_view paragraph, pagesize size, int32_t& texty,
                std::vector<std::string>& lines);

// Lays out UTF-8 text for pages of `size`: its line breaks kept (a CR
// before them dropped), lines longer than the page wrapped at the last
// space that fits or, for a word longer than a line, inside the word. One
// string a page, its lines joined by line feeds; at least one page.
// With a font, lines are as long as the characters' widths in it allow.
std::vector<std::string> flowtext(std::string_view utf8, pagesize size,
                                  const textfonts* fonts = nullptr);

// Writes the objects of text page i (0-based) holding the lines of one of
// flowtext's pages: in Helvetica, or in the fonts (numbered already).
void writetextlines(pdfoutput& out, const objectplan& plan, int64_t i, pagesize size,
                    std::string_view page, textfonts* fonts = nullptr);

// Writes the objects of page i (0-based): content stream, procedure set
// (not in the compact layout), font and page. The paragraphs are laid out
// one after the other.
void writetextpage(pdfoutput& out, const objectplan& plan, int64_t i, pagesize size,
                   const std::vector<std::string>& paragraphs);

} // namespace ovin
