// Files read for a program that shows them before it saves them: whether a
// file can be added and how many pages it gives, and one page as a small
// upright picture (a thumbnail or a preview). Both read through the
// library's face and its readers, so that they accept and refuse exactly
// what adding and saving do, with the same messages.
#pragma once

#include "core/library.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace ovin {

// 8-bit RGB pixels, rows top first, three bytes a pixel, no padding.
struct picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
};

// Reads every page of the file as a save would (descriptions and data,
// without keeping them): the number of pages, or the failure reported
// through the library.
int32_t checkimagefile(Library& library, std::string_view filename, uint32_t& pages);

// Page `page` (from 1) of the file, its longer side reduced to at most
// `maxside` pixels (never enlarged), standing upright as its orientation
// says when the library's options turn pages upright. A JPEG is decoded at
// a reduced scale; a JPEG whose data ends early or is damaged fails, as its
// page would be drawn in part.
int32_t pagepicture(Library& library, std::string_view filename, uint32_t page, uint32_t maxside,
                    picture& out);

} // namespace ovin
