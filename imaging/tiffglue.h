// How the imaging library opens libtiff to write a new TIFF file: over a
// file descriptor that the caller owns, with libtiff's errors and warnings
// kept in a record instead of being printed. (Files are read through the
// readers' TIFF stream.)
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <string>

namespace ovin::imaging {

// libtiff's latest message about one TIFF; never printed.
struct LibtiffMessages {
    std::string lastError;
    std::string lastWarning;
};

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// State of a file that the caller keeps open; must outlive the TIFF. Writes
// go to the file only when it is marked writable.
struct TiffFileStream {
    int fd = -1;
    uint64_t position = 0;
    bool writable = false;
};

// mode as for TIFFOpen ("r", "w", "rm", ...). Null on failure.
TiffPtr openTiffStream(TiffFileStream& stream, const char* mode, LibtiffMessages& messages);

} // namespace ovin::imaging
