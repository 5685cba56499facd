#include "progressbar.h"

#include <cstdio>
#include <unistd.h>

namespace ovincli {

namespace {

constexpr int kBarWidth = 30;
constexpr size_t kNameWidth = 40;

} // namespace

progressbar::progressbar(bool quiet) : shown_(!quiet && ::isatty(STDERR_FILENO) == 1) {}

progressbar::~progressbar() {
    clear();
}

void progressbar::show(uint32_t page, uint32_t pages, const std::string& status) {
    if (!shown_) {
        return;
    }
    const int filled = pages > 0 ? static_cast<int>(uint64_t{page} * kBarWidth / pages) : 0;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kBarWidth, ' ');
    std::string name = status;
    if (name.size() > kNameWidth) {
        name = "..." + name.substr(name.size() - (kNameWidth - 3));
    }
    std::fprintf(stderr, "\r\033[K[%s] %u/%u %s", bar.c_str(), page, pages, name.c_str());
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
