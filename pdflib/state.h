// The library state that the calls share: settings, the document, the
// detail text of the latest failure and the warnings.
#pragma once

#include "document.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace ovin {

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
    std::vector<std::string> warnings;
    std::unordered_set<std::string> warningset;

    int32_t defaultxdpi = 0;
    int32_t defaultydpi = 0;

    // Appends a warning line unless the same line is already listed.
    void addwarning(const std::string& line) {
        if (warningset.insert(line).second) {
            warnings.push_back(line);
        }
    }
};

} // namespace ovin
