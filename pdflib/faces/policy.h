// Everything the two faces of the library do differently, decided in one
// place: each face is a policy object, and the core (adding, preparing and
// saving pages) asks its library's policy wherever the faces part ways.
//
// The classic face keeps the behaviour of the fourteen exports: image kinds
// by extension (.jpg, .tif, .bmp), its own reading and coding of those three
// kinds (a TIFF page in several strips re-encoded through the imaging
// library and the temporary image file), the resolution rule that borrows
// the first image's resolution, the four-object page layout and its message
// table. The document face reads every kind the readers know, by content,
// compresses decoded pages in the compression stage, writes the compact
// layout with document information and XMP, and words every failure with
// the file and the reason.
#pragma once

#include "core/options.h"
#include "core/state.h"
#include "core/ui.h"
#include "pdf/objectplan.h"
#include "readers/bytesource.h"
#include "readers/imagedesc.h"
#include "readers/imagekind.h"
#include "readers/registry.h"
#include "status.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ovin {

struct conversioncache;

// A file being added, as the policy found it.
struct identified {
    imagekind kind = imagekind::unknown;
    // The open file the page is read from when the policy opened it (null
    // when its reader opens the file by name).
    std::shared_ptr<bytesource> source;
    // The source must stay with the pages: the file cannot be read again by
    // its name (a pipe, whose bytes were copied).
    bool keep = false;
};

// What reading a page may use and add to.
struct readcontext {
    Ui& ui;
    warninglist& warnings;
    const documentoptions& options;
    // The first image's resolution, for the classic rule; 0 or less: 200.
    int32_t defaultxdpi = 0;
    int32_t defaultydpi = 0;
    probecache* cache = nullptr;
};

// What coding a page for the PDF may use.
struct codingcontext {
    Ui& ui;
    const documentoptions& options;
    const std::string& tempimgpath;
    uintptr_t window = 0;
    conversioncache* conversions = nullptr;
};

class facepolicy {
public:
    virtual ~facepolicy() = default;

    // --- Adding files
    // Whether the face takes this name for an image or for the PDF (the
    // classic face refuses forbidden characters in the file-name part).
    virtual bool validname(const std::string& name) const = 0;
    // Finds the kind of the named file, opening it where the face reads
    // files by content. A missing file is -1, an unknown kind -3 with the
    // face's message.
    virtual status identify(const std::string& name, identified& file) const = 0;
    // Whether one file may give pages twice (the classic face names pages by
    // their files, so a file is added once).
    virtual bool allowsrepeats() const = 0;
    // A file's name as the face's messages show it.
    virtual std::string shown(const std::string& name) const = 0;

    // --- Reading and coding pages
    // Reads page `page` (from 1) of the file into `out` (fresh), from
    // `source` where identify opened one. Resolutions as the file gives them.
    virtual status readpage(imagekind kind, const std::string& name, bytesource* source,
                            uint32_t page, imagedata mode, readcontext& context,
                            imagedesc& out) const = 0;
    // Puts resolutions in place of missing ones (or of every one, where the
    // options force one), with the face's warnings.
    virtual void resolve(const std::string& name, readcontext& context, imagedesc& page) const = 0;
    // The failure of a page of the image's own size that would be wider
    // (`wide`) or taller than a page may be.
    virtual status oversize(const std::string& name, const imagedesc& page, bool wide) const = 0;
    // Codes a page read with its data for the PDF: the classic face
    // re-encodes what cannot be embedded as stored, the document face
    // compresses decoded samples. Runs on the saving thread for the
    // classic face, on either preparing thread for the document face.
    virtual status code(const std::string& name, imagekind kind, uint32_t page,
                        const codingcontext& context, imagedesc& image) const = 0;

    // --- Saving
    virtual objectlayout layout() const = 0;
    // Whether the document information has more than the producer and
    // title (author, dates, ...) and an XMP stream says the same.
    virtual bool describesdocument() const = 0;
    // Whether the next page is prepared on a second thread while one is
    // written (when the options ask for it).
    virtual bool preparesahead(const documentoptions& options) const = 0;
    // Whether the document's page size comes from the facts each image had
    // when it was added (true) or from reading the first image again.
    virtual bool keepsfacts() const = 0;
    // Whether a text page keeps its line breaks, wraps long words and runs
    // on over further pages (needs keepsfacts: the page size is known
    // before the pages are counted), or is set as one paragraph on one page.
    virtual bool flowstext() const = 0;
    // A page that could not be prepared: the text its error page shows
    // (unescaped) and the failure the save reports.
    struct pagefault {
        std::string text;
        status reported;
    };
    virtual pagefault pagefailure(const std::string& name, const status& failure) const = 0;

    // --- Failures
    // The detail text the library keeps for a failure, which geterror
    // shows; none where the failure leaves the previous one.
    virtual std::optional<std::string> errordetail(const status& failure) const = 0;
};

std::unique_ptr<facepolicy> makeclassicface();
std::unique_ptr<facepolicy> makedocumentface();

} // namespace ovin
