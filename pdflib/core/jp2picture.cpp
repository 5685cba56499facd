#include "core/jp2picture.h"

#include <openjpeg.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>

namespace ovin {

namespace {

status cannotshow(const std::string& shown, const std::string& why) {
    return {OVINPDF_IMAGE_ERROR, shown + ": " + why};
}

// A bare codestream starts with its SOC marker; anything else is taken for
// a JP2 file.
bool barecodestream(const std::string& name) {
    std::array<unsigned char, 2> head{};
    const std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(name.c_str(), "rb"),
                                                             &std::fclose);
    return file && std::fread(head.data(), 1, head.size(), file.get()) == head.size() &&
           head[0] == 0xFF && head[1] == 0x4F;
}

} // namespace

status jp2picture(const std::string& name, const std::string& shown, uint32_t maxside,
                  imaging::Bitmap& out) {
    const std::unique_ptr<opj_codec_t, decltype(&opj_destroy_codec)> codec(
        opj_create_decompress(barecodestream(name) ? OPJ_CODEC_J2K : OPJ_CODEC_JP2),
        &opj_destroy_codec);
    const std::unique_ptr<opj_stream_t, decltype(&opj_stream_destroy)> stream(
        opj_stream_create_default_file_stream(name.c_str(), OPJ_TRUE), &opj_stream_destroy);
    if (!codec || !stream) {
        return cannotshow(shown, "its JPEG 2000 data cannot be opened");
    }
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_image_t* header = nullptr;
    const bool read = opj_setup_decoder(codec.get(), &parameters) != 0 &&
                      opj_read_header(stream.get(), codec.get(), &header) != 0;
    const std::unique_ptr<opj_image_t, decltype(&opj_image_destroy)> image(header,
                                                                           &opj_image_destroy);
    if (!read || !image || image->numcomps == 0) {
        return cannotshow(shown, "its JPEG 2000 header cannot be read");
    }
    // Each resolution level left out halves both sides.
    const uint32_t longer = std::max(image->x1 - image->x0, image->y1 - image->y0);
    uint32_t levels = 0;
    if (opj_codestream_info_v2_t* info = opj_get_cstr_info(codec.get())) {
        const uint32_t available = info->m_default_tile_info.tccp_info != nullptr
                                       ? info->m_default_tile_info.tccp_info[0].numresolutions
                                       : 1;
        opj_destroy_cstr_info(&info);
        while (levels + 1 < available && levels < 30 && (longer >> (levels + 1)) >= maxside) {
            ++levels;
        }
    }
    if ((levels > 0 && opj_set_decoded_resolution_factor(codec.get(), levels) == 0) ||
        opj_decode(codec.get(), stream.get(), image.get()) == 0 ||
        opj_end_decompress(codec.get(), stream.get()) == 0) {
        return cannotshow(shown, "its JPEG 2000 data cannot be decoded");
    }
    const opj_image_comp_t& first = image->comps[0];
    const uint32_t colours = image->numcomps >= 3 ? 3 : 1;
    for (uint32_t c = 0; c < colours; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        if (comp.data == nullptr || comp.w != first.w || comp.h != first.h || comp.prec == 0 ||
            comp.prec > 16) {
            return cannotshow(shown, "its JPEG 2000 components cannot be shown");
        }
    }
    if (image->color_space == OPJ_CLRSPC_SYCC || image->color_space == OPJ_CLRSPC_CMYK ||
        image->color_space == OPJ_CLRSPC_EYCC) {
        return cannotshow(shown, "its JPEG 2000 colour space cannot be shown");
    }
    std::optional<imaging::Bitmap> bitmap =
        imaging::makeBitmap(first.w, first.h, 24, imaging::kPhotometricRgb);
    if (!bitmap) {
        return cannotshow(shown, "its picture is too large to show");
    }
    const size_t pixels = size_t{first.w} * first.h;
    for (uint32_t c = 0; c < 3; ++c) {
        const opj_image_comp_t& comp = image->comps[colours == 3 ? c : 0];
        const int64_t offset = comp.sgnd != 0 ? int64_t{1} << (comp.prec - 1) : 0;
        const int64_t top = (int64_t{1} << comp.prec) - 1;
        for (size_t i = 0; i < pixels; ++i) {
            const int64_t v = std::clamp<int64_t>(comp.data[i] + offset, 0, top);
            bitmap->pixels[3 * i + c] = static_cast<uint8_t>(v * 255 / top);
        }
    }
    out = std::move(*bitmap);
    return {};
}

} // namespace ovin
