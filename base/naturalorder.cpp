#include "naturalorder.h"

#include "ascii.h"

#include <cstddef>

namespace ovin {

namespace {

bool isdigit(char c) {
    return c >= '0' && c <= '9';
}

// The run of digits at `at` without its leading zeros, moving past it.
std::string_view number(std::string_view s, size_t& at) {
    while (at < s.size() && s[at] == '0' && at + 1 < s.size() && isdigit(s[at + 1])) {
        ++at;
    }
    const size_t start = at;
    while (at < s.size() && isdigit(s[at])) {
        ++at;
    }
    return s.substr(start, at - start);
}

} // namespace

bool naturalless(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isdigit(a[i]) && isdigit(b[j])) {
            const std::string_view x = number(a, i);
            const std::string_view y = number(b, j);
            if (x.size() != y.size()) {
                return x.size() < y.size();
            }
            if (x != y) {
                return x < y;
            }
            continue;
        }
        const char x = toupperascii(a[i]);
        const char y = toupperascii(b[j]);
        if (x != y) {
            return x < y;
        }
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) {
        return a.size() - i < b.size() - j;
    }
    return a < b;
}

} // namespace ovin
