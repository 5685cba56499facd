// Text pages and image-error pages, set in 8-point Helvetica.
#pragma once

#include "pdf/objectplan.h"
#include "pdf/pdfoutput.h"

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

// Writes the objects of page i (0-based): content stream, procedure set
// (not in the compact layout), font and page. The paragraphs are laid out
// one after the other.
void writetextpage(pdfoutput& out, const objectplan& plan, int64_t i, pagesize size,
                   const std::vector<std::string>& paragraphs);

} // namespace ovin
