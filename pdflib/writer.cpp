#include "writer.h"

#include "imagepage.h"
#include "objectplan.h"
#include "outline.h"
#include "pdfoutput.h"
#include "prepare.h"
#include "textpage.h"
#include "textutil.h"

#include <cerrno>
#include <climits>
#include <new>
#include <sys/stat.h>

namespace ovin {

namespace {

// The largest offset the ten digits of a cross-reference entry can hold.
constexpr uint64_t kMaxOffset = 9'999'999'999ULL;

std::string padded(uint64_t offset) {
    std::string digits = std::to_string(offset);
    return std::string(digits.size() < 10 ? 10 - digits.size() : 0, '0') + digits;
}

status ioerror(int code) {
    return {OVINPDF_IO_ERROR, std::to_string(code)};
}

// True when `target` names the same file as one of the document's images
// (the same device and inode: another spelling, a hard or a symbolic link).
bool targetisinput(const librarystate& state, const std::string& target) {
    struct stat out {};
    if (::stat(target.c_str(), &out) != 0) {
        return false;
    }
    for (const auto& [name, index] : state.lastpage) {
        if (!state.pages[static_cast<size_t>(index)].isimage) {
            continue;
        }
        struct stat in {};
        if (::stat(name.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
            return true;
        }
    }
    return false;
}

class savejob {
public:
    savejob(librarystate& state, Ui& ui, const std::string& filename)
        : state_(state), ui_(ui), filename_(filename),
          plan_(static_cast<int64_t>(state.pages.size()), outlinetotal(state.outline)) {}

    status run();

private:
    preparecontext preparing() {
        return {ui_,    state_.warnings, state_.options, state_.defaultxdpi, state_.defaultydpi,
                &cache_};
    }
    void findpagesize();
    // A probed page is at most 14400 points on a side.
    void setpagesize(const imagedesc& image) {
        const pointsize points = pagepoints(image);
        size_ = {static_cast<int32_t>(points.width), static_cast<int32_t>(points.height)};
    }
    void writepage(int64_t i);
    void writeerrorpage(int64_t i, const status& failure);
    void writetrailer();
    int64_t n() const { return static_cast<int64_t>(state_.pages.size()); }

    librarystate& state_;
    Ui& ui_;
    const std::string& filename_;
    objectplan plan_;
    pdfoutput out_;
    pagesize size_;
    probecache cache_;
    conversioncache conversions_;
    imagedesc scratch_;
    status result_;
};

// The document page size comes from the first image page that probes well;
// the probe's resolution defaults come from it as well.
void savejob::findpagesize() {
    size_ = pagesize{};
    state_.defaultxdpi = -1;
    state_.defaultydpi = -1;
    for (const pageinfo& page : state_.pages) {
        if (!page.isimage) {
            continue;
        }
        imagedesc image;
        preparecontext context = preparing();
        if (probeimage(context, page.kind, page.name, 1, image, imagedata::skip).ok()) {
            setpagesize(image);
            state_.defaultxdpi = image.xdpi;
            state_.defaultydpi = image.ydpi;
            break;
        }
    }
}

// A page whose image could not be prepared shows why; the save fails with
// the message in its escaped form.
void savejob::writeerrorpage(int64_t i, const status& failure) {
    const std::string escaped = pdfescape(failure.detail());
    result_ = status(OVINPDF_IMAGE_ERROR, escaped);
    writetextpage(out_, plan_, i, size_, {"** IMAGE ERROR **", towinansi(escaped)});
}

void savejob::writepage(int64_t i) {
    const pageinfo& page = state_.pages[static_cast<size_t>(i)];
    if (!page.isimage) {
        writetextpage(out_, plan_, i, size_, {pdfescape(towinansi(page.name))});
        return;
    }
    // One description serves every page, so that its data buffer is
    // allocated once for the largest page rather than once per page.
    std::vector<uint8_t> buffer = std::move(scratch_.data);
    scratch_ = imagedesc{};
    scratch_.data = std::move(buffer);
    imagedesc& image = scratch_;
    preparecontext context = preparing();
    status prepared =
        probeimage(context, page.kind, page.name, page.pagenumber, image, imagedata::read);
    if (prepared.ok() && !image.passthrough) {
        prepared = convertimage({ui_, state_.tempimgpath, state_.window, &conversions_},
                                page.kind, page.name, page.pagenumber, image);
    }
    if (!prepared.ok()) {
        writeerrorpage(i, prepared);
        return;
    }
    if (size_.width == -1) {
        setpagesize(image);
    }
    if (status written = writeimagepage(out_, plan_, i, image, page.name); !written.ok()) {
        result_ = written;
    }
}

void savejob::writetrailer() {
    const auto ref = pdfoutput::ref;
    out_.beginobject(plan_.info());
    out_.writeline("<<");
    out_.writeline("/Producer " + pdftextstring(state_.pdfmaker));
    out_.writeline("/Title " + pdftextstring(state_.pdftitle));
    out_.writeline(">>");
    out_.endobject();

    out_.beginobject(plan_.pagetree());
    out_.writeline("<<");
    out_.writeline("/Type /Pages");
    std::string kids = "/Kids [ ";
    kids.reserve(kids.size() + static_cast<size_t>(n()) * 12);
    for (int64_t i = 0; i < n(); ++i) {
        kids += ref(plan_.page(i));
        kids += " ";
    }
    kids += "]";
    out_.writeline(kids);
    out_.writeline("/Count " + std::to_string(n()));
    out_.writeline(">>");
    out_.endobject();

    out_.beginobject(plan_.catalog());
    out_.writeline("<<");
    out_.writeline("/Type /Catalog");
    out_.writeline("/Pages " + ref(plan_.pagetree()));
    if (plan_.hasoutline()) {
        out_.writeline("/PageMode /UseOutlines");
        out_.writeline("/Outlines " + ref(plan_.outlineroot()));
    }
    out_.writeline(">>");
    out_.endobject();

    if (plan_.hasoutline()) {
        writeoutline(out_, plan_, state_.outline);
    }

    const uint64_t xref = out_.position();
    const auto& offsets = out_.offsets();
    out_.writeline("xref");
    out_.writeline("0 " + std::to_string(offsets.size() + 1));
    out_.writeline("0000000000 65535 f");
    for (uint64_t offset : offsets) {
        out_.writeline(padded(offset) + " 00000 n");
    }
    out_.writeline("trailer");
    out_.writeline("<<");
    out_.writeline("/Size " + std::to_string(offsets.size() + 1));
    out_.writeline("/Info " + ref(plan_.info()));
    out_.writeline("/Root " + ref(plan_.catalog()));
    out_.writeline(">>");
    out_.writeline("startxref");
    out_.writeline(std::to_string(xref));
    out_.writeline("%%EOF");
    if (xref > kMaxOffset) {
        // The cross-reference table cannot describe a file this large.
        result_ = ioerror(EFBIG);
    }
}

status savejob::run() {
    if (!validfilename(filename_)) {
        return {OVINPDF_INVALID_NAME, filename_};
    }
    if (state_.pages.empty()) {
        return status(OVINPDF_NO_PAGES);
    }
    if (trimmed(filename_).empty()) {
        return status(OVINPDF_BLANK_NAME);
    }
    if (targetisinput(state_, filename_)) {
        // Writing the PDF would destroy one of its own pages.
        return {OVINPDF_INVALID_NAME, filename_};
    }
    if (plan_.count() > INT32_MAX) {
        return ioerror(EFBIG);
    }
    if (int err = out_.open(filename_, plan_.count())) {
        return ioerror(err);
    }

    bool shown = false;
    try {
        findpagesize();
        ui_.progressShow(filename_, static_cast<int32_t>(n()));
        shown = true;
        out_.writeline(state_.needspdf15 ? "%PDF-1.5" : "%PDF-1.4");
        for (int64_t i = 0; i < n() && out_.error() == 0; ++i) {
            if (ui_.cancelled()) {
                result_ = status(OVINPDF_CANCELLED, "Save cancelled by user");
                continue;
            }
            const pageinfo& page = state_.pages[static_cast<size_t>(i)];
            if (!page.isimage) {
                ui_.progressStatus("Adding text " + page.name);
            } else if (page.pagenumber <= 1) {
                ui_.progressStatus("Adding image " + page.name);
            } else {
                ui_.progressStatus("Adding image " + page.name + " (Page " +
                                   std::to_string(page.pagenumber) + ")");
            }
            ui_.progressStep();
            ui_.processMessages();
            writepage(i);
        }
        if (out_.error() == 0) {
            ui_.progressFinish("Finalizing PDF output...");
            writetrailer();
        }
    } catch (const std::bad_alloc&) {
        result_ = ioerror(ENOMEM);
    } catch (...) {
        result_ = ioerror(EIO);
    }

    if (result_.ok()) {
        if (int err = out_.commit()) {
            result_ = ioerror(err);
        }
    } else if (out_.error() != 0) {
        // A failed write overrides what the page loop reported.
        result_ = ioerror(out_.error());
    }
    if (shown) {
        ui_.progressClose();
    }
    if (!result_.ok() && !out_.discard()) {
        ui_.message("Unable to remove corrupt pdf file " + out_.name());
    }
    return result_;
}

} // namespace

status savepdf(librarystate& state, Ui& ui, const std::string& filename) {
    try {
        return savejob(state, ui, filename).run();
    } catch (...) {
        // Nothing may escape a save: an allocation that fails before the
        // file is open ends it like any other resource failure.
        return ioerror(ENOMEM);
    }
}

} // namespace ovin
