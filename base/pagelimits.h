// Limits every part of the project keeps alike.
#pragma once

namespace ovin {

// The longest side of a page, in points: 200 inches, the most that PDF
// readers show (user space is bounded at 14,400 units).
inline constexpr double kMaxPagePoints = 14400;

} // namespace ovin
