#include "terminalui.h"

#include <cstdio>
#include <unistd.h>

namespace ovincli {

namespace {

constexpr int kBarWidth = 30;
constexpr size_t kNameWidth = 40;

} // namespace

// The save checks for Cancel between pages; it then ends with "cancelled"
// and leaves no file.
TerminalUi::TerminalUi(bool quiet, const stopsignals& stops)
    : stops_(stops), bar_(!quiet && ::isatty(STDERR_FILENO) == 1) {}

bool TerminalUi::cancelled() const {
    return stops_.received() != 0;
}

void TerminalUi::progressShow(const std::string&, int32_t pagecount) {
    total_ = pagecount;
    done_ = 0;
    status_.clear();
    draw();
}

void TerminalUi::progressStatus(const std::string& text) {
    status_ = text;
}

void TerminalUi::progressStep() {
    ++done_;
    draw();
}

void TerminalUi::progressFinish(const std::string& text) {
    status_ = text;
    draw();
}

void TerminalUi::progressClose() {
    if (bar_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
}

void TerminalUi::message(const std::string& text) {
    progressClose();
    std::fprintf(stderr, "ovinpdf: %s\n", text.c_str());
}

void TerminalUi::draw() {
    if (!bar_) {
        return;
    }
    const int filled = total_ > 0 ? static_cast<int>(int64_t{done_} * kBarWidth / total_) : 0;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kBarWidth, ' ');
    std::string name = status_;
    if (name.size() > kNameWidth) {
        name = "..." + name.substr(name.size() - (kNameWidth - 3));
    }
    std::fprintf(stderr, "\r\033[K[%s] %d/%d %s", bar.c_str(), done_, total_, name.c_str());
    std::fflush(stderr);
}

} // namespace ovincli
