#include "jpegglue.h"

#include <cstring>

namespace ovin::imaging {

namespace {

// Beyond this many warnings (each a corrupt spot in the data) a file is
// taken as garbage rather than decoded spot by spot.
constexpr long kMaxWarnings = 10000;
// Progressive files with more scans than this are refused: each scan costs
// a full pass over the coefficients.
constexpr int kMaxScans = 1000;
constexpr long kMaxWorkingMemory = 1L << 30;

JpegErrorManager* managerOf(j_common_ptr cinfo) {
    return reinterpret_cast<JpegErrorManager*>(cinfo->err);
}

void keepMessage(j_common_ptr cinfo) {
    (*cinfo->err->format_message)(cinfo, managerOf(cinfo)->lastMessage);
}

[[noreturn]] void jumpOut(j_common_ptr cinfo) {
    keepMessage(cinfo);
    std::longjmp(managerOf(cinfo)->jump, 1);
}

void emitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) {
        return; // trace messages
    }
    keepMessage(cinfo);
    if (++cinfo->err->num_warnings > kMaxWarnings) {
        jumpOut(cinfo);
    }
}

void silentOutput(j_common_ptr) {}

void progressMonitor(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > kMaxScans) {
            jumpOut(cinfo);
        }
    }
}

struct ScanLimit {
    jpeg_progress_mgr pub;
};

} // namespace

jpeg_error_mgr* quietErrorManager(JpegErrorManager& err) {
    jpeg_error_mgr* pub = jpeg_std_error(&err.pub);
    pub->error_exit = jumpOut;
    pub->emit_message = emitMessage;
    pub->output_message = silentOutput;
    err.lastMessage[0] = '\0';
    return pub;
}

void limitMemory(j_common_ptr cinfo) {
    cinfo->mem->max_memory_to_use = kMaxWorkingMemory;
    if (cinfo->is_decompressor) {
        // Lives in libjpeg's own pool, released with the object.
        auto* limit = static_cast<ScanLimit*>(
            (*cinfo->mem->alloc_small)(cinfo, JPOOL_PERMANENT, sizeof(ScanLimit)));
        std::memset(limit, 0, sizeof *limit);
        limit->pub.progress_monitor = progressMonitor;
        cinfo->progress = &limit->pub;
    }
}

} // namespace ovin::imaging
