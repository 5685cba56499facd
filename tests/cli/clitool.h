// What the command-line tests share: the tool's path and a document whose
// pages must all be re-encoded (one strip per 32 rows), so that its save
// takes a while and uses the conversion's temporary file for every page.
#pragma once

#include "tifffixtures.h"

#include <string>
#include <vector>

namespace clitest {

inline const std::string kTool = OVINPDF_CLI;

// `count` bilevel pages, each with its own pattern from `seed` on.
inline std::vector<ovintest::tiffpage> stripedpages(uint32_t count, uint32_t width, uint32_t height,
                                                    uint32_t seed) {
    std::vector<ovintest::tiffpage> pages;
    for (uint32_t k = 0; k < count; ++k) {
        ovintest::tiffpage page = ovintest::bilevelpage(width, height, 4, seed + k);
        page.rowsperstrip = 32;
        pages.push_back(std::move(page));
    }
    return pages;
}

} // namespace clitest
