// The library state that the calls share: settings, the document, the
// detail text of the latest failure and the warnings.
#pragma once

#include "core/document.h"
#include "core/options.h"
#include "status.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace ovin {

// Distinct warning lines in the order they were first raised.
class warninglist {
public:
    // Appends the line unless the same line is already listed.
    void add(const std::string& line) {
        if (seen_.insert(line).second) {
            lines_.push_back(line);
        }
    }
    void clear() {
        lines_.clear();
        seen_.clear();
    }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    std::unordered_set<std::string> seen_;
};

struct librarystate {
    std::string tempimgpath;
    std::string pdfmaker;
    std::string pdftitle;
    uintptr_t window = 0; // the caller's window from pdfinit, 0 for none

    std::vector<pageinfo> pages;
    // The last index of each page name, for the duplicate test and the
    // bookmark page lookup.
    std::unordered_map<std::string, int32_t> lastpage;
    outlinetree outline;

    std::string errorarg;
    // The latest failure of an adding or saving call, with its reason.
    status lastfailure;
    warninglist warnings;

    int32_t defaultxdpi = 0;
    int32_t defaultydpi = 0;

    documentoptions options;
    // A page needs PDF 1.5 (JPEG 2000 data, 16-bit samples).
    bool needspdf15 = false;
};

} // namespace ovin
