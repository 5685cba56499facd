// libjpeg's error handling for this library: fatal errors jump back to the
// caller's jump target, and no message is ever printed.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first

#include <jerror.h>
#include <jpeglib.h>

namespace ovin::imaging {

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char lastMessage[JMSG_LENGTH_MAX];
};

// Sets up err so that fatal errors longjmp to err.jump and messages are kept
// in err.lastMessage only. Returns &err.pub for cinfo.err.
jpeg_error_mgr* quietErrorManager(JpegErrorManager& err);

// Caps libjpeg's working memory and, for decompression, the number of
// progressive scans that it will take in before giving up.
void limitMemory(j_common_ptr cinfo);

} // namespace ovin::imaging
