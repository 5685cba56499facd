// JPEG files: the header facts from the JPEG reader (readers/jpeg.h), the
// pixels through libjpeg-turbo: grey stays 8-bit, colour becomes RGB, CMYK
// and YCCK are turned into RGB (Adobe's inverted samples included).
// libjpeg reports fatal errors by jumping back to the call site; everything
// that runs between the jump target and a libjpeg call is plain C data, and
// the C++ objects live in the caller's frame.
#include "jpegglue.h"
#include "readers/jpeg.h"
#include "source.h"

#include <algorithm>
#include <csetjmp>
#include <memory>
#include <vector>

namespace ovin::imaging {

namespace {

// Everything one decoding run needs, kept outside the function that holds
// the jump target.
struct DecodeJob {
    jpeg_decompress_struct cinfo{};
    JpegErrorManager err{};
    std::vector<uint8_t> file; // the whole JPEG file
    bool adobe = false;
    std::unique_ptr<Bitmap> bitmap;
    std::vector<uint8_t> scratch;
};

bool prepareOutput(DecodeJob& job) {
    const auto& c = job.cinfo;
    const int bits = c.out_color_space == JCS_GRAYSCALE ? 8 : 24;
    auto bm = makeBitmap(c.output_width, c.output_height, bits,
                         bits == 8 ? kPhotometricMinIsBlack : kPhotometricRgb);
    if (!bm) {
        return false;
    }
    job.bitmap = std::make_unique<Bitmap>(std::move(*bm));
    job.scratch.resize(static_cast<size_t>(c.output_width) *
                       static_cast<size_t>(c.output_components));
    return true;
}

void storeRow(DecodeJob& job, JDIMENSION y) {
    Bitmap& bm = *job.bitmap;
    uint8_t* dst = bm.row(static_cast<int32_t>(y));
    const uint8_t* src = job.scratch.data();
    const size_t w = static_cast<size_t>(bm.width);
    if (job.cinfo.out_color_space != JCS_CMYK) {
        std::copy(src, src + bm.stride, dst);
        return;
    }
    for (size_t x = 0; x < w; ++x) {
        unsigned c = src[4 * x];
        unsigned m = src[4 * x + 1];
        unsigned ye = src[4 * x + 2];
        unsigned k = src[4 * x + 3];
        if (!job.adobe) {
            // Plain CMYK: ink amounts, 255 meaning full ink.
            c = 255 - c;
            m = 255 - m;
            ye = 255 - ye;
            k = 255 - k;
        }
        dst[3 * x] = static_cast<uint8_t>((c * k + 127) / 255);
        dst[3 * x + 1] = static_cast<uint8_t>((m * k + 127) / 255);
        dst[3 * x + 2] = static_cast<uint8_t>((ye * k + 127) / 255);
    }
}

// The only function with a jump target. Returns false after a libjpeg error.
bool runDecode(DecodeJob& job) {
    j_decompress_ptr cinfo = &job.cinfo;
    if (setjmp(job.err.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(cinfo);
    limitMemory(reinterpret_cast<j_common_ptr>(cinfo));
    // A file cut short ends in a fake end-of-image marker: the rows decoded
    // so far are kept.
    jpeg_mem_src(cinfo, job.file.data(), static_cast<unsigned long>(job.file.size()));
    jpeg_read_header(cinfo, TRUE);
    job.adobe = cinfo->saw_Adobe_marker != 0;

    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo->out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        break;
    default:
        cinfo->out_color_space = JCS_RGB;
        break;
    }
    jpeg_calc_output_dimensions(cinfo);
    const uint64_t pixels = static_cast<uint64_t>(cinfo->output_width) * cinfo->output_height;
    // Each block of 8 x 8 samples takes at least a bit of the file: a file
    // that declares more pixels than that is mostly missing and not decoded.
    if (pixels == 0 || pixels * 3 > kMaxBitmapBytes || pixels / 512 > job.file.size()) {
        return false;
    }
    if (!prepareOutput(job)) {
        return false;
    }
    jpeg_start_decompress(cinfo);
    if (cinfo->output_width != static_cast<JDIMENSION>(job.bitmap->width) ||
        cinfo->output_height != static_cast<JDIMENSION>(job.bitmap->height) ||
        static_cast<size_t>(cinfo->output_width) * static_cast<size_t>(cinfo->output_components) !=
            job.scratch.size()) {
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION y = cinfo->output_scanline;
        JSAMPROW row = job.scratch.data();
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) {
            return false;
        }
        storeRow(job, y);
    }
    return true;
}

struct JobCleanup {
    DecodeJob& job;
    ~JobCleanup() { jpeg_destroy_decompress(&job.cinfo); }
};

std::unique_ptr<DecodeJob> decodeFile(bytesource& source) {
    auto job = std::make_unique<DecodeJob>();
    JobCleanup cleanup{*job};
    job->cinfo.err = quietErrorManager(job->err);
    bytereader reader(source);
    if (source.size() > kMaxBitmapBytes) {
        return nullptr;
    }
    job->file.resize(static_cast<size_t>(source.size()));
    if (!reader.read(job->file.data(), job->file.size()) || !runDecode(*job)) {
        return nullptr;
    }
    return job;
}

class JpegSource final : public ImageSource {
public:
    JpegSource(std::unique_ptr<filesource> file, const PageHeader& header)
        : file_(std::move(file)), header_(header) {}

    int32_t pageCount() const override { return 1; }
    bool selectPage(int32_t page) override { return page == 0; }
    const PageHeader& header() const override { return header_; }

    std::shared_ptr<const Bitmap> decode() override {
        auto job = decodeFile(*file_);
        if (!job || !job->bitmap) {
            return nullptr;
        }
        job->bitmap->xdpi = header_.xdpi;
        job->bitmap->ydpi = header_.ydpi;
        return std::shared_ptr<const Bitmap>(std::move(job->bitmap));
    }

private:
    std::unique_ptr<filesource> file_;
    PageHeader header_;
};

} // namespace

std::unique_ptr<ImageSource> openJpeg(std::unique_ptr<filesource> file) {
    jpeginfo info;
    if (!info.read(*file, std::string()) || info.width == 0 || info.height == 0) {
        return nullptr;
    }
    PageHeader header;
    header.width = info.width;
    header.height = info.height;
    header.bits = info.components == 1 ? 8 : 24;
    header.xdpi = info.xdensity;
    header.ydpi = info.ydensity;
    return std::make_unique<JpegSource>(std::move(file), header);
}

} // namespace ovin::imaging
