// Scanned text made by the tests: lines of words drawn in DejaVu Sans with
// FreeType onto a white page of 8-bit grey pixels, as a scanner would give
// them, with where each word was drawn, for the text recognition tests and
// benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovintest {

struct drawnword {
    std::string text;
    // In points from the page's top left corner: the word's advance from
    // its start to its end, and its baseline.
    double left = 0, right = 0, baseline = 0;
};

struct textscan {
    int32_t width = 0; // pixels
    int32_t height = 0;
    std::vector<uint8_t> grey; // rows top first
    std::vector<drawnword> words;
};

// An A4 page (or w by h points) at `dpi` with the lines drawn from its top
// left margin at `size` points, one line every 1.6 sizes.
textscan scantext(const std::vector<std::string>& lines, int dpi = 300, double size = 12,
                  double w = 595.28, double h = 841.89, double margin = 72);

// Lines of ordinary English words, different for each seed.
std::vector<std::string> letterlines(int count, uint32_t seed);

} // namespace ovintest
