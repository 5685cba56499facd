#include "jpegfixtures.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include <jpeglib.h>

namespace ovintest {

namespace {

// libjpeg reports errors through error_exit, which must not return: jump
// back to the setjmp of the job. Each job lives on the heap, so nothing that
// changes between setjmp and longjmp sits in the jumping function's frame.
struct errorhandler {
    jpeg_error_mgr pub; // first, so that libjpeg's pointer is ours
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
};

void onerror(j_common_ptr cinfo) {
    auto* handler = reinterpret_cast<errorhandler*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, handler->message);
    std::longjmp(handler->jump, 1);
}

void quiet(j_common_ptr, int) {}

void sethandler(errorhandler& handler) {
    jpeg_std_error(&handler.pub);
    handler.pub.error_exit = onerror;
    handler.pub.emit_message = quiet;
}

struct compressjob {
    errorhandler err;
    jpeg_compress_struct cinfo{};
    unsigned char* out = nullptr;
    unsigned long outsize = 0;
};

struct decompressjob {
    errorhandler err;
    jpeg_decompress_struct cinfo{};
    decodedjpeg result;
};

} // namespace

std::vector<uint8_t> exifpayload(const exiftags& tags) {
    std::vector<uint8_t> out = {'E', 'x', 'i', 'f', 0, 0};
    const auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = tags.bigendian ? 8 * (bytes - 1 - i) : 8 * i;
            out.push_back(static_cast<uint8_t>(v >> shift));
        }
    };
    struct entry {
        uint16_t tag, type;
        uint32_t value; // a short, or a whole number as a rational
    };
    std::vector<entry> entries;
    if (tags.orientation != 0) {
        entries.push_back({274, 3, tags.orientation});
    }
    if (tags.xresolution != 0) {
        entries.push_back({282, 5, tags.xresolution});
    }
    if (tags.yresolution != 0) {
        entries.push_back({283, 5, tags.yresolution});
    }
    if (tags.unit != 0) {
        entries.push_back({296, 3, tags.unit});
    }
    out.insert(out.end(), {tags.bigendian ? uint8_t('M') : uint8_t('I'),
                           tags.bigendian ? uint8_t('M') : uint8_t('I')});
    put(42, 2);
    put(8, 4);
    put(static_cast<uint32_t>(entries.size()), 2);
    // Rationals follow the directory and its next-directory field.
    uint32_t extra = 8 + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
    for (const entry& e : entries) {
        put(e.tag, 2);
        put(e.type, 2);
        put(1, 4);
        if (e.type == 3) {
            put(e.value, 2);
            put(0, 2);
        } else {
            put(extra, 4);
            extra += 8;
        }
    }
    put(0, 4);
    for (const entry& e : entries) {
        if (e.type == 5) {
            put(e.value, 4);
            put(1, 4);
        }
    }
    return out;
}

std::vector<jpegmarker> iccmarkers(const std::vector<uint8_t>& profile, size_t chunks) {
    std::vector<jpegmarker> out;
    const size_t size = (profile.size() + chunks - 1) / chunks;
    for (size_t i = 0; i < chunks; ++i) {
        jpegmarker m{0xE2,
                     {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0,
                      static_cast<uint8_t>(i + 1), static_cast<uint8_t>(chunks)}};
        const size_t from = std::min(profile.size(), i * size);
        const size_t to = std::min(profile.size(), from + size);
        m.payload.insert(m.payload.end(), profile.begin() + static_cast<long>(from),
                         profile.begin() + static_cast<long>(to));
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<uint8_t> makejpeg(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixels,
                              const jpegoptions& options) {
    const int comps = options.components;
    if ((comps != 1 && comps != 3 && comps != 4) || width == 0 || height == 0 ||
        pixels.size() < size_t{width} * height * comps) {
        return {};
    }
    auto job = std::make_unique<compressjob>();
    jpeg_compress_struct& c = job->cinfo;
    sethandler(job->err);
    c.err = &job->err.pub;
    if (setjmp(job->err.jump) != 0) {
        jpeg_destroy_compress(&c);
        std::free(job->out);
        return {};
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &job->out, &job->outsize);
    c.image_width = width;
    c.image_height = height;
    c.input_components = comps;
    c.in_color_space = comps == 1 ? JCS_GRAYSCALE : comps == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, options.quality, TRUE);
    if (options.progressive) {
        jpeg_simple_progression(&c);
    }
    c.arith_code = options.arithmetic ? TRUE : FALSE;
    c.write_JFIF_header = options.jfif ? TRUE : FALSE;
    c.density_unit = options.densityunit;
    c.X_density = options.xdensity;
    c.Y_density = options.ydensity;
    if (comps == 4) {
        c.write_Adobe_marker = options.adobe ? TRUE : FALSE;
    }
    jpeg_start_compress(&c, TRUE);
    if (options.exif) {
        const std::vector<uint8_t> exif = exifpayload({});
        jpeg_write_marker(&c, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    }
    for (const jpegmarker& m : options.extra) {
        jpeg_write_marker(&c, m.code, m.payload.data(), static_cast<unsigned>(m.payload.size()));
    }
    const size_t rowsize = size_t{width} * comps;
    while (c.next_scanline < c.image_height) {
        // libjpeg does not write through the row pointer; its API is not const.
        JSAMPROW row = const_cast<uint8_t*>(pixels.data()) + c.next_scanline * rowsize;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> result(job->out, job->out + job->outsize);
    jpeg_destroy_compress(&c);
    std::free(job->out);
    return result;
}

std::vector<uint8_t> jpegpattern(uint32_t width, uint32_t height, int components) {
    std::vector<uint8_t> px;
    px.reserve(size_t{width} * height * components);
    const uint32_t wmax = std::max<uint32_t>(width - 1, 1);
    const uint32_t hmax = std::max<uint32_t>(height - 1, 1);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            // A centre block in a flat colour on smooth gradients.
            const bool centre =
                x >= width / 3 && x < 2 * width / 3 && y >= height / 3 && y < 2 * height / 3;
            for (int c = 0; c < components; ++c) {
                uint32_t v = 0;
                switch (c) {
                case 0:
                    v = x * 255 / wmax;
                    break;
                case 1:
                    v = y * 255 / hmax;
                    break;
                case 2:
                    v = (x + y) * 255 / (wmax + hmax);
                    break;
                default:
                    v = 40;
                    break;
                }
                if (centre) {
                    v = c == 0 ? 230 : c == 1 ? 40 : 60;
                }
                px.push_back(static_cast<uint8_t>(v));
            }
        }
    }
    return px;
}

decodedjpeg decodejpeg(const std::vector<uint8_t>& bytes, bool headeronly) {
    auto job = std::make_unique<decompressjob>();
    jpeg_decompress_struct& d = job->cinfo;
    sethandler(job->err);
    d.err = &job->err.pub;
    if (setjmp(job->err.jump) != 0) {
        job->result.ok = false;
        job->result.error = job->err.message;
        jpeg_destroy_decompress(&d);
        return std::move(job->result);
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d, TRUE);
    decodedjpeg& r = job->result;
    r.headerok = true;
    r.width = d.image_width;
    r.height = d.image_height;
    r.components = d.num_components;
    r.adobe = d.saw_Adobe_marker != 0;
    r.adobetransform = d.Adobe_transform;
    if (headeronly) {
        jpeg_destroy_decompress(&d);
        return std::move(job->result);
    }
    d.out_color_space = d.num_components == 1   ? JCS_GRAYSCALE
                        : d.num_components == 3 ? JCS_RGB
                                                : JCS_CMYK;
    jpeg_start_decompress(&d);
    const size_t rowsize = size_t{d.output_width} * d.output_components;
    r.pixels.resize(rowsize * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = r.pixels.data() + d.output_scanline * rowsize;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    r.ok = true;
    return std::move(job->result);
}

decodedjpeg decodejpegfile(const std::string& path, bool headeronly) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        decodedjpeg r;
        r.error = "cannot read " + path;
        return r;
    }
    return decodejpeg(bytes, headeronly);
}

bool savejpeg(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

jpegbytes& jpegbytes::marker(uint8_t code) {
    bytes_.push_back(0xFF);
    bytes_.push_back(code);
    return *this;
}

void jpegbytes::word(uint16_t w) {
    bytes_.push_back(static_cast<uint8_t>(w >> 8));
    bytes_.push_back(static_cast<uint8_t>(w & 0xFF));
}

jpegbytes& jpegbytes::segment(uint8_t code, const std::vector<uint8_t>& payload) {
    return segment(code, static_cast<uint16_t>(payload.size() + 2), payload);
}

jpegbytes& jpegbytes::segment(uint8_t code, uint16_t length, const std::vector<uint8_t>& payload) {
    marker(code);
    word(length);
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    return *this;
}

jpegbytes& jpegbytes::jfif(uint8_t units, uint16_t x, uint16_t y, size_t thumbnail) {
    std::vector<uint8_t> p = {'J',
                              'F',
                              'I',
                              'F',
                              0,
                              1,
                              2,
                              units,
                              static_cast<uint8_t>(x >> 8),
                              static_cast<uint8_t>(x & 0xFF),
                              static_cast<uint8_t>(y >> 8),
                              static_cast<uint8_t>(y & 0xFF),
                              0,
                              0};
    p.resize(p.size() + thumbnail, 0x80);
    return segment(0xE0, p);
}

jpegbytes& jpegbytes::adobe(uint8_t transform) {
    return segment(0xEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, transform});
}

jpegbytes& jpegbytes::sof(uint8_t code, uint8_t precision, uint16_t height, uint16_t width,
                          uint8_t components) {
    std::vector<uint8_t> p = {precision,
                              static_cast<uint8_t>(height >> 8),
                              static_cast<uint8_t>(height & 0xFF),
                              static_cast<uint8_t>(width >> 8),
                              static_cast<uint8_t>(width & 0xFF),
                              components};
    for (uint8_t i = 0; i < components; ++i) {
        p.insert(p.end(), {static_cast<uint8_t>(i + 1), 0x11, 0});
    }
    return segment(code, p);
}

jpegbytes& jpegbytes::sos() {
    // The quantisation table the scan's component uses, then the scan.
    std::vector<uint8_t> table(65, 1);
    table[0] = 0;
    segment(0xDB, table);
    return segment(0xDA, {1, 1, 0, 0, 63, 0});
}

jpegbytes& jpegbytes::raw(std::initializer_list<uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

jpegbytes& jpegbytes::raw(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

} // namespace ovintest
