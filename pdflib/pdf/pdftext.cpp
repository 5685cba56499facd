#include "pdf/pdftext.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace ovin {

namespace {

void replaceall(std::string& s, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(s.size());
    size_t start = 0;
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, start)) {
        out.append(s, start, at - start);
        out.append(to);
        start = at + from.size();
    }
    out.append(s, start, std::string::npos);
    s.swap(out);
}

// Windows-1252 bytes 0x80..0x9F; 0 where the code page has no character.
constexpr std::array<uint16_t, 32> kWin1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char winansichar(int32_t cp) {
    if (cp >= 0 && (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))) {
        return static_cast<char>(cp);
    }
    for (size_t k = 0; k < kWin1252High.size(); ++k) {
        if (kWin1252High[k] != 0 && kWin1252High[k] == cp) {
            return static_cast<char>(0x80 + k);
        }
    }
    return '?';
}

} // namespace

int32_t nextcodepoint(std::string_view s, size_t& i) {
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
    if (len == 0 || b0 > 0xF4 || i + static_cast<size_t>(len) > s.size()) {
        ++i;
        return -1;
    }
    int32_t cp = b0 & (0x3F >> (len - 1));
    for (int k = 1; k < len; ++k) {
        auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr std::array<int32_t, 5> minimum{0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[static_cast<size_t>(len)] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return -1;
    }
    i += static_cast<size_t>(len);
    return cp;
}

bool inwinansi(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size();) {
        const int32_t cp = nextcodepoint(utf8, i);
        if (cp != '?' && winansichar(cp) == '?') {
            return false;
        }
    }
    return true;
}

std::string pdfescape(std::string_view text) {
    std::string s(text);
    replaceall(s, "\\", "\\\\");
    replaceall(s, ")", "\\)");
    replaceall(s, "(", "\\(");
    return s;
}

std::string pdfunescape(std::string_view escaped) {
    std::string out;
    out.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 1 < escaped.size()) {
            ++i;
        }
        out.push_back(escaped[i]);
    }
    return out;
}

bool isascii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string towinansi(std::string_view utf8) {
    if (isascii(utf8)) {
        return std::string(utf8);
    }
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        out.push_back(winansichar(nextcodepoint(utf8, i)));
    }
    return out;
}

std::string pdftextstring(std::string_view utf8) {
    if (isascii(utf8)) {
        return "(" + pdfescape(utf8) + ")";
    }
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out = "<FEFF";
    auto unit = [&](uint32_t u) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            out.push_back(hex[(u >> shift) & 0xF]);
        }
    };
    for (size_t i = 0; i < utf8.size();) {
        int32_t cp = nextcodepoint(utf8, i);
        auto u = static_cast<uint32_t>(cp < 0 ? 0xFFFD : cp);
        if (u >= 0x10000) {
            u -= 0x10000;
            unit(0xD800 + (u >> 10));
            unit(0xDC00 + (u & 0x3FF));
        } else {
            unit(u);
        }
    }
    out.push_back('>');
    return out;
}

} // namespace ovin
