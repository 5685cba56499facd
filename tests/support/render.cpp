#include "render.h"

#include "pdftools.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <tiffio.h>

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

raster tiffappearance(const std::string& path, uint16_t page, int channels) {
    raster r;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr || !TIFFSetDirectory(tif, static_cast<tdir_t>(page - 1))) {
        r.error = "libtiff cannot open page " + std::to_string(page) + " of " + path;
        if (tif != nullptr) {
            TIFFClose(tif);
        }
        return r;
    }
    uint32_t w = 0, h = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT, photometric = 0, bits = 0, extras = 0;
    uint16_t* extratypes = nullptr;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extras, &extratypes);
    // libtiff multiplies colours by alpha, except grey with unassociated
    // alpha, which it leaves as stored.
    const bool premultiplied = photometric > PHOTOMETRIC_MINISBLACK || extras == 0 ||
                               extratypes[0] != EXTRASAMPLE_UNASSALPHA;
    std::vector<uint32_t> rgba(size_t{w} * h);
    char message[1024] = "";
    TIFFRGBAImage image{};
    if (photometric == PHOTOMETRIC_PALETTE && bits == 16) {
        // Beyond the RGBA reader: the indices through the colour map.
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue);
        try {
            const std::vector<uint8_t> indices = decodetiff(path, page);
            for (size_t k = 0; k < rgba.size(); ++k) {
                uint16_t i = 0;
                std::memcpy(&i, indices.data() + 2 * k, 2);
                rgba[k] = uint32_t{red[i]} >> 8 | (uint32_t{green[i]} >> 8) << 8 |
                          (uint32_t{blue[i]} >> 8) << 16 | 0xFF000000U;
            }
        } catch (const std::exception& e) {
            r.error = e.what();
        }
    } else if (TIFFRGBAImageBegin(&image, tif, 1, message) != 0) {
        image.req_orientation = image.orientation; // rows as stored
        if (TIFFRGBAImageGet(&image, rgba.data(), w, h) == 0) {
            r.error = "libtiff cannot decode " + path;
        }
        TIFFRGBAImageEnd(&image);
    } else {
        r.error = message;
    }
    TIFFClose(tif);
    if (!r.error.empty()) {
        return r;
    }
    const int iw = static_cast<int>(w);
    const int ih = static_cast<int>(h);
    const bool sideways = orientation >= 5 && orientation <= 8;
    r.width = sideways ? ih : iw;
    r.height = sideways ? iw : ih;
    r.channels = channels;
    r.pixels.resize(size_t{w} * h * static_cast<size_t>(channels));
    for (int y = 0; y < ih; ++y) {
        for (int x = 0; x < iw; ++x) {
            // Where stored pixel (x, y) stands on the upright page.
            int ux = x, uy = y;
            switch (orientation) {
            case 2:
                ux = iw - 1 - x;
                break;
            case 3:
                ux = iw - 1 - x;
                uy = ih - 1 - y;
                break;
            case 4:
                uy = ih - 1 - y;
                break;
            case 5:
                ux = y;
                uy = x;
                break;
            case 6:
                ux = ih - 1 - y;
                uy = x;
                break;
            case 7:
                ux = ih - 1 - y;
                uy = iw - 1 - x;
                break;
            case 8:
                ux = y;
                uy = iw - 1 - x;
                break;
            default:
                break;
            }
            const uint32_t p = rgba[static_cast<size_t>(y) * w + static_cast<size_t>(x)];
            const uint32_t a = TIFFGetA(p);
            const uint32_t rgb[3] = {TIFFGetR(p), TIFFGetG(p), TIFFGetB(p)};
            for (int c = 0; c < channels; ++c) {
                // Laid over white: what the alpha leaves shows white.
                const uint32_t shown =
                    premultiplied ? rgb[c] + 255 - a : (rgb[c] * a + 255 * (255 - a) + 127) / 255;
                r.pixels[(static_cast<size_t>(uy) * static_cast<size_t>(r.width) +
                          static_cast<size_t>(ux)) *
                             static_cast<size_t>(channels) +
                         static_cast<size_t>(c)] = static_cast<uint8_t>(std::min(255U, shown));
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
    in >> magic;
    if (magic == "P7") {
        // WIDTH, HEIGHT, DEPTH, MAXVAL, TUPLTYPE lines up to ENDHDR.
        for (std::string key; in >> key && key != "ENDHDR";) {
            if (key == "WIDTH") {
                in >> r.width;
            } else if (key == "HEIGHT") {
                in >> r.height;
            } else if (key == "DEPTH") {
                in >> r.channels;
            } else if (key == "MAXVAL") {
                in >> maxval;
            } else {
                in >> key;
            }
        }
    } else {
        in >> r.width >> r.height >> maxval;
        r.channels = magic == "P5" ? 1 : 3;
    }
    in.get();
    if ((magic != "P5" && magic != "P6" && magic != "P7") || maxval != 255 || r.width <= 0 ||
        r.height <= 0 || r.channels <= 0) {
        r.error = "unexpected PNM header " + magic;
        return r;
    }
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

raster cmykpage(reader r, const std::string& pdf, int page, int dpi, int factor) {
    tempdir dir;
    const std::string p = std::to_string(page);
    if (r == reader::mupdf) {
        const std::string out = dir.file("page.pam");
        const std::string command = "mutool draw -q -r " + std::to_string(dpi) +
                                    " -A 0 -c cmyk -o '" + out + "' '" + pdf + "' " + p;
        const commandresult result = runcommand(command);
        raster image = sampled(readpnm(out), factor);
        if (result.status != 0 || !image.error.empty()) {
            image.error += " [" + command + "] " + result.output;
        }
        return image;
    }
    const std::string command =
        "pdfimages -f " + p + " -l " + p + " -tiff '" + pdf + "' '" + dir.file("image") + "'";
    const commandresult result = runcommand(command);
    raster image = storedsamples(dir.file("image-000.tif"), 1);
    if (!image.error.empty()) {
        image.error += " [" + command + "] " + result.output;
    }
    return image;
}

raster storedsamples(const std::string& path, uint16_t page) {
    raster image;
    try {
        image.pixels = decodetiff(path, page);
    } catch (const std::exception& e) {
        image.error = e.what();
        return image;
    }
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    TIFFSetDirectory(tif, static_cast<tdir_t>(page - 1));
    uint32_t w = 0, h = 0;
    uint16_t samples = 1;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFClose(tif);
    image.width = static_cast<int>(w);
    image.height = static_cast<int>(h);
    image.channels = samples;
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
