#include "readers/jxl.h"

#include "readers/decoded.h"
#include "readers/jpeg.h"

#include <jxl/decode.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace ovin {

namespace {

constexpr size_t kMaxProfile = 8 << 20;
// A reconstructed JPEG is given room as it grows, up to this.
constexpr size_t kMaxJpeg = size_t{1} << 30;

struct decoderdeleter {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};

status refuse(const std::string& name, const std::string& why) {
    return {OVINPDF_IMAGE_ERROR, "JPEG XL file " + name + ": " + why};
}

// Big-endian 16-bit samples from the machine's own order.
void tobigendian(std::vector<uint8_t>& samples) {
    for (size_t k = 0; k + 1 < samples.size(); k += 2) {
        const uint16_t v = static_cast<uint16_t>(samples[k] | samples[k + 1] << 8);
        samples[k] = static_cast<uint8_t>(v >> 8);
        samples[k + 1] = static_cast<uint8_t>(v & 0xFF);
    }
}

// Whether the container holds the data to rebuild a JPEG (a jbrd box).
bool holdsjpeg(const std::vector<uint8_t>& bytes) {
    static constexpr uint8_t kContainer[] = {0,   0,   0,    0x0C, 'J',  'X',
                                             'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    if (bytes.size() < sizeof kContainer ||
        std::memcmp(bytes.data(), kContainer, sizeof kContainer) != 0) {
        return false;
    }
    for (uint64_t at = 0; at + 8 <= bytes.size();) {
        uint64_t size = uint64_t{bytes[at]} << 24 | uint64_t{bytes[at + 1]} << 16 |
                        uint64_t{bytes[at + 2]} << 8 | bytes[at + 3];
        if (std::memcmp(bytes.data() + at + 4, "jbrd", 4) == 0) {
            return true;
        }
        if (size == 1 && at + 16 <= bytes.size()) {
            size = 0;
            for (int k = 0; k < 8; ++k) {
                size = size << 8 | bytes[at + 8 + static_cast<size_t>(k)];
            }
        }
        if (size < 8 || size > bytes.size() - at) {
            return false;
        }
        at += size;
    }
    return false;
}

} // namespace

status readjxlpage(bytesource& source, const std::string& name, imagedata mode, imagedesc& out) {
    std::vector<uint8_t> bytes;
    if (status read = readwhole(source, "JPEG XL", name, bytes); !read.ok()) {
        return read;
    }
    const std::unique_ptr<JxlDecoder, decoderdeleter> decoder(JxlDecoderCreate(nullptr));
    JxlDecoder* d = decoder.get();
    // A JPEG is rebuilt to be described too: its bytes say what the page is.
    const bool wholeread = mode == imagedata::read || holdsjpeg(bytes);
    int events = JXL_DEC_BASIC_INFO;
    if (wholeread) {
        events |= JXL_DEC_COLOR_ENCODING | JXL_DEC_JPEG_RECONSTRUCTION | JXL_DEC_FULL_IMAGE;
    }
    if (d == nullptr || JxlDecoderSubscribeEvents(d, events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(d, bytes.data(), bytes.size()) != JXL_DEC_SUCCESS) {
        return status::systemerror(ENOMEM);
    }
    JxlDecoderCloseInput(d);

    JxlBasicInfo info{};
    JxlPixelFormat format{};
    std::vector<uint8_t> samples;
    std::vector<uint8_t> jpeg;
    bool reconstructing = false;
    for (;;) {
        const JxlDecoderStatus event = JxlDecoderProcessInput(d);
        switch (event) {
        case JXL_DEC_BASIC_INFO: {
            if (JxlDecoderGetBasicInfo(d, &info) != JXL_DEC_SUCCESS) {
                return refuse(name, "its header cannot be read");
            }
            // Orientations 5 to 8 exchange the sides of the picture shown.
            const bool across = info.orientation >= JXL_ORIENT_TRANSPOSE;
            const uint32_t width = across ? info.ysize : info.xsize;
            const uint32_t height = across ? info.xsize : info.ysize;
            if (width == 0 || height == 0 ||
                !believablepixels(uint64_t{width} * height, bytes.size()) ||
                (info.num_color_channels != 1 && info.num_color_channels != 3)) {
                return refuse(name, std::to_string(width) + " x " + std::to_string(height) +
                                        " pixels of " + std::to_string(info.num_color_channels) +
                                        " colours are not a picture its " +
                                        std::to_string(bytes.size()) + " bytes can hold");
            }
            out.width = static_cast<int32_t>(width);
            out.height = static_cast<int32_t>(height);
            out.pagesinfile = 1;
            out.colour = info.num_color_channels == 1 ? colourspace::gray : colourspace::rgb;
            // XYB coding (not the original colour space) is lossy.
            const bool lossless = info.uses_original_profile == JXL_TRUE;
            const bool deep = lossless && info.bits_per_sample > 8;
            out.bitspercomponent = deep ? 16 : 8;
            out.lossycoding = lossless ? "" : "JPEG XL";
            format = {info.num_color_channels + (info.alpha_bits > 0 ? 1U : 0U),
                      deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
            if (!wholeread) {
                return {};
            }
            break;
        }
        case JXL_DEC_COLOR_ENCODING: {
            // The profile of the samples as decoded: the original one for
            // lossless files, the one libjxl decodes XYB data into else.
            size_t size = 0;
            if (JxlDecoderGetICCProfileSize(d, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) ==
                    JXL_DEC_SUCCESS &&
                size > 0 && size <= kMaxProfile) {
                out.iccprofile.resize(size);
                if (JxlDecoderGetColorAsICCProfile(d, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                   out.iccprofile.data(),
                                                   size) != JXL_DEC_SUCCESS) {
                    out.iccprofile.clear();
                }
            }
            break;
        }
        case JXL_DEC_JPEG_RECONSTRUCTION:
            reconstructing = true;
            jpeg.resize(std::min<size_t>(bytes.size() * 2 + 4096, kMaxJpeg));
            if (JxlDecoderSetJPEGBuffer(d, jpeg.data(), jpeg.size()) != JXL_DEC_SUCCESS) {
                return refuse(name, "its JPEG cannot be rebuilt");
            }
            break;
        case JXL_DEC_JPEG_NEED_MORE_OUTPUT: {
            const size_t used = jpeg.size() - JxlDecoderReleaseJPEGBuffer(d);
            if (jpeg.size() >= kMaxJpeg) {
                return refuse(name, "its JPEG would be larger than a gigabyte");
            }
            jpeg.resize(std::min(jpeg.size() * 2, kMaxJpeg));
            if (JxlDecoderSetJPEGBuffer(d, jpeg.data() + used, jpeg.size() - used) !=
                JXL_DEC_SUCCESS) {
                return refuse(name, "its JPEG cannot be rebuilt");
            }
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            size_t size = 0;
            if (JxlDecoderImageOutBufferSize(d, &format, &size) != JXL_DEC_SUCCESS ||
                size != size_t{static_cast<uint32_t>(out.width)} *
                            static_cast<uint32_t>(out.height) * format.num_channels *
                            (format.data_type == JXL_TYPE_UINT16 ? 2 : 1)) {
                return refuse(name, "libjxl decodes it to another size than it declares");
            }
            samples.resize(size);
            if (JxlDecoderSetImageOutBuffer(d, &format, samples.data(), samples.size()) !=
                JXL_DEC_SUCCESS) {
                return refuse(name, "libjxl refuses its picture");
            }
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            if (reconstructing) {
                // The JPEG it held, read as the JPEG file it was.
                jpeg.resize(jpeg.size() - JxlDecoderReleaseJPEGBuffer(d));
                imagedesc shown;
                memorysource rebuilt(jpeg);
                if (status read = readjpegdocument(rebuilt, name, mode, shown); !read.ok()) {
                    return read;
                }
                out = std::move(shown);
                return {};
            }
            // The first frame of an animation is the page.
            if (format.data_type == JXL_TYPE_UINT16) {
                tobigendian(samples);
            }
            if (info.alpha_bits > 0) {
                splitalpha(samples, info.num_color_channels,
                           format.data_type == JXL_TYPE_UINT16 ? 2 : 1, out);
            } else {
                out.data = std::move(samples);
            }
            return {};
        case JXL_DEC_SUCCESS:
            return refuse(name, "it holds no picture");
        case JXL_DEC_NEED_MORE_INPUT:
            return status::failed(fault::truncated());
        default:
            return refuse(name, "the data is damaged");
        }
    }
}

} // namespace ovin
