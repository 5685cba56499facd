// The save's progress on standard error when it is a terminal: a bar, the
// page count and what is being added, redrawn in place on one line that
// fits the terminal's width as it is at each drawing (so also after the
// window was resized), and never wraps.
#pragma once

#include <cstdint>
#include <string>

namespace ovincli {

class progressbar {
public:
    explicit progressbar(bool quiet);
    ~progressbar();
    progressbar(const progressbar&) = delete;
    progressbar& operator=(const progressbar&) = delete;

    void show(uint32_t page, uint32_t pages, const std::string& status);
    // Clears the line, so that messages that follow stand on their own.
    void clear();

private:
    bool shown_;
    bool drawn_ = false;
};

} // namespace ovincli
