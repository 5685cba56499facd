#include "numbers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace ovin {

int64_t roundeven(long double value) {
    // The default rounding mode rounds to nearest, ties to even.
    return static_cast<int64_t>(std::nearbyint(value));
}

uint32_t divroundeven(uint64_t num, uint64_t den) {
    if (den == 0) {
        return 0;
    }
    uint64_t quotient = num / den;
    const uint64_t twice = (num % den) * 2;
    if (twice > den || (twice == den && (quotient & 1) != 0)) {
        ++quotient;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(quotient, UINT32_MAX));
}

uint16_t dotsperinch(uint64_t num, uint64_t den, perunit unit) {
    switch (unit) {
    case perunit::centimetre:
        num *= 254;
        den *= 100;
        break;
    case perunit::metre:
        num *= 254;
        den *= 10000;
        break;
    case perunit::inch:
        break;
    }
    return static_cast<uint16_t>(std::min<uint32_t>(divroundeven(num, den), 0xFFFF));
}

uint16_t dotsperinch(long double dpi) {
    if (!std::isfinite(dpi) || dpi < 0.5L) {
        return 0;
    }
    return static_cast<uint16_t>(std::min<long double>(roundeven(std::min(dpi, 1e9L)), 0xFFFF));
}

std::string formatreal(long double value) {
    // Fifteen significant digits in the shortest general form, with a full
    // stop whatever the process locale: a decimal comma would break every
    // number in the file. The longest such form ("-1.23456789012345e-4951")
    // fits the buffer.
    std::array<char, 64> buf{};
    const auto written =
        std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::general, 15);
    return std::string(buf.data(), written.ptr);
}

std::string counted(uint64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

} // namespace ovin
