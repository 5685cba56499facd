// The description of one prepared image page, with its data, as the probes
// fill it and the page writer reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

struct imgdata {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t xdpi = 0;
    uint16_t ydpi = 0;
    uint16_t pagesinfile = 0;
    uint16_t compression = 0; // TIFF numbering: 1 none, 2 MH, 3 G3, 4 G4, 6 JPEG, 32773 PackBits
    uint16_t bits = 0;        // bits per sample; for a JPEG the component count
    int16_t photometric = -1; // TIFF photometric interpretation, -1 when absent
    std::string ext;          // upper-case extension with its dot: ".TIF", ".JPG", ".BMP"
    uint32_t datalen = 0;
    std::vector<uint8_t> data;
    bool passthrough = false;

    // What a reader needs beyond the fields above to draw the page right.
    uint16_t samples = 1;         // samples (components) per pixel of data
    uint32_t t4options = 0;       // TIFF Group 3 options: bit 0 2-D coding, bit 2 byte-aligned EOLs
    std::vector<uint8_t> palette; // RGB triplets of an indexed image, empty otherwise
    bool adobeinverted = false;   // CMYK JPEG written by Adobe software (inverted samples)
};

} // namespace ovin
