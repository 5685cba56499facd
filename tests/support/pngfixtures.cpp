#include "pngfixtures.h"

#include "pdftools.h"

#include <lcms2.h>
#include <openjpeg.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace ovintest {

namespace {

// A deterministic sample for pixel (x, y), channel c, of `depth` bits.
uint32_t sample(uint32_t x, uint32_t y, uint32_t c, int depth, uint32_t entries = 0) {
    const uint32_t v = (x * 73 + y * 151 + c * 89 + (x ^ y) * 7) * 2654435761u >> 13;
    if (entries != 0) {
        return v % entries;
    }
    return depth == 16 ? ((v * 257) ^ (x * 977 + y * 31)) & 0xFFFF : v % (1u << depth);
}

// libpng's state on the heap, so nothing changes in the frame that calls
// setjmp; errors are libpng's own (printed) and end in an exception.
struct pngjob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool reading = false;
    std::vector<uint8_t> bytes;
    size_t at = 0;
    ~pngjob() {
        if (reading) {
            png_destroy_read_struct(&png, &info, nullptr);
        } else {
            png_destroy_write_struct(&png, &info);
        }
    }
};

void pngwrite(png_structp png, png_bytep data, size_t n) {
    auto* job = static_cast<pngjob*>(png_get_io_ptr(png));
    job->bytes.insert(job->bytes.end(), data, data + n);
}

void pngread(png_structp png, png_bytep data, size_t n) {
    auto* job = static_cast<pngjob*>(png_get_io_ptr(png));
    if (job->bytes.size() - job->at < n) {
        png_error(png, "short");
    }
    std::memcpy(data, job->bytes.data() + job->at, n);
    job->at += n;
}

void append(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

std::vector<uint8_t> jp2box(const char* type, const std::vector<uint8_t>& body) {
    const size_t n = body.size() + 8;
    std::vector<uint8_t> b = {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8),
                              uint8_t(n),       uint8_t(type[0]), uint8_t(type[1]),
                              uint8_t(type[2]), uint8_t(type[3])};
    append(b, body);
    return b;
}

// A resc or resd box: the same resolution both ways, in pixels per metre
// as N * 10^exponent.
std::vector<uint8_t> resbox(const char* type, uint16_t dpi, int exponent) {
    const auto n = static_cast<uint16_t>(std::lround(dpi / 0.0254 / std::pow(10, exponent)));
    const auto e = static_cast<uint8_t>(exponent);
    return jp2box(type,
                  {uint8_t(n >> 8), uint8_t(n), 0, 1, uint8_t(n >> 8), uint8_t(n), 0, 1, e, e});
}

} // namespace

std::vector<uint8_t> makepng(const pngoptions& o) {
    const bool palette = o.colourtype == PNG_COLOR_TYPE_PALETTE;
    const uint32_t entries = palette ? (o.depth == 8 ? 200 : 1u << o.depth) : 0;
    const uint32_t channels = o.colourtype == 2   ? 3
                              : o.colourtype == 4 ? 2
                              : o.colourtype == 6 ? 4
                                                  : 1;
    const size_t rowbytes = (size_t{o.width} * channels * o.depth + 7) / 8;
    std::vector<uint8_t> pixels(rowbytes * o.height);
    for (uint32_t y = 0; y < o.height; ++y) {
        for (uint32_t x = 0; x < o.width; ++x) {
            for (uint32_t c = 0; c < channels; ++c) {
                const uint32_t v = sample(x, y, c, o.depth, entries);
                const size_t bit = (size_t{x} * channels + c) * o.depth;
                uint8_t* at = pixels.data() + y * rowbytes + bit / 8;
                if (o.depth == 16) {
                    at[0] = uint8_t(v >> 8);
                    at[1] = uint8_t(v);
                } else {
                    at[0] = uint8_t(at[0] | v << (8 - o.depth - bit % 8));
                }
            }
        }
    }
    std::vector<png_bytep> rows(o.height);
    for (uint32_t y = 0; y < o.height; ++y) {
        rows[y] = pixels.data() + y * rowbytes;
    }
    std::vector<png_color> colours(entries);
    std::vector<png_byte> alphas(entries);
    for (uint32_t i = 0; i < entries; ++i) {
        colours[i] = {uint8_t(i * 53), uint8_t(i * 97 + 20), uint8_t(i * 31 + 90)};
        alphas[i] = uint8_t(i * 71);
    }
    png_color_16 key{};
    key.gray = key.red = static_cast<png_uint_16>(sample(0, 0, 0, o.depth));
    key.green = static_cast<png_uint_16>(sample(0, 0, 1, o.depth));
    key.blue = static_cast<png_uint_16>(sample(0, 0, 2, o.depth));
    const std::vector<uint8_t> exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                                       1,   18,  0, 3,  0, 0, 0, 1, 0, uint8_t(o.orientation),
                                       0,   0,   0, 0,  0, 0};

    auto job = std::make_unique<pngjob>();
    job->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    job->info = png_create_info_struct(job->png);
    if (setjmp(png_jmpbuf(job->png)) != 0) {
        throw std::runtime_error("libpng could not write the file");
    }
    png_set_write_fn(job->png, job.get(), pngwrite, nullptr);
    png_set_IHDR(job->png, job->info, o.width, o.height, o.depth, o.colourtype,
                 o.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) {
        png_set_PLTE(job->png, job->info, colours.data(), static_cast<int>(entries));
    }
    if (o.transparency) {
        png_set_tRNS(job->png, job->info, alphas.data(), static_cast<int>(entries), &key);
    }
    if (o.ppm != 0) {
        png_set_pHYs(job->png, job->info, o.ppm, o.ppm, PNG_RESOLUTION_METER);
    }
    if (!o.icc.empty()) {
        png_set_iCCP(job->png, job->info, "profile", 0, o.icc.data(),
                     static_cast<png_uint_32>(o.icc.size()));
    }
    if (o.orientation != 0) {
        png_set_eXIf_1(job->png, job->info, static_cast<png_uint_32>(exif.size()),
                       const_cast<png_bytep>(exif.data()));
    }
    png_write_info(job->png, job->info);
    png_write_image(job->png, rows.data());
    png_write_end(job->png, nullptr);
    return std::move(job->bytes);
}

raster decodepng(const std::vector<uint8_t>& file) {
    auto job = std::make_unique<pngjob>();
    job->reading = true;
    job->bytes = file;
    job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    job->info = png_create_info_struct(job->png);
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(job->png)) != 0) {
        throw std::runtime_error("libpng could not read the file");
    }
    png_set_read_fn(job->png, job.get(), pngread);
    png_read_info(job->png, job->info);
    png_set_expand(job->png);
    png_set_gray_to_rgb(job->png);
    png_set_interlace_handling(job->png);
    png_read_update_info(job->png, job->info);
    const size_t rowbytes = png_get_rowbytes(job->png, job->info);
    const uint32_t height = png_get_image_height(job->png, job->info);
    pixels.resize(rowbytes * height);
    for (uint32_t y = 0; y < height; ++y) {
        rows.push_back(pixels.data() + y * rowbytes);
    }
    png_read_image(job->png, rows.data());

    raster r;
    r.width = static_cast<int>(png_get_image_width(job->png, job->info));
    r.height = static_cast<int>(height);
    r.channels = 3;
    const size_t channels = png_get_channels(job->png, job->info);
    const size_t bps = png_get_bit_depth(job->png, job->info) / 8;
    for (size_t at = 0; at < pixels.size(); at += channels * bps) {
        const int alpha = channels == 4 ? pixels[at + 3 * bps] : 255;
        for (size_t c = 0; c < 3; ++c) {
            const int v = pixels[at + c * bps];
            r.pixels.push_back(static_cast<uint8_t>((v * alpha + 255 * (255 - alpha) + 127) / 255));
        }
    }
    return r;
}

std::vector<uint8_t> makejp2(const jp2options& o) {
    std::vector<opj_image_cmptparm_t> parms(static_cast<size_t>(o.components));
    for (auto& p : parms) {
        p = {};
        p.dx = p.dy = 1;
        p.w = o.width;
        p.h = o.height;
        p.prec = 8;
    }
    std::unique_ptr<opj_image_t, void (*)(opj_image_t*)> image(
        opj_image_create(static_cast<OPJ_UINT32>(o.components), parms.data(),
                         o.components == 1 ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB),
        opj_image_destroy);
    image->x1 = o.width;
    image->y1 = o.height;
    for (uint32_t c = 0; c < image->numcomps; ++c) {
        for (uint32_t i = 0; i < o.width * o.height; ++i) {
            image->comps[c].data[i] =
                static_cast<OPJ_INT32>(sample(i % o.width, i / o.width, c, 8));
        }
    }
    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.tcp_rates[0] = 0; // lossless
    parameters.cp_disto_alloc = 1;
    parameters.numresolution = 3; // small pictures
    parameters.tcp_mct = o.components == 3 ? 1 : 0;
    tempdir dir;
    const std::string path = dir.file("image");
    std::unique_ptr<opj_codec_t, void (*)(opj_codec_t*)> codec(
        opj_create_compress(o.codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2), opj_destroy_codec);
    std::unique_ptr<opj_stream_t, void (*)(opj_stream_t*)> stream(
        opj_stream_create_default_file_stream(path.c_str(), OPJ_FALSE), opj_stream_destroy);
    if (!opj_setup_encoder(codec.get(), &parameters, image.get()) ||
        !opj_start_compress(codec.get(), image.get(), stream.get()) ||
        !opj_encode(codec.get(), stream.get()) || !opj_end_compress(codec.get(), stream.get())) {
        throw std::runtime_error("OpenJPEG could not write the file");
    }
    stream.reset();
    const std::string written = readbytes(path);
    std::vector<uint8_t> bytes(written.begin(), written.end());
    if (o.codestream || (o.displaydpi == 0 && o.capturedpi == 0 && o.icc.empty())) {
        return bytes;
    }
    // OpenJPEG writes signature, ftyp, jp2h (ihdr, colr) and jp2c: the
    // header box is rebuilt with the profile and the resolution boxes.
    const auto be32at = [&](size_t at) {
        return size_t{bytes[at]} << 24 | size_t{bytes[at + 1]} << 16 | size_t{bytes[at + 2]} << 8 |
               bytes[at + 3];
    };
    size_t at = 0;
    while (std::memcmp(&bytes[at + 4], "jp2h", 4) != 0) {
        at += be32at(at);
    }
    const size_t end = at + be32at(at);
    std::vector<uint8_t> body(bytes.begin() + static_cast<long>(at) + 8,
                              bytes.begin() + static_cast<long>(end));
    if (!o.icc.empty()) {
        body.resize(22); // the ihdr box only
        std::vector<uint8_t> colr = {2, 0, 0};
        append(colr, o.icc);
        append(body, jp2box("colr", colr));
    }
    std::vector<uint8_t> res;
    if (o.capturedpi != 0) {
        append(res, resbox("resc", o.capturedpi, 0));
    }
    if (o.displaydpi != 0) {
        append(res, resbox("resd", o.displaydpi, 1));
    }
    if (!res.empty()) {
        append(body, jp2box("res ", res));
    }
    std::vector<uint8_t> out(bytes.begin(), bytes.begin() + static_cast<long>(at));
    append(out, jp2box("jp2h", body));
    out.insert(out.end(), bytes.begin() + static_cast<long>(end), bytes.end());
    return out;
}

raster decodejp2(const std::vector<uint8_t>& file) {
    tempdir dir;
    const std::string path = dir.file("image");
    writebytes(path, std::string(file.begin(), file.end()));
    const bool j2k = file.size() > 2 && file[0] == 0xFF && file[1] == 0x4F;
    std::unique_ptr<opj_codec_t, void (*)(opj_codec_t*)> codec(
        opj_create_decompress(j2k ? OPJ_CODEC_J2K : OPJ_CODEC_JP2), opj_destroy_codec);
    std::unique_ptr<opj_stream_t, void (*)(opj_stream_t*)> stream(
        opj_stream_create_default_file_stream(path.c_str(), OPJ_TRUE), opj_stream_destroy);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_image_t* decoded = nullptr;
    const bool ok = opj_setup_decoder(codec.get(), &parameters) &&
                    opj_read_header(stream.get(), codec.get(), &decoded);
    std::unique_ptr<opj_image_t, void (*)(opj_image_t*)> image(decoded, opj_image_destroy);
    if (!ok || !opj_decode(codec.get(), stream.get(), image.get()) ||
        !opj_end_decompress(codec.get(), stream.get())) {
        throw std::runtime_error("OpenJPEG could not read the file");
    }
    raster r;
    r.width = static_cast<int>(image->comps[0].w);
    r.height = static_cast<int>(image->comps[0].h);
    r.channels = 3;
    for (size_t i = 0; i < size_t{image->comps[0].w} * image->comps[0].h; ++i) {
        for (uint32_t c = 0; c < 3; ++c) {
            r.pixels.push_back(
                static_cast<uint8_t>(image->comps[image->numcomps == 1 ? 0 : c].data[i]));
        }
    }
    return r;
}

std::vector<uint8_t> iccprofile(bool grey) {
    const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsHPROFILE profile =
        grey ? cmsCreateGrayProfile(cmsD50_xyY(), curve) : cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    std::fill(bytes.begin() + 24, bytes.begin() + 36,
              0); // a fixed creation time: same bytes every run
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

} // namespace ovintest
