// Driving the document face end to end: an image file added with all its
// pages, saved, checked by qpdf.
#pragma once

#include "core/options.h"
#include "pdftools.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovintest {

struct documentpdf {
    int32_t code = 0;  // of the first failed adding, else of saving
    std::string error; // geterror of a failure
    std::string qpdf;  // qpdf's complaints, empty when it finds none
    std::vector<std::string> warnings;
    size_t pages = 0; // in the document
    pdffile pdf;      // the saved file, read back
};

// Adds the images (every page of each) through the document face, with its
// options as given, saves `pdf`, checks it with qpdf and reads it back.
documentpdf makedocumentpdf(const std::vector<std::string>& images, const std::string& pdf,
                            const ovin::documentoptions& options = ovin::documentdefaults());
inline documentpdf makedocumentpdf(const std::string& image, const std::string& pdf) {
    return makedocumentpdf(std::vector<std::string>{image}, pdf);
}

} // namespace ovintest
