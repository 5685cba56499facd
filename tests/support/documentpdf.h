// Driving the document face end to end: an image file added with all its
// pages, saved, checked by qpdf; and the fuzz seeds that the format tests
// leave behind.
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

// A seed of fuzz/corpus/TARGET/NAME: written with OVIN_WRITE_FUZZ_SEEDS=1
// set, else checked (with GoogleTest) against the committed file.
void fuzzseed(const std::string& target, const std::string& name,
              const std::vector<uint8_t>& bytes);

} // namespace ovintest
