// The readers: one per image kind, found through one table. A reader reads
// one page of a file from a byte source into a page description as the
// document pipeline embeds it: stored data that a PDF filter reads as it
// is, or decoded samples for the compression stage. Adding a kind is one
// reader file and one line in the table.
#pragma once

#include "readers/bytesource.h"
#include "readers/imagedesc.h"
#include "readers/imagekind.h"
#include "status.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ovin {

// Whether a reader reads the page's data or only checks it against the file
// (enough to add a file or to learn its page size).
enum class imagedata { read, skip };

// What a reader keeps of a file between two of its pages read in order:
// an animation's decoder with the frames composed so far, so that page k
// goes on from page k-1 instead of decoding frames 1 to k-1 again. Each
// reader keeps its own kind and checks that it is the one it made.
class readerstate {
public:
    virtual ~readerstate() = default;
};

// Kept by a caller that reads the pages of a document in order: the file
// read last, still open, its TIFF directory chain and its reader's state,
// so that page k of a multi-page file is read without opening the file
// again or walking the k-1 pages before it.
struct probecache {
    std::string file;
    std::shared_ptr<bytesource> source; // null where the face opens files itself
    std::vector<uint64_t> tiffdirectories;
    std::shared_ptr<readerstate> state;
};

struct readrequest {
    bytesource& source;
    // The file's name as messages show it.
    const std::string& shown;
    uint32_t page = 1; // counted from 1
    imagedata mode = imagedata::read;
    // The offsets of a TIFF file's directories when an earlier read found
    // them, else empty, and filled; null where nothing is kept.
    std::vector<uint64_t>* directories = nullptr;
    // Pages of 8-bit grey or colour samples are decoded where they could be
    // kept as stored, so that they can be coded as JPEG.
    bool decodephotos = false;
    // An animated file counts its first frame as its only page.
    bool firstframe = false;
    // The reader's state from the page read before of the same file (or
    // null), which the reader may replace; null where nothing is kept.
    std::shared_ptr<readerstate>* state = nullptr;
};

// Reads the requested page into `out`, which comes fresh (reset):
// resolutions as the file gives them (0 when it gives none). A failed read
// is the reader's fault (status::failed); anything else wrong with the file
// an image error naming it.
using readfunction = status (*)(const readrequest& request, imagedesc& out);

// The reader of a kind; null for unknown.
readfunction findreader(imagekind kind);

// Pixel counts held at the largest 32-bit signed value.
int32_t clamppixels(uint32_t value);

} // namespace ovin
