#include "quote.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace ovin {

namespace {

// The length of the valid UTF-8 sequence of a printable character at
// text[i], 0 for a control character or a byte that starts no valid
// sequence.
size_t printable(std::string_view text, size_t i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x20 || b0 == 0x7F) {
        return 0;
    }
    if (b0 < 0x80) {
        return 1;
    }
    const size_t len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 ? 2 : 0;
    if (len == 0 || b0 > 0xF4 || i + len > text.size()) {
        return 0;
    }
    uint32_t cp = b0 & (0x7FU >> len);
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = cp << 6 | (b & 0x3FU);
    }
    static constexpr std::array<uint32_t, 5> kLeast{0, 0, 0x80, 0x800, 0x10000};
    const bool valid = cp >= kLeast[len] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    // C1 control characters are controls too.
    return valid && (cp < 0x80 || cp > 0x9F) ? len : 0;
}

// A byte outside the quotes, as a shell's $'...' writes it.
void escapebyte(std::string& out, unsigned char b) {
    switch (b) {
    case '\a':
        out += "\\a";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\v':
        out += "\\v";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\r':
        out += "\\r";
        return;
    default:
        out.push_back('\\');
        out.push_back(static_cast<char>('0' + (b >> 6)));
        out.push_back(static_cast<char>('0' + ((b >> 3) & 7)));
        out.push_back(static_cast<char>('0' + (b & 7)));
    }
}

} // namespace

std::string quotename(std::string_view name) {
    // Most names are printable ASCII without a single quote: quoted whole.
    const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return c >= 0x20 && c < 0x7F && c != '\'';
    });
    if (plain) {
        std::string out;
        out.reserve(name.size() + 2);
        out.push_back('\'');
        out.append(name);
        out.push_back('\'');
        return out;
    }
    bool control = false;
    for (size_t i = 0; i < name.size() && !control;) {
        const size_t len = printable(name, i);
        control = len == 0;
        i += len;
    }
    // A name with a single quote and nothing a shell expands inside double
    // quotes reads best between double quotes.
    if (!control && name.find('\'') != std::string_view::npos &&
        name.find_first_of("\"$`\\!") == std::string_view::npos) {
        return "\"" + std::string(name) + "\"";
    }
    std::string out;
    out.reserve(name.size() + 2);
    bool open = false; // inside single quotes
    const auto quote = [&](bool inside) {
        if (open != inside) {
            out.push_back('\'');
            open = inside;
        }
    };
    for (size_t i = 0; i < name.size();) {
        const size_t len = printable(name, i);
        if (len == 0) {
            quote(false);
            out += "$'";
            // Consecutive control bytes share one $'...'.
            while (i < name.size() && printable(name, i) == 0) {
                escapebyte(out, static_cast<unsigned char>(name[i++]));
            }
            out.push_back('\'');
            continue;
        }
        if (name[i] == '\'') {
            quote(false);
            out += "\\'";
            ++i;
            continue;
        }
        quote(true);
        out.append(name, i, len);
        i += len;
    }
    if (out.empty() || open) {
        out.push_back('\'');
        if (out.size() == 1) {
            out.push_back('\''); // the empty name: ''
        }
    }
    return out;
}

} // namespace ovin
