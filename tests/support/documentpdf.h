// Driving the document face end to end: an image file added with all its
// pages, saved, checked by qpdf.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovintest {

struct documentpdf {
    int32_t code = 0;  // of adding, else of saving
    std::string error; // geterror of a failure
    std::string qpdf;  // qpdf's complaints, empty when it finds none
    std::vector<std::string> warnings;
};

// Adds `image` through the document face, saves `pdf` and checks it.
documentpdf makedocumentpdf(const std::string& image, const std::string& pdf);

} // namespace ovintest
