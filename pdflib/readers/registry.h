// The image formats the library reads: one probe per kind, found through
// one registry. A probe reads one page of a file into a page description;
// adding a format is one probe file and one line in the registry.
#pragma once

#include "core/options.h"
#include "core/ui.h"
#include "readers/imagedesc.h"
#include "readers/imagekind.h"
#include "status.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

// Whether a probe reads the page's data or only checks it against the file
// (enough to add a file or to learn its page size).
enum class imagedata { read, skip };

// Kept by a caller that probes the pages of a document in order: the
// directory chain of the TIFF file probed last, so that page k of a
// multi-page file is found without walking the k-1 pages before it.
struct probecache {
    std::string tifffile;
    std::vector<uint32_t> directories;
    // The same for the document face's TIFF reader: the file and the
    // offsets of its directories (BigTIFF offsets included).
    std::string tiffdocfile;
    std::vector<uint64_t> tiffdocdirectories;
};

// What a probe may use besides the file.
struct probecontext {
    Ui& ui; // the JPEG probe shows a file it cannot open in a message box
    probecache* cache = nullptr;
    const documentoptions& options;
};

// Reads page `page` (counted from 1) of the named file into `out`, which
// comes fresh (reset): its description and, unless `mode` is skip, its data. Resolutions are left
// as the file gives them (0 when it gives none). A failure is -5 with the errno of a failed read,
// or -6 with the probe's message.
using probefunction = status (*)(const std::string& name, uint32_t page, imagedata mode,
                                 probecontext& context, imagedesc& out);

struct imageformat {
    imagekind kind;
    // The reading of the fourteen exports; null for a kind that is not theirs.
    probefunction classic;
    // The reading of the document face; null where it is the classic one.
    probefunction document;
};

// The format of a kind; null for unknown.
const imageformat* findformat(imagekind kind);
// The probe for a kind under the options; null when there is none.
probefunction findprobe(imagekind kind, const documentoptions& options);

// The probes: the three classic ones and the document face's own.
status probetiffpage(const std::string& name, uint32_t page, imagedata mode, probecontext& context,
                     imagedesc& out);
status probejpegpage(const std::string& name, uint32_t page, imagedata mode, probecontext& context,
                     imagedesc& out);
status probebmppage(const std::string& name, uint32_t page, imagedata mode, probecontext& context,
                    imagedesc& out);
// The document face's own probes.
status probetiffdocpage(const std::string& name, uint32_t page, imagedata mode,
                        probecontext& context, imagedesc& out);
status probejpegdocpage(const std::string& name, uint32_t page, imagedata mode,
                        probecontext& context, imagedesc& out);
status probebmpdocpage(const std::string& name, uint32_t page, imagedata mode,
                       probecontext& context, imagedesc& out);
status probepngpage(const std::string& name, uint32_t page, imagedata mode, probecontext& context,
                    imagedesc& out);
status probepnmpage(const std::string& name, uint32_t page, imagedata mode, probecontext& context,
                    imagedesc& out);
status probejp2page(const std::string& name, uint32_t page, imagedata mode, probecontext& context,
                    imagedesc& out);

// A probe's failure as a status: a failed read (ioerror non-zero) is an
// I/O error with its code, anything else an image error with the text.
status probefailure(int ioerror, const std::string& text);

// Reads a whole file that a probe measured as `size` bytes. -5 with
// EFBIG for a file of 4 GB or more, with 100 when it changed size since.
status readwholefile(const std::string& name, int64_t size, std::vector<uint8_t>& data);

// Pixel counts held at the largest 32-bit signed value.
int32_t clamppixels(uint32_t value);

class jpeginfo;

// The page a JPEG file with this header makes, embedded whole: its size,
// colour space (CMYK from Adobe software inverted) and DCT coding.
void describejpeg(const jpeginfo& probe, imagedesc& out);

} // namespace ovin
