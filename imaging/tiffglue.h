// How the library opens libtiff: over a file descriptor it owns or over a
// growing memory buffer, with libtiff's errors and warnings kept in a record
// instead of being printed.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// Reading state of a file that the caller keeps open; must outlive the TIFF.
struct TiffFileStream {
    int fd = -1;
    uint64_t position = 0;
};

// Writing state of a TIFF built in memory; must outlive the TIFF.
struct TiffMemoryStream {
    std::vector<uint8_t> bytes;
    uint64_t position = 0;
};

// mode as for TIFFOpen ("r", "w", "rm", ...). Null on failure.
TiffPtr openTiffStream(TiffFileStream& stream, const char* mode, LibtiffMessages& messages);
TiffPtr openTiffStream(TiffMemoryStream& stream, const char* mode, LibtiffMessages& messages);

} // namespace ovin::imaging
