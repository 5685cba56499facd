// The order in which file managers list names: runs of digits by their
// value ("scan2" before "scan10"), letters without regard to case.
#pragma once

#include <string_view>

namespace ovin {

// Whether `a` comes before `b`. Names that differ only in case or in the
// leading zeros of a number keep a fixed order between them (byte order).
bool naturalless(std::string_view a, std::string_view b);

} // namespace ovin
