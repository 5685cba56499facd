// Pages of many image files saved into one document face PDF and checked
// page by page: each must render in poppler and MuPDF like its source.
#pragma once

#include "documentpdf.h"
#include "render.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovintest {

struct pagecase {
    std::string name;
    std::vector<uint8_t> file;           // empty: a further page of the file before
    raster look;                         // how the page must look, RGB
    int dpi = 200;                       // the page's resolution (200 when the file has none)
    int tolerance = 0;                   // largest difference of a sample (colour managed pages)
    std::vector<std::string> dictionary; // found in the image's dictionary
    bool seed = false;                   // the file is one of the fuzz seeds
    double mean = -1;                    // when set, the largest mean difference (lossy pages)
};

// Saves the files through the document face into dir/out.pdf, which qpdf
// must find sound.
documentpdf savefiles(const tempdir& dir, const std::vector<std::string>& files,
                      const ovin::documentoptions& options = ovin::documentdefaults());

// Saves the cases as the pages of one document and compares every page
// with its look in both readers, and saves them again as PDF/A-2b, which
// must keep its rules; returns what `pdfimages -list` says of the
// document.
std::string checkpages(const std::vector<pagecase>& cases, const std::string& header,
                       const ovin::documentoptions& options = ovin::documentdefaults());

} // namespace ovintest
