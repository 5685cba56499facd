#include "progressbar.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace ovincli {

namespace {

constexpr int kBarWidth = 30;      // the widest bar
constexpr int kNarrowestBar = 5;   // below this the bar is left out
constexpr int kFallbackWidth = 80; // when the terminal tells none

// The width of standard error's terminal now.
int terminalcolumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return kFallbackWidth;
}

// One character of the status as it is drawn.
struct glyph {
    std::string bytes;
    int width = 1;
};

// The status as drawable characters: UTF-8 sequences with their width in
// columns (two where the locale cannot tell, so the line is never too
// wide), control characters and broken sequences as "?".
std::vector<glyph> glyphs(const std::string& text) {
    std::vector<glyph> out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        bool valid = lead < 0x80 || (lead >= 0xC2 && lead <= 0xF4 && i + length <= text.size());
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid || code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            out.push_back({"?", 1});
            i += valid ? length : 1;
            continue;
        }
        const int w = code < 0x80 ? 1 : ::wcwidth(static_cast<wchar_t>(code));
        out.push_back({text.substr(i, length), w < 0 ? 2 : w});
        i += length;
    }
    return out;
}

// The last characters of `text` that fit in `room` columns, behind "..."
// when some were left out.
std::string tail(const std::vector<glyph>& text, int room) {
    int total = 0;
    for (const glyph& g : text) {
        total += g.width;
    }
    const bool cut = total > room;
    int left = cut ? room - 3 : room;
    size_t from = text.size();
    while (from > 0 && text[from - 1].width <= left) {
        left -= text[from - 1].width;
        --from;
    }
    if (cut && room < 4) {
        return "";
    }
    std::string out = cut ? "..." : "";
    for (size_t k = from; k < text.size(); ++k) {
        out += text[k].bytes;
    }
    return out;
}

// The line drawn for a terminal `columns` wide: at most columns - 1 wide
// (the last column stays free, so that no terminal wraps), the bar narrowed
// and the status cut at its start to fit.
std::string drawnline(uint32_t page, uint32_t pages, const std::string& status, int columns) {
    const int room = std::max(columns - 1, 0);
    const std::string count = std::to_string(page) + "/" + std::to_string(pages);
    const int countwidth = static_cast<int>(count.size());
    if (countwidth > room) {
        return "";
    }
    // The bar takes a third of what the count leaves, at most its full
    // width, and goes when that is too narrow to show anything.
    int barwidth = std::min(kBarWidth, (room - countwidth) / 3 - 2);
    std::string out;
    if (barwidth >= kNarrowestBar) {
        const int filled =
            pages > 0 ? static_cast<int>(uint64_t{std::min(page, pages)} * barwidth / pages) : 0;
        out = "[" + std::string(static_cast<size_t>(filled), '#') +
              std::string(static_cast<size_t>(barwidth - filled), ' ') + "] ";
    } else {
        barwidth = 0;
    }
    out += count;
    const int left = room - static_cast<int>(out.size()) - 1;
    if (left > 0 && !status.empty()) {
        out += " " + tail(glyphs(status), left);
    }
    return out;
}

} // namespace

progressbar::progressbar(bool quiet) : shown_(!quiet && ::isatty(STDERR_FILENO) == 1) {}

progressbar::~progressbar() {
    clear();
}

void progressbar::show(uint32_t page, uint32_t pages, const std::string& status) {
    if (!shown_) {
        return;
    }
    std::fprintf(stderr, "\r\033[K%s", drawnline(page, pages, status, terminalcolumns()).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void progressbar::clear() {
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
}

} // namespace ovincli
