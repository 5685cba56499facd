// A page written as a baseline JPEG file through libjpeg-turbo. Grey pages
// keep their sample values (a 1-bit page widens to 0 and 255, nothing is
// inverted) so that the page's photometric still tells how to read them;
// palette and colour pages become RGB.
#include "encode.h"
#include "jpegglue.h"

#include <algorithm>
#include <memory>

namespace ovin::imaging {

namespace {

constexpr int kDefaultQuality = 75;
constexpr size_t kFirstBlock = 64 * 1024;

// Destination manager appending to a vector that grows as needed.
struct VectorDestination {
    jpeg_destination_mgr pub{};
    std::vector<uint8_t> bytes;
};

void initDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    bool failed = false;
    try {
        dest->bytes.resize(kFirstBlock);
    } catch (...) {
        failed = true;
    }
    if (failed) {
        (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    }
    dest->pub.next_output_byte = dest->bytes.data();
    dest->pub.free_in_buffer = dest->bytes.size();
}

boolean emptyOutputBuffer(j_compress_ptr cinfo) {
    // Called when the whole buffer is full.
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    const size_t used = dest->bytes.size();
    bool failed = used > (size_t{1} << 31);
    if (!failed) {
        try {
            dest->bytes.resize(used * 2);
        } catch (...) {
            failed = true;
        }
    }
    if (failed) {
        (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    }
    dest->pub.next_output_byte = dest->bytes.data() + used;
    dest->pub.free_in_buffer = dest->bytes.size() - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    dest->bytes.resize(dest->bytes.size() - dest->pub.free_in_buffer);
}

struct EncodeJob {
    jpeg_compress_struct cinfo{};
    JpegErrorManager err{};
    VectorDestination dest;
    const Bitmap* page = nullptr;
    bool grey = false;
    int quality = kDefaultQuality;
    bool optimize = false;
    std::vector<uint8_t> line;
};

// Grey level of pixel x of a grey page row (1 or 8 bits, maybe a grey palette).
uint8_t greyAt(const Bitmap& page, const uint8_t* row, size_t x) {
    unsigned v = 0;
    if (page.bits == 1) {
        v = (row[x >> 3] >> (7 - (x & 7))) & 1U;
        if (!page.hasPalette()) {
            return v ? 255 : 0;
        }
    } else {
        v = row[x];
        if (!page.hasPalette()) {
            return static_cast<uint8_t>(v);
        }
    }
    return v < page.palette.size() ? page.palette[v].r : 0;
}

void fillLine(EncodeJob& job, int32_t y) {
    const Bitmap& page = *job.page;
    if (!job.grey) {
        page.rowToRgb(y, job.line.data());
        return;
    }
    const uint8_t* row = page.row(y);
    for (size_t x = 0; x < static_cast<size_t>(page.width); ++x) {
        job.line[x] = greyAt(page, row, x);
    }
}

// The only function with a jump target. False after a libjpeg error.
bool runEncode(EncodeJob& job) {
    j_compress_ptr cinfo = &job.cinfo;
    if (setjmp(job.err.jump) != 0) {
        return false;
    }
    jpeg_create_compress(cinfo);
    limitMemory(reinterpret_cast<j_common_ptr>(cinfo));
    cinfo->dest = &job.dest.pub;
    cinfo->image_width = static_cast<JDIMENSION>(job.page->width);
    cinfo->image_height = static_cast<JDIMENSION>(job.page->height);
    cinfo->input_components = job.grey ? 1 : 3;
    cinfo->in_color_space = job.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job.quality, TRUE);
    cinfo->optimize_coding = job.optimize ? TRUE : FALSE;
    if (job.page->xdpi > 0 && job.page->ydpi > 0) {
        cinfo->density_unit = 1; // dots per inch
        cinfo->X_density = static_cast<UINT16>(std::min(job.page->xdpi, 65535));
        cinfo->Y_density = static_cast<UINT16>(std::min(job.page->ydpi, 65535));
    }
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        fillLine(job, static_cast<int32_t>(cinfo->next_scanline));
        JSAMPROW row = job.line.data();
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

struct JobCleanup {
    EncodeJob& job;
    ~JobCleanup() { jpeg_destroy_compress(&job.cinfo); }
};

} // namespace

std::optional<std::vector<uint8_t>> encodeJpeg(const Bitmap& page, const OptionBlock& options) {
    // JPEG's own limit on either side.
    if (page.width <= 0 || page.height <= 0 || page.width > 65500 || page.height > 65500 ||
        page.pixels.size() < page.stride * page.height) {
        return std::nullopt;
    }
    auto job = std::make_unique<EncodeJob>();
    JobCleanup cleanup{*job};
    job->page = &page;
    job->grey = page.bits <= 8 && (!page.hasPalette() || isGreyPalette(page.palette));
    if (options.text("LOSSY_QUALITY")) {
        const auto quality = options.number("LOSSY_QUALITY");
        job->quality = quality ? std::clamp(*quality, 1, 100) : kDefaultQuality;
    }
    job->optimize = options.flag("JPEG_OPTIMIZE_CODING").value_or(false);
    job->line.resize(static_cast<size_t>(page.width) * (job->grey ? 1 : 3));
    job->cinfo.err = quietErrorManager(job->err);
    job->dest.pub.init_destination = initDestination;
    job->dest.pub.empty_output_buffer = emptyOutputBuffer;
    job->dest.pub.term_destination = termDestination;
    if (!runEncode(*job)) {
        return std::nullopt;
    }
    return std::move(job->dest.bytes);
}

} // namespace ovin::imaging
