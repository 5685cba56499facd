#include "ocr/ocrpixels.h"

#include "compression/inflate.h"

#include "posixio.h"
#include "readers/bytesource.h"
#include "readers/tiff/tiffstream.h"

#include "jpegglue.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace ovin {

namespace {

// The display of a page turned by its /Rotate (clockwise), from user space,
// and back.
affine rotation(int degrees, long double w, long double h) {
    switch (degrees) {
    case 90:
        return {0, -1, 1, 0, 0, w};
    case 180:
        return {-1, 0, 0, -1, w, h};
    case 270:
        return {0, 1, -1, 0, h, 0};
    default:
        return {};
    }
}
affine unrotation(int degrees, long double w, long double h) {
    switch (degrees) {
    case 90:
        return {0, 1, -1, 0, w, 0};
    case 180:
        return {-1, 0, 0, -1, w, h};
    case 270:
        return {0, -1, 1, 0, 0, h};
    default:
        return {};
    }
}

// The image's stream as the page holds it.
bool streambytes(const imagedesc& image, std::vector<uint8_t>& bytes) {
    if (!image.stored.file) {
        bytes = image.data;
        return true;
    }
    bytes.resize(image.stored.length);
    return readallat(image.stored.file->get(), bytes.data(), bytes.size(), image.stored.offset);
}

// JPEG data decoded into samples of its own components (1, 3 or 4).
std::string decodejpeg(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& out) {
    jpeg_decompress_struct cinfo{};
    imaging::JpegErrorManager errors{};
    cinfo.err = imaging::quietErrorManager(errors);
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return "the JPEG data cannot be decoded";
    }
    jpeg_create_decompress(&cinfo);
    imaging::limitMemory(reinterpret_cast<j_common_ptr>(&cinfo));
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = cinfo.num_components == 1   ? JCS_GRAYSCALE
                            : cinfo.num_components == 4 ? JCS_CMYK
                                                        : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t{cinfo.output_width} * static_cast<size_t>(cinfo.output_components);
    out.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.data() + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return {};
}

void put16(std::vector<uint8_t>& t, size_t at, uint32_t v) {
    t[at] = static_cast<uint8_t>(v);
    t[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t>& t, size_t at, uint32_t v) {
    put16(t, at, v & 0xFFFF);
    put16(t, at + 2, v >> 16);
}

// What a TIFF of one strip says of its data, for libtiff to decode it.
struct stripcoding {
    uint32_t compression = 1;
    uint32_t bits = 1;
    uint32_t samples = 1;
    uint32_t photometric = 1;
    uint32_t predictor = 1;
    uint32_t t4options = 0;
};

// CCITT data decoded by libtiff (wrapped in a little-endian TIFF of
// one strip) into packed rows of samples.
std::string decodestrip(const imagedesc& image, const std::vector<uint8_t>& bytes,
                        const stripcoding& coding, std::vector<uint8_t>& out) {
    const auto w = static_cast<uint32_t>(image.width);
    const auto h = static_cast<uint32_t>(image.height);
    struct entry {
        uint16_t tag, type;
        uint32_t value;
    };
    const std::array<entry, 11> entries{{
        {256, 4, w},
        {257, 4, h},
        {258, 3, coding.bits},
        {259, 3, coding.compression},
        {262, 3, coding.photometric},
        {273, 4, 0}, // the strip, after the directory
        {277, 3, coding.samples},
        {278, 4, h},
        {279, 4, static_cast<uint32_t>(bytes.size())},
        {292, 4, coding.t4options},
        {317, 3, coding.predictor},
    }};
    const size_t directory = 8 + 2 + entries.size() * 12 + 4;
    std::vector<uint8_t> tiff(directory);
    std::memcpy(tiff.data(), "II*\0", 4);
    put32(tiff, 4, 8);
    put16(tiff, 8, static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t at = 10 + i * 12;
        put16(tiff, at, entries[i].tag);
        put16(tiff, at + 2, entries[i].type);
        put32(tiff, at + 4, 1);
        const uint32_t value =
            entries[i].tag == 273 ? static_cast<uint32_t>(directory) : entries[i].value;
        if (entries[i].type == 3) {
            put16(tiff, at + 8, value);
        } else {
            put32(tiff, at + 8, value);
        }
    }
    tiff.insert(tiff.end(), bytes.begin(), bytes.end());
    memorysource source(tiff);
    const size_t rowbytes = (size_t{w} * coding.samples * coding.bits + 7) / 8;
    tiffstream stream(source, uint64_t{rowbytes} * h + (1U << 20));
    if (!stream.isopen() || !stream.setdirectory(8)) {
        return "its data cannot be read: " + stream.error();
    }
    out.assign(rowbytes * h, 0);
    // A damaged row ends the data early; what was decoded stays.
    TIFFReadEncodedStrip(stream.handle(), 0, out.data(), static_cast<tmsize_t>(out.size()));
    return {};
}

// Packed samples into 8-bit grey, one byte a pixel.
std::string samplestogrey(const imagedesc& image, const std::vector<uint8_t>& samples, int bits,
                          std::vector<uint8_t>& grey) {
    const auto w = static_cast<size_t>(image.width);
    const auto h = static_cast<size_t>(image.height);
    const int n = components(image.colour);
    const size_t rowbytes = (w * static_cast<size_t>(n) * static_cast<size_t>(bits) + 7) / 8;
    if (image.colour == colourspace::none ||
        (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)) {
        return "its samples are not described";
    }
    if (samples.size() / rowbytes < h) {
        return "its data is shorter than its pixels";
    }
    const uint32_t most = bits == 16 ? 65535U : (1U << bits) - 1;
    const auto sample = [&](const uint8_t* row, size_t i) -> uint32_t {
        switch (bits) {
        case 8:
            return row[i];
        case 16:
            return uint32_t{row[2 * i]} << 8 | row[2 * i + 1];
        default: {
            const size_t bit = i * static_cast<size_t>(bits);
            return (row[bit / 8] >> (8 - bits - static_cast<int>(bit % 8))) & most;
        }
        }
    };
    const auto level = [&](uint32_t v) {
        if (image.decodeinverted) {
            v = most - v;
        }
        return image.colour == colourspace::indexed ? v : v * 255 / most;
    };
    const size_t entries = image.palette.size() / 3;
    grey.resize(w * h);
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* row = samples.data() + y * rowbytes;
        uint8_t* to = grey.data() + y * w;
        for (size_t x = 0; x < w; ++x) {
            const size_t i = x * static_cast<size_t>(n);
            uint32_t v = 0;
            switch (image.colour) {
            case colourspace::gray:
                v = level(sample(row, i));
                break;
            case colourspace::rgb:
                v = (299 * level(sample(row, i)) + 587 * level(sample(row, i + 1)) +
                     114 * level(sample(row, i + 2))) /
                    1000;
                break;
            case colourspace::cmyk: {
                const uint32_t ink = (30 * level(sample(row, i)) + 59 * level(sample(row, i + 1)) +
                                      11 * level(sample(row, i + 2))) /
                                         100 +
                                     level(sample(row, i + 3));
                v = 255 - std::min<uint32_t>(ink, 255);
                break;
            }
            default: {
                const size_t e = std::min<size_t>(level(sample(row, i)), entries - 1);
                if (entries > 0) {
                    const uint8_t* rgb = &image.palette[e * 3];
                    v = (299U * rgb[0] + 587U * rgb[1] + 114U * rgb[2]) / 1000;
                }
                break;
            }
            }
            to[x] = static_cast<uint8_t>(v);
        }
    }
    return {};
}

} // namespace

orientation turned(orientation upright, int degrees) {
    // Each orientation as where the stored picture's x and y axes go (a
    // matrix of 0 and ±1), composed with the turn.
    struct axes {
        int a, b, c, d; // x' = a x + c y, y' = b x + d y, y down
    };
    static constexpr std::array<axes, 8> kAxes{{
        {1, 0, 0, 1},   // normal
        {-1, 0, 0, 1},  // mirrored
        {-1, 0, 0, -1}, // half turn
        {1, 0, 0, -1},  // flipped
        {0, 1, 1, 0},   // transposed
        {0, 1, -1, 0},  // quarter clockwise
        {0, -1, -1, 0}, // transversed
        {0, -1, 1, 0},  // quarter anticlockwise
    }};
    const axes from = kAxes[static_cast<size_t>(upright) - 1];
    axes to = from;
    for (int k = 0; k < ((degrees / 90) % 4 + 4) % 4; ++k) {
        // A quarter turn clockwise with y down: (x, y) -> (-y, x).
        to = {-to.b, to.a, -to.d, to.c};
    }
    for (size_t i = 0; i < kAxes.size(); ++i) {
        const axes& e = kAxes[i];
        if (e.a == to.a && e.b == to.b && e.c == to.c && e.d == to.d) {
            return static_cast<orientation>(i + 1);
        }
    }
    return upright;
}

ocrview viewof(const imagedesc& image, const pagelayout& layout) {
    const pageplacement placed = placeimage(image, layout, "/I");
    const long double w = image.width;
    const long double h = image.height;
    const affine onpage = affine{1 / w, 0, 0, -1 / h, 0, 1}.then(placed.image);
    const affine shown = onpage.then(rotation(placed.rotate, placed.width, placed.height));
    const bool swap = std::fabs(shown.a) < std::fabs(shown.c);
    long double minx = INFINITY, maxx = -INFINITY, miny = INFINITY, maxy = -INFINITY;
    for (const long double u : {0.0L, w}) {
        for (const long double v : {0.0L, h}) {
            minx = std::min(minx, shown.x(u, v));
            maxx = std::max(maxx, shown.x(u, v));
            miny = std::min(miny, shown.y(u, v));
            maxy = std::max(maxy, shown.y(u, v));
        }
    }
    ocrview view;
    view.width = swap ? image.height : image.width;
    view.height = swap ? image.width : image.height;
    const long double sx = (maxx - minx) / view.width;
    const long double sy = (maxy - miny) / view.height;
    // The shown pixel of a stored one, through the centres.
    const auto at = [&](int i, int j) {
        const long double u = i + 0.5L;
        const long double v = j + 0.5L;
        return std::array<int64_t, 2>{
            static_cast<int64_t>(std::lround((shown.x(u, v) - minx) / sx - 0.5L)),
            static_cast<int64_t>(std::lround((maxy - shown.y(u, v)) / sy - 0.5L))};
    };
    const auto origin = at(0, 0);
    const auto right = at(1, 0);
    const auto down = at(0, 1);
    const auto p = static_cast<int32_t>(right[0] - origin[0]);
    const auto r = static_cast<int32_t>(right[1] - origin[1]);
    const auto q = static_cast<int32_t>(down[0] - origin[0]);
    const auto s = static_cast<int32_t>(down[1] - origin[1]);
    // The inverse of a turn or mirror is its transpose.
    view.xx = p;
    view.xy = r;
    view.x0 = -(p * origin[0] + r * origin[1]);
    view.yx = q;
    view.yy = s;
    view.y0 = -(q * origin[0] + s * origin[1]);
    view.touser = affine{sx, 0, 0, sy, minx, miny}.then(
        unrotation(placed.rotate, placed.width, placed.height));
    return view;
}

std::string greypixels(const imagedesc& image, const ocrview& view, std::vector<uint8_t>& out) {
    if (image.width <= 0 || image.height <= 0) {
        return "it has no pixels";
    }
    const auto w = static_cast<size_t>(image.width);
    const auto h = static_cast<size_t>(image.height);
    std::vector<uint8_t> bytes;
    if (!streambytes(image, bytes)) {
        return "its data cannot be read";
    }
    std::vector<uint8_t> samples;
    int bits = image.bitspercomponent;
    imagedesc described; // the samples' description where decoding changes it
    const imagedesc* as = &image;
    switch (image.filter) {
    case pdffilter::none:
        samples = std::move(bytes);
        break;
    case pdffilter::flate: {
        const size_t n = static_cast<size_t>(components(image.colour));
        const size_t rowbytes = (w * n * static_cast<size_t>(bits) + 7) / 8;
        const int predictor = image.predictor.predictor;
        if (!inflaterows(bytes, rowbytes, h, std::max<size_t>(1, n * static_cast<size_t>(bits) / 8),
                         predictor >= 10, samples)) {
            return "its Flate data cannot be decoded";
        }
        if (predictor == 2) {
            if (bits != 8) {
                return "its TIFF predictor is not decoded here";
            }
            for (size_t y = 0; y < h && (y + 1) * rowbytes <= samples.size(); ++y) {
                uint8_t* row = samples.data() + y * rowbytes;
                for (size_t i = n; i < rowbytes; ++i) {
                    row[i] = static_cast<uint8_t>(row[i] + row[i - n]);
                }
            }
        }
        break;
    }
    case pdffilter::dct: {
        if (std::string why = decodejpeg(bytes, samples); !why.empty()) {
            return why;
        }
        bits = 8;
        // The decoder gives the colours themselves.
        described.width = image.width;
        described.height = image.height;
        described.colour = image.colour;
        described.decodeinverted = image.decodeinverted;
        if (samples.size() / w / h == 1) {
            described.colour = colourspace::gray;
        }
        as = &described;
        break;
    }
    case pdffilter::ccittfax: {
        const int32_t k = image.ccitt.k;
        // White is zero: libtiff's bits are 1 for black.
        if (std::string why =
                decodestrip(image, bytes, {k < 0 ? 4U : 3U, 1, 1, 0, 1, k > 0 ? 1U : 0U}, samples);
            !why.empty()) {
            return why;
        }
        if (!image.ccitt.blackis1) {
            // PDF's default: 0 bits are black.
            for (uint8_t& b : samples) {
                b = static_cast<uint8_t>(~b);
            }
        }
        bits = 1;
        break;
    }
    default:
        return "its coding is not decoded for recognition";
    }
    std::vector<uint8_t> grey;
    if (std::string why = samplestogrey(*as, samples, bits, grey); !why.empty()) {
        return why;
    }
    samples = {};
    // Turned and mirrored as shown; every corner must come from the image.
    const auto sw = static_cast<int64_t>(w);
    const auto sh = static_cast<int64_t>(h);
    for (const int64_t x : {int64_t{0}, int64_t{view.width} - 1}) {
        for (const int64_t y : {int64_t{0}, int64_t{view.height} - 1}) {
            const int64_t cx = view.xx * x + view.xy * y + view.x0;
            const int64_t cy = view.yx * x + view.yy * y + view.y0;
            if (cx < 0 || cy < 0 || cx >= sw || cy >= sh) {
                return "its turn on the page is not a quarter turn";
            }
        }
    }
    out.resize(size_t(view.width) * size_t(view.height));
    for (int64_t y = 0; y < view.height; ++y) {
        uint8_t* to = out.data() + y * view.width;
        int64_t sx = view.xy * y + view.x0;
        int64_t sy = view.yy * y + view.y0;
        if (view.xx == 1 && view.yx == 0 && sx == 0) {
            std::memcpy(to, grey.data() + sy * sw, size_t(view.width));
            continue;
        }
        for (int64_t x = 0; x < view.width; ++x, sx += view.xx, sy += view.yx) {
            to[x] = grey[size_t(sy * sw + sx)];
        }
    }
    return {};
}

} // namespace ovin
