// Numbers as the library rounds and writes them, whatever the process
// locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ovin {

// Nearest integer, halves to the even neighbour.
int64_t roundeven(long double value);
// num / den the same way, exactly in integers (no binary fraction can tip a
// half); 0 when den is 0, held at the largest 32-bit value.
uint32_t divroundeven(uint64_t num, uint64_t den);

// How a resolution is counted: dots per inch, per centimetre or per metre.
enum class perunit : uint8_t { inch, centimetre, metre };

// The resolution num / den dots per `unit` in whole dots per inch (halves to
// even, at most 65535): the one rule of every reader. 0, meaning none, when
// den is 0 or the resolution is below half a dot per inch, which no image
// means (pixels per metre taken for dots per inch, say).
uint16_t dotsperinch(uint64_t num, uint64_t den, perunit unit);
// The same for a resolution in dots per inch as a real number.
uint16_t dotsperinch(long double dpi);

// Shortest general form with at most 15 significant digits, full stop as
// the decimal separator, no exponent for ordinary page sizes.
std::string formatreal(long double value);

// A count with its noun in the right number: "1 page", "3 pages".
std::string counted(uint64_t count, std::string_view one, std::string_view many);

} // namespace ovin
