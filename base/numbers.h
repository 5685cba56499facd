// Numbers as the library rounds and writes them, whatever the process
// locale.
#pragma once

#include <cstdint>
#include <string>

namespace ovin {

// Nearest integer, halves to the even neighbour.
int64_t roundeven(long double value);
// num / den the same way, exactly in integers (no binary fraction can tip a
// half); 0 when den is 0, held at the largest 32-bit value.
uint32_t divroundeven(uint64_t num, uint64_t den);

// Shortest general form with at most 15 significant digits, full stop as
// the decimal separator, no exponent for ordinary page sizes.
std::string formatreal(long double value);

} // namespace ovin
