#include "writer.h"

#include "imagepage.h"
#include "outline.h"
#include "pdfoutput.h"
#include "prepare.h"
#include "textpage.h"
#include "textutil.h"

#include <cerrno>
#include <new>

namespace ovin {

namespace {

// The largest offset the ten digits of a cross-reference entry can hold.
constexpr uint64_t kMaxOffset = 9'999'999'999ULL;

std::string ref(int64_t object) {
    return std::to_string(object) + " 0 R";
}

std::string padded(uint64_t offset) {
    std::string digits = std::to_string(offset);
    return std::string(digits.size() < 10 ? 10 - digits.size() : 0, '0') + digits;
}

class savejob {
public:
    savejob(librarystate& state, Ui& ui, const std::string& filename)
        : state_(state), ui_(ui), filename_(filename) {}

    int32_t run();

private:
    void findpagesize();
    // A probed page is at most 14400 points on a side.
    void setpagesize(const imgdata& image) {
        const pointsize points = pagepoints(image);
        size_ = {static_cast<int32_t>(points.width), static_cast<int32_t>(points.height)};
    }
    void writepage(int32_t i);
    void writeerrorpage(int32_t i);
    void writetrailer();
    int32_t n() const { return static_cast<int32_t>(state_.pages.size()); }

    librarystate& state_;
    Ui& ui_;
    const std::string& filename_;
    pdfoutput out_;
    pagesize size_;
    probecache cache_;
    conversioncache conversions_;
    imgdata scratch_;
    int32_t result_ = 0;
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
        imgdata image;
        if (probeimage(state_, ui_, page.name, 1, image, imagedata::skip, &cache_) == 0) {
            setpagesize(image);
            state_.defaultxdpi = image.xdpi;
            state_.defaultydpi = image.ydpi;
            break;
        }
    }
}

void savejob::writeerrorpage(int32_t i) {
    state_.errorarg = pdfescape(state_.errorarg);
    writetextpage(out_, i, n(), size_, {"** IMAGE ERROR **", towinansi(state_.errorarg)});
}

void savejob::writepage(int32_t i) {
    const pageinfo& page = state_.pages[static_cast<size_t>(i)];
    if (!page.isimage) {
        writetextpage(out_, i, n(), size_, {pdfescape(towinansi(page.name))});
        return;
    }
    // One record serves every page, so that its data buffer is allocated
    // once for the largest page rather than once per page.
    std::vector<uint8_t> buffer = std::move(scratch_.data);
    scratch_ = imgdata{};
    scratch_.data = std::move(buffer);
    imgdata& image = scratch_;
    int32_t r =
        probeimage(state_, ui_, page.name, page.pagenumber, image, imagedata::read, &cache_);
    if (r == 0 && !image.passthrough) {
        r = convertimage(state_, ui_, page.name, page.pagenumber, image, &conversions_);
    }
    if (r != 0) {
        result_ = -6;
        writeerrorpage(i);
        return;
    }
    if (size_.width == -1) {
        setpagesize(image);
    }
    if (writeimagepage(out_, i, n(), image, page.name, state_.errorarg) != 0) {
        result_ = -6;
    }
}

void savejob::writetrailer() {
    const int64_t count = n();
    const int64_t info = 4 * count + 1;
    const int64_t tree = 4 * count + 2;
    const int64_t catalog = 4 * count + 3;

    out_.beginobject(static_cast<int32_t>(info));
    out_.writeline("<<");
    out_.writeline("/Producer " + pdftextstring(state_.pdfmaker));
    out_.writeline("/Title " + pdftextstring(state_.pdftitle));
    out_.writeline(">>");
    out_.endobject();

    out_.beginobject(static_cast<int32_t>(tree));
    out_.writeline("<<");
    out_.writeline("/Type /Pages");
    std::string kids = "/Kids [ ";
    kids.reserve(kids.size() + static_cast<size_t>(count) * 12);
    for (int64_t p = 1; p <= count; ++p) {
        kids += std::to_string(4 * p);
        kids += " 0 R ";
    }
    kids += "]";
    out_.writeline(kids);
    out_.writeline("/Count " + std::to_string(count));
    out_.writeline(">>");
    out_.endobject();

    const bool outline = !state_.outline.empty();
    out_.beginobject(static_cast<int32_t>(catalog));
    out_.writeline("<<");
    out_.writeline("/Type /Catalog");
    out_.writeline("/Pages " + ref(tree));
    if (outline) {
        out_.writeline("/PageMode /UseOutlines");
        out_.writeline("/Outlines " + ref(4 * count + 4));
    }
    out_.writeline(">>");
    out_.endobject();

    if (outline) {
        writeoutline(out_, state_.outline, n());
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
    out_.writeline("/Info " + ref(info));
    out_.writeline("/Root " + ref(catalog));
    out_.writeline(">>");
    out_.writeline("startxref");
    out_.writeline(std::to_string(xref));
    out_.writeline("%%EOF");
    if (xref > kMaxOffset) {
        // The cross-reference table cannot describe a file this large.
        result_ = -5;
        state_.errorarg = std::to_string(EFBIG);
    }
}

int32_t savejob::run() {
    if (!validfilename(filename_)) {
        state_.errorarg = filename_;
        return -12;
    }
    if (state_.pages.empty()) {
        return -2;
    }
    if (trimmed(filename_).empty()) {
        return -8;
    }
    const int32_t total = outlinetotal(state_.outline);
    const int64_t objcount =
        4 * int64_t{n()} + 3 + (state_.outline.empty() ? 0 : 1 + 2 * int64_t{total});
    if (objcount > INT32_MAX) {
        state_.errorarg = std::to_string(EFBIG);
        return -5;
    }
    if (int err = out_.open(filename_, static_cast<int32_t>(objcount))) {
        state_.errorarg = std::to_string(err);
        return -5;
    }

    bool shown = false;
    try {
        findpagesize();
        ui_.progressShow(filename_, n());
        shown = true;
        out_.writeline("%PDF-1.4");
        for (int32_t i = 0; i < n() && out_.error() == 0; ++i) {
            if (ui_.cancelled()) {
                state_.errorarg = "Save cancelled by user";
                result_ = -4;
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
        result_ = -5;
        state_.errorarg = std::to_string(ENOMEM);
    } catch (...) {
        result_ = -5;
        state_.errorarg = std::to_string(EIO);
    }

    if (result_ == 0) {
        if (int err = out_.commit()) {
            result_ = -5;
            state_.errorarg = std::to_string(err);
        }
    } else if (out_.error() != 0) {
        // A failed write overrides what the page loop reported.
        result_ = -5;
        state_.errorarg = std::to_string(out_.error());
    }
    if (shown) {
        ui_.progressClose();
    }
    if (result_ != 0 && !out_.discard()) {
        ui_.message("Unable to remove corrupt pdf file " + out_.name());
    }
    return result_;
}

} // namespace

int32_t savepdf(librarystate& state, Ui& ui, const std::string& filename) {
    try {
        return savejob(state, ui, filename).run();
    } catch (...) {
        // Nothing may escape a save: an allocation that fails before the
        // file is open ends it like any other resource failure.
        state.errorarg = std::to_string(ENOMEM);
        return -5;
    }
}

} // namespace ovin
