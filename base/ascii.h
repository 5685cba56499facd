// ASCII letter case, independent of the locale: file-name extensions and
// keywords are compared this way, and bytes of 128 and above pass unchanged.
#pragma once

#include <string>
#include <string_view>

namespace ovin {

inline char toupperascii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline char tolowerascii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string toupperascii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = toupperascii(c);
    }
    return out;
}

inline bool iequalsascii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (tolowerascii(a[i]) != tolowerascii(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace ovin
