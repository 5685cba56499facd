#include "heifjxlfixtures.h"

#include <jxl/decode.h>
#include <jxl/encode.h>
#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <stdexcept>

namespace ovintest {

namespace {

// A smooth picture with some edges: interleaved samples of `channels`
// (alpha last), each `bits` deep (16-bit samples in the machine's order).
std::vector<uint8_t> pattern(const pictureoptions& o, int colours, int bits) {
    const int channels = colours + (o.alpha ? 1 : 0);
    std::vector<uint8_t> out;
    for (int y = 0; y < o.height; ++y) {
        for (int x = 0; x < o.width; ++x) {
            for (int c = 0; c < channels; ++c) {
                int v = c == colours ? 255 * (x + y) / (o.width + o.height)
                                     : (x * 255 / o.width + c * 80 + (y / 8 % 2) * 40) % 256;
                if (bits == 16) {
                    const auto wide = static_cast<uint16_t>(v * 257 + (x % 3));
                    out.push_back(static_cast<uint8_t>(wide & 0xFF));
                    out.push_back(static_cast<uint8_t>(wide >> 8));
                } else {
                    out.push_back(static_cast<uint8_t>(v));
                }
            }
        }
    }
    return out;
}

// RGB or RGBA 8-bit samples over white, as 8-bit RGB.
raster overwhite(int width, int height, int channels, const uint8_t* samples, size_t stride) {
    raster r{width, height, 3, {}, {}};
    const bool alpha = channels == 4 || channels == 2;
    const int colours = alpha ? channels - 1 : channels;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = samples + stride * static_cast<size_t>(y);
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + static_cast<size_t>(x * channels);
            const int a = alpha ? p[colours] : 255;
            for (int c = 0; c < 3; ++c) {
                const int v = p[colours == 1 ? 0 : c];
                r.pixels.push_back(static_cast<uint8_t>((v * a + 255 * (255 - a) + 127) / 255));
            }
        }
    }
    return r;
}

heif_error writebytes(heif_context*, const void* data, size_t size, void* userdata) {
    auto* out = static_cast<std::vector<uint8_t>*>(userdata);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

} // namespace

std::vector<uint8_t> makeheif(const pictureoptions& o, bool av1) {
    heif_init(nullptr);
    std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                        heif_context_free);
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(
            context.get(), av1 ? heif_compression_AV1 : heif_compression_HEVC, &encoder)
            .code != heif_error_Ok) {
        return {};
    }
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_image* image = nullptr;
    heif_image_create(o.width, o.height, heif_colorspace_RGB,
                      o.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, o.width, o.height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const std::vector<uint8_t> samples = pattern(o, 3, 8);
    const size_t row = static_cast<size_t>(o.width * (o.alpha ? 4 : 3));
    for (int y = 0; y < o.height; ++y) {
        std::memcpy(plane + static_cast<size_t>(stride * y), samples.data() + row * y, row);
    }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(o.orientation);
    const heif_error encoded =
        heif_context_encode_image(context.get(), image, encoder, options, nullptr);
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    if (encoded.code != heif_error_Ok) {
        throw std::runtime_error(std::string("libheif cannot encode: ") + encoded.message);
    }
    std::vector<uint8_t> file;
    heif_writer writer{1, writebytes};
    heif_context_write(context.get(), &writer, &file);
    return file;
}

raster decodeheif(const std::vector<uint8_t>& file) {
    std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                        heif_context_free);
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    if (heif_context_read_from_memory_without_copy(context.get(), file.data(), file.size(), nullptr)
                .code != heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok) {
        return {0, 0, 0, {}, "libheif cannot read it"};
    }
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    heif_decode_image(handle, &image, heif_colorspace_RGB,
                      alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    raster r = overwhite(heif_image_get_width(image, heif_channel_interleaved),
                         heif_image_get_height(image, heif_channel_interleaved), alpha ? 4 : 3,
                         plane, static_cast<size_t>(stride));
    heif_image_release(image);
    heif_image_handle_release(handle);
    return r;
}

namespace {

std::vector<uint8_t> finishjxl(JxlEncoder* encoder) {
    JxlEncoderCloseInput(encoder);
    std::vector<uint8_t> out(4096);
    uint8_t* next = out.data();
    size_t left = out.size();
    for (;;) {
        const JxlEncoderStatus s = JxlEncoderProcessOutput(encoder, &next, &left);
        if (s == JXL_ENC_SUCCESS) {
            break;
        }
        if (s != JXL_ENC_NEED_MORE_OUTPUT) {
            throw std::runtime_error("libjxl cannot encode");
        }
        const size_t used = static_cast<size_t>(next - out.data());
        out.resize(out.size() * 2);
        next = out.data() + used;
        left = out.size() - used;
    }
    out.resize(static_cast<size_t>(next - out.data()));
    return out;
}

} // namespace

std::vector<uint8_t> makejxl(const pictureoptions& o) {
    std::unique_ptr<JxlEncoder, decltype(&JxlEncoderDestroy)> encoder(JxlEncoderCreate(nullptr),
                                                                      JxlEncoderDestroy);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<uint32_t>(o.width);
    info.ysize = static_cast<uint32_t>(o.height);
    info.bits_per_sample = static_cast<uint32_t>(o.bits);
    info.num_color_channels = o.grey ? 1 : 3;
    info.num_extra_channels = o.alpha ? 1 : 0;
    info.alpha_bits = o.alpha ? static_cast<uint32_t>(o.bits) : 0;
    info.uses_original_profile = o.lossless ? JXL_TRUE : JXL_FALSE;
    info.orientation = static_cast<JxlOrientation>(o.orientation);
    JxlEncoderSetBasicInfo(encoder.get(), &info);
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, o.grey ? JXL_TRUE : JXL_FALSE);
    JxlEncoderSetColorEncoding(encoder.get(), &colour);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    if (o.lossless) {
        JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    } else {
        JxlEncoderSetFrameDistance(settings, 1.0f);
    }
    const int colours = o.grey ? 1 : 3;
    const std::vector<uint8_t> samples = pattern(o, colours, o.bits);
    const JxlPixelFormat format{static_cast<uint32_t>(colours + (o.alpha ? 1 : 0)),
                                o.bits == 16 ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN,
                                0};
    if (JxlEncoderAddImageFrame(settings, &format, samples.data(), samples.size()) !=
        JXL_ENC_SUCCESS) {
        throw std::runtime_error("libjxl refuses the frame");
    }
    return finishjxl(encoder.get());
}

std::vector<uint8_t> jxlfromjpeg(const std::vector<uint8_t>& jpeg) {
    std::unique_ptr<JxlEncoder, decltype(&JxlEncoderDestroy)> encoder(JxlEncoderCreate(nullptr),
                                                                      JxlEncoderDestroy);
    JxlEncoderUseContainer(encoder.get(), JXL_TRUE);
    JxlEncoderStoreJPEGMetadata(encoder.get(), JXL_TRUE);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    if (JxlEncoderAddJPEGFrame(settings, jpeg.data(), jpeg.size()) != JXL_ENC_SUCCESS) {
        throw std::runtime_error("libjxl refuses the JPEG");
    }
    return finishjxl(encoder.get());
}

raster decodejxl(const std::vector<uint8_t>& file) {
    std::unique_ptr<JxlDecoder, decltype(&JxlDecoderDestroy)> decoder(JxlDecoderCreate(nullptr),
                                                                      JxlDecoderDestroy);
    JxlDecoder* d = decoder.get();
    JxlDecoderSubscribeEvents(d, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE);
    JxlDecoderSetInput(d, file.data(), file.size());
    JxlDecoderCloseInput(d);
    JxlBasicInfo info{};
    std::vector<uint8_t> samples;
    JxlPixelFormat format{};
    for (;;) {
        const JxlDecoderStatus s = JxlDecoderProcessInput(d);
        if (s == JXL_DEC_BASIC_INFO) {
            JxlDecoderGetBasicInfo(d, &info);
            // 8-bit samples: 16-bit pages are compared by their high byte,
            // as readers draw them.
            format = {info.num_color_channels + (info.alpha_bits > 0 ? 1U : 0U), JXL_TYPE_UINT8,
                      JXL_NATIVE_ENDIAN, 0};
        } else if (s == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            size_t size = 0;
            JxlDecoderImageOutBufferSize(d, &format, &size);
            samples.resize(size);
            JxlDecoderSetImageOutBuffer(d, &format, samples.data(), samples.size());
        } else if (s == JXL_DEC_FULL_IMAGE) {
            const bool across = info.orientation >= JXL_ORIENT_TRANSPOSE;
            const int width = static_cast<int>(across ? info.ysize : info.xsize);
            const int height = static_cast<int>(across ? info.xsize : info.ysize);
            return overwhite(width, height, static_cast<int>(format.num_channels), samples.data(),
                             static_cast<size_t>(width) * format.num_channels);
        } else {
            return {0, 0, 0, {}, "libjxl cannot decode it"};
        }
    }
}

} // namespace ovintest
