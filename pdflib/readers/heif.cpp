#include "readers/heif.h"

#include "byteorder.h"
#include "readers/decoded.h"
#include "readers/exif.h"

#include <libheif/heif.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

namespace ovin {

namespace {

constexpr size_t kMaxProfile = 8 << 20;
constexpr size_t kMaxExif = 1 << 20;

struct contextdeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct handledeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct imagedeleter {
    void operator()(heif_image* i) const { heif_image_release(i); }
};

status refuse(const std::string& kind, const std::string& name, const std::string& why) {
    return {OVINPDF_IMAGE_ERROR, kind + " file " + name + ": " + why};
}

// HEIC for HEVC data, AVIF for AV1, by the brands of the file type box.
std::string kindof(const std::vector<uint8_t>& bytes) {
    const int size = static_cast<int>(std::min<size_t>(bytes.size(), 1 << 16));
    return heif_has_compatible_brand(bytes.data(), size, "avif") != 0 ||
                   heif_has_compatible_brand(bytes.data(), size, "avis") != 0
               ? "AVIF"
               : "HEIC";
}

// The resolution of the image's first Exif block, whose data starts with
// the offset of its TIFF header.
exiffacts exifof(const heif_image_handle* handle) {
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1) {
        return {};
    }
    const size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size < 4 || size > kMaxExif) {
        return {};
    }
    std::vector<uint8_t> block(size);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok) {
        return {};
    }
    const uint32_t skip = be32(block.data());
    if (skip > size - 4) {
        return {};
    }
    return readexif(std::span(block).subspan(4 + skip));
}

} // namespace

status readheifpage(bytesource& source, const std::string& name, imagedata mode, imagedesc& out) {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
    std::vector<uint8_t> bytes;
    if (status read = readwhole(source, "HEIF", name, bytes); !read.ok()) {
        return read;
    }
    const std::string kind = kindof(bytes);
    const std::unique_ptr<heif_context, contextdeleter> context(heif_context_alloc());
    if (!context) {
        return status::systemerror(ENOMEM);
    }
    // libheif refuses pictures (and the images a grid or overlay builds
    // them from) of more pixels than its limit squared.
    heif_context_set_maximum_image_size_limit(
        context.get(), static_cast<int>(std::sqrt(static_cast<double>(mostpixels(bytes.size())))));
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), bytes.data(),
                                                                  bytes.size(), nullptr);
    heif_image_handle* rawhandle = nullptr;
    if (error.code == heif_error_Ok) {
        error = heif_context_get_primary_image_handle(context.get(), &rawhandle);
    }
    const std::unique_ptr<heif_image_handle, handledeleter> handle(rawhandle);
    if (error.code != heif_error_Ok) {
        return refuse(kind, name, std::string("libheif cannot read it (") + error.message + ")");
    }
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0 ||
        !believablepixels(uint64_t(width) * uint64_t(height), bytes.size())) {
        return refuse(kind, name,
                      std::to_string(width) + " x " + std::to_string(height) +
                          " pixels are more than its " + std::to_string(bytes.size()) +
                          " bytes can hold");
    }
    out.width = width;
    out.height = height;
    out.pagesinfile = 1;
    out.bitspercomponent = 8;
    out.colour = colourspace::rgb;
    out.lossycoding = kind;
    const exiffacts exif = exifof(handle.get());
    out.xdpi = exif.xdpi;
    out.ydpi = exif.ydpi;
    // The orientation is the file's transforms, which decoding applies.
    if (heif_image_handle_get_color_profile_type(handle.get()) !=
        heif_color_profile_type_not_present) {
        const size_t size = heif_image_handle_get_raw_color_profile_size(handle.get());
        if (size > 0 && size <= kMaxProfile) {
            out.iccprofile.resize(size);
            if (heif_image_handle_get_raw_color_profile(handle.get(), out.iccprofile.data()).code !=
                heif_error_Ok) {
                out.iccprofile.clear();
            }
        }
    }
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    if (mode == imagedata::skip) {
        return {};
    }
    heif_image* rawimage = nullptr;
    error = heif_decode_image(handle.get(), &rawimage, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              nullptr);
    const std::unique_ptr<heif_image, imagedeleter> image(rawimage);
    if (error.code != heif_error_Ok) {
        return refuse(kind, name, std::string("libheif cannot decode it (") + error.message + ")");
    }
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const size_t channels = alpha ? 4 : 3;
    if (plane == nullptr || heif_image_get_width(image.get(), heif_channel_interleaved) != width ||
        heif_image_get_height(image.get(), heif_channel_interleaved) != height ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8 ||
        stride < static_cast<int>(channels) * width) {
        return refuse(kind, name, "libheif decoded it to another size or depth than it declares");
    }
    const size_t row = channels * static_cast<size_t>(width);
    std::vector<uint8_t> samples(row * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        std::memcpy(samples.data() + row * static_cast<size_t>(y),
                    plane + static_cast<size_t>(stride) * static_cast<size_t>(y), row);
    }
    if (alpha) {
        splitalpha(samples, 3, 1, out);
    } else {
        out.data = std::move(samples);
    }
    return {};
}

} // namespace ovin
