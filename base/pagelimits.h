// Limits every part of the project keeps alike.
#pragma once

#include <algorithm>
#include <cstdint>

namespace ovin {

// The longest side of a page, in points: 200 inches, the most that PDF
// readers show (user space is bounded at 14,400 units).
inline constexpr double kMaxPagePoints = 14400;
// The shortest side of a page, in points: a smaller box is one that readers
// draw as nothing or refuse.
inline constexpr double kMinPagePoints = 3;

// Whether borders (in points, left and right, top and bottom) leave room
// for an image on a page of this size, whichever way the page is turned; a
// page size of 0 puts them around the image.
inline bool bordersleaveroom(double width, double height, double borderx, double bordery) {
    return width <= 0 || std::min(width, height) - 2 * std::max(borderx, bordery) >= kMinPagePoints;
}

// The last moment a document date can name, 9999-12-31T23:59:59Z, in
// seconds since 1970 (the first): a PDF date has four digits for the year.
inline constexpr int64_t kLatestDate = 253402300799;

} // namespace ovin
