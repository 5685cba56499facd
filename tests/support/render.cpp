#include "render.h"

#include "pdftools.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace ovintest {

raster appearance(const tiffpage& page) {
    raster r;
    r.width = static_cast<int>(page.width);
    r.height = static_cast<int>(page.height);
    const bool palette = page.photometric == 3;
    r.channels = page.samples == 3 || palette ? 3 : 1;
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t* row = page.pixels.data() + size_t{y} * page.rowbytes();
        for (uint32_t x = 0; x < page.width; ++x) {
            if (page.bits == 1) {
                bool bit = ((row[x / 8] >> (7 - x % 8)) & 1) != 0;
                bool white = page.photometric == 0 ? !bit : bit;
                r.pixels.push_back(white ? 255 : 0);
            } else if (palette) {
                size_t entries = page.colormap.size() / 3;
                for (size_t c = 0; c < 3; ++c) {
                    r.pixels.push_back(
                        static_cast<uint8_t>(page.colormap[c * entries + row[x]] >> 8));
                }
            } else if (page.samples == 3) {
                r.pixels.insert(r.pixels.end(), row + 3 * x, row + 3 * x + 3);
            } else {
                r.pixels.push_back(page.photometric == 0 ? static_cast<uint8_t>(255 - row[x])
                                                         : row[x]);
            }
        }
    }
    return r;
}

raster readpnm(const std::string& path) {
    raster r;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        r.error = "no output file " + path;
        return r;
    }
    std::string magic;
    int maxval = 0;
    in >> magic >> r.width >> r.height >> maxval;
    in.get();
    if ((magic != "P5" && magic != "P6") || maxval != 255 || r.width <= 0 || r.height <= 0) {
        r.error = "unexpected PNM header " + magic;
        return r;
    }
    r.channels = magic == "P5" ? 1 : 3;
    r.pixels.resize(static_cast<size_t>(r.width) * static_cast<size_t>(r.height) *
                    static_cast<size_t>(r.channels));
    in.read(reinterpret_cast<char*>(r.pixels.data()),
            static_cast<std::streamsize>(r.pixels.size()));
    if (!in) {
        r.error = "short PNM file";
    }
    return r;
}

const char* readername(reader r) {
    return r == reader::poppler ? "poppler" : "MuPDF";
}

raster renderpage(reader r, const std::string& pdf, int page, int dpi, int channels) {
    tempdir dir;
    const std::string p = std::to_string(page);
    const std::string d = std::to_string(dpi);
    std::string command;
    std::string out;
    if (r == reader::poppler) {
        out = dir.file("page");
        command = "pdftoppm -r " + d + " -f " + p + " -l " + p +
                  " -aa no -aaVector no -singlefile " + (channels == 1 ? "-gray " : "") + "'" +
                  pdf + "' '" + out + "'";
        out += channels == 1 ? ".pgm" : ".ppm";
    } else {
        out = dir.file("page.pnm");
        command = "mutool draw -q -r " + d + " -A 0 -c " + (channels == 1 ? "gray" : "rgb") +
                  " -o '" + out + "' '" + pdf + "' " + p;
    }
    commandresult result = runcommand(command);
    raster image = readpnm(out);
    if (result.status != 0 || !image.error.empty()) {
        image.error += " [" + command + "] " + result.output;
    }
    return image;
}

raster sampled(const raster& image, int factor) {
    raster r;
    r.error = image.error;
    r.channels = image.channels;
    r.width = image.width / factor;
    r.height = image.height / factor;
    const size_t c = static_cast<size_t>(image.channels);
    for (int y = 0; y < r.height; ++y) {
        for (int x = 0; x < r.width; ++x) {
            size_t at =
                (static_cast<size_t>(y * factor + factor / 2) * static_cast<size_t>(image.width) +
                 static_cast<size_t>(x * factor + factor / 2)) *
                c;
            r.pixels.insert(r.pixels.end(), image.pixels.begin() + static_cast<long>(at),
                            image.pixels.begin() + static_cast<long>(at + c));
        }
    }
    return r;
}

difference compare(const raster& a, const raster& b) {
    difference d;
    if (a.width != b.width || a.height != b.height || a.channels != b.channels) {
        d.error = "size " + std::to_string(a.width) + "x" + std::to_string(a.height) + "x" +
                  std::to_string(a.channels) + " against " + std::to_string(b.width) + "x" +
                  std::to_string(b.height) + "x" + std::to_string(b.channels);
        return d;
    }
    double total = 0;
    for (size_t k = 0; k < a.pixels.size(); ++k) {
        int diff = std::abs(int{a.pixels[k]} - int{b.pixels[k]});
        total += diff;
        d.maximum = std::max(d.maximum, diff);
        d.differing += diff != 0 ? 1 : 0;
    }
    d.mean = a.pixels.empty() ? 0 : total / static_cast<double>(a.pixels.size());
    return d;
}

} // namespace ovintest
