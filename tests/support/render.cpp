#include "render.h"

#include "pdftools.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace ovintest {

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
