// The document API (ovinpdf_document.h): each handle is a library instance
// of its own with the document face's options, so handles share nothing
// and may be used from different threads at once.
#include "ovinpdf_document.h"

#include "core/library.h"
#include "core/pagepicture.h"
#include "faces/document/messages.h"
#include "ocr/recognise.h"
#include "pagelimits.h"
#include "pdf/pagelayout.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

std::string_view text(const char* s) {
    return s == nullptr ? std::string_view() : s;
}

// Progress through the caller's callback; no windows, no message boxes
// (every failure reaches the caller as a code and a message).
class callbackui final : public ovin::Ui {
public:
    void attach(ovinpdf_progress progress, void* context) {
        progress_ = progress;
        context_ = context;
    }
    void progressShow(const std::string&, int32_t pagecount) override {
        pages_ = static_cast<uint32_t>(pagecount < 0 ? 0 : pagecount);
        done_ = 0;
        cancelled_ = false;
    }
    void progressStatus(const std::string& status) override { status_ = status; }
    void progressStep() override {
        ++done_;
        if (progress_ != nullptr && progress_(context_, done_, pages_, status_.c_str()) != 0) {
            cancelled_ = true;
        }
    }
    void progressFinish(const std::string&) override {}
    void progressClose() override {}
    void processMessages() override {}
    void progressWait() override {
        if (progress_ != nullptr && progress_(context_, done_, pages_, status_.c_str()) != 0) {
            cancelled_ = true;
        }
    }
    bool cancelled() const override { return cancelled_; }
    // What the library would show in a message box (a partial file it
    // could not remove) is said with the call's failure instead.
    void message(const std::string& text) override { messages_.push_back(text); }
    std::vector<std::string> takemessages() { return std::exchange(messages_, {}); }

private:
    std::vector<std::string> messages_;
    ovinpdf_progress progress_ = nullptr;
    void* context_ = nullptr;
    uint32_t pages_ = 0;
    uint32_t done_ = 0;
    std::string status_;
    bool cancelled_ = false;
};

// The document's window: its callback, which `ui` keeps reaching while
// the library owns it.
std::unique_ptr<ovin::Ui> makeui(callbackui*& ui) {
    auto owned = std::make_unique<callbackui>();
    ui = owned.get();
    return owned;
}

} // namespace

struct ovinpdf_document {
    callbackui* ui = nullptr; // owned by the library
    ovin::Library library;
    std::string lasterror;
    mutable std::vector<std::string> shown;
    mutable uint64_t shownversion = 0;

    // The warning lines as last handed out: they stay valid until the
    // warnings change.
    const std::vector<std::string>& warnings() const {
        const ovin::warninglist& list = library.state().warnings;
        if (shownversion != list.version()) {
            shown = list.lines();
            shownversion = list.version();
        }
        return shown;
    }

    ovinpdf_document() : library(makeui(ui), ovin::makedocumentface()) {
        // A re-encoding's temporary file of its own, so that documents never
        // meet there, within a process or across processes.
        library.pdfinit(0, ovin::uniquetempimgpath());
        library.setoptions(ovin::documentdefaults());
    }

    // The result of a call; a failure's plain message is kept for
    // ovinpdf_last_error.
    int32_t outcome(int32_t code, ovin::operation what, std::string_view subject) {
        const std::vector<std::string> messages = ui->takemessages();
        if (code != OVINPDF_OK) {
            ovin::status failure = library.state().lastfailure;
            if (failure.code() != code) {
                failure = ovin::status(code); // refused before anything was tried (busy)
            }
            lasterror = ovin::plainmessage(what, std::string(subject), failure);
            for (const std::string& text : messages) {
                lasterror += "; " + text;
            }
        }
        return code;
    }
};

namespace {

// Runs one call; nothing crosses the C boundary. A failure the call did
// not turn into a code itself is an I/O error (12 when memory ran out).
template <typename Call> int32_t guarded(ovinpdf_document* document, Call call) noexcept {
    if (document == nullptr) {
        return OVINPDF_INVALID_ARGUMENT;
    }
    int error = 0;
    try {
        return call(*document);
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    } catch (...) {
        error = EIO;
    }
    try {
        document->lasterror = ovin::faultwords(ovin::fault::system(error));
    } catch (...) {
        document->lasterror.clear();
    }
    return OVINPDF_IO_ERROR;
}

bool validdpi(double dpi) {
    return std::isfinite(dpi) && dpi >= 0 && dpi <= 65535;
}

// A length in points from 0 to the longest page side.
bool validpoints(double points) {
    return std::isfinite(points) && points >= 0 && points <= ovin::kMaxPagePoints;
}

template <typename Change> int32_t setoption(ovinpdf_document* document, Change change) {
    return guarded(document, [&](ovinpdf_document& d) {
        ovin::documentoptions options = d.library.options();
        if (!change(options)) {
            d.lasterror = "invalid option value";
            return OVINPDF_INVALID_ARGUMENT;
        }
        d.library.setoptions(options);
        return OVINPDF_OK;
    });
}

// Sets one option, or one entry of the document information, to `value`
// when `valid`.
template <typename T>
int32_t setfield(ovinpdf_document* document, T ovin::documentoptions::*field, const T& value,
                 bool valid = true) {
    return setoption(document, [&](ovin::documentoptions& o) {
        o.*field = value;
        return valid;
    });
}
template <typename T>
int32_t setinfo(ovinpdf_document* document, T ovin::documentinfo::*field, const T& value,
                bool valid = true) {
    return setoption(document, [&](ovin::documentoptions& o) {
        o.info.*field = value;
        return valid;
    });
}

} // namespace

extern "C" {

ovinpdf_document* ovinpdf_document_new(void) {
    try {
        return std::make_unique<ovinpdf_document>().release();
    } catch (...) {
        return nullptr;
    }
}

void ovinpdf_document_free(ovinpdf_document* document) {
    std::unique_ptr<ovinpdf_document> owned(document);
}

int32_t ovinpdf_add_image(ovinpdf_document* document, const char* filename) {
    return ovinpdf_add_image_page(document, filename, 0);
}

int32_t ovinpdf_add_image_page(ovinpdf_document* document, const char* filename, uint32_t page) {
    return guarded(document, [&](ovinpdf_document& d) {
        return d.outcome(d.library.addimagepages(text(filename), page), ovin::operation::adding,
                         text(filename));
    });
}

int32_t ovinpdf_add_text(ovinpdf_document* document, const char* value) {
    return guarded(document, [&](ovinpdf_document& d) {
        return d.outcome(d.library.pdfaddtext(text(value)), ovin::operation::adding, text(value));
    });
}

int32_t ovinpdf_add_bookmark(ovinpdf_document* document, const char* pagename, const char* title) {
    return guarded(document, [&](ovinpdf_document& d) {
        return d.outcome(d.library.pdfaddindex(text(pagename), text(title)),
                         ovin::operation::bookmarking, text(pagename));
    });
}

int32_t ovinpdf_add_sub_bookmark(ovinpdf_document* document, const char* parentname,
                                 const char* pagename, const char* title) {
    return guarded(document, [&](ovinpdf_document& d) {
        return d.outcome(d.library.pdfaddsubindex(text(parentname), text(pagename), text(title)),
                         ovin::operation::bookmarking, text(pagename));
    });
}

uint32_t ovinpdf_page_count(const ovinpdf_document* document) {
    return document == nullptr ? 0 : static_cast<uint32_t>(document->library.state().pages.size());
}

int32_t ovinpdf_image_pages(ovinpdf_document* document, const char* filename, uint32_t* pages) {
    return guarded(document, [&](ovinpdf_document& d) {
        if (pages == nullptr) {
            d.lasterror = "no place for the page count";
            return OVINPDF_INVALID_ARGUMENT;
        }
        *pages = 0;
        return d.outcome(ovin::checkimagefile(d.library, text(filename), *pages),
                         ovin::operation::adding, text(filename));
    });
}

int32_t ovinpdf_page_preview(ovinpdf_document* document, const char* filename, uint32_t page,
                             uint32_t max_side, uint8_t* pixels, size_t size, uint32_t* width,
                             uint32_t* height) {
    return guarded(document, [&](ovinpdf_document& d) {
        if (pixels == nullptr || width == nullptr || height == nullptr || page == 0 ||
            max_side == 0 || max_side > 32768) {
            d.lasterror = "invalid preview request";
            return OVINPDF_INVALID_ARGUMENT;
        }
        ovin::picture picture;
        const int32_t code =
            d.outcome(ovin::pagepicture(d.library, text(filename), page, max_side, picture),
                      ovin::operation::adding, text(filename));
        if (code != OVINPDF_OK) {
            return code;
        }
        if (picture.rgb.size() > size) {
            d.lasterror = "the preview buffer is too small";
            return OVINPDF_INVALID_ARGUMENT;
        }
        std::copy(picture.rgb.begin(), picture.rgb.end(), pixels);
        *width = static_cast<uint32_t>(picture.width);
        *height = static_cast<uint32_t>(picture.height);
        return OVINPDF_OK;
    });
}

int32_t ovinpdf_set_title(ovinpdf_document* document, const char* title) {
    return guarded(document, [&](ovinpdf_document& d) {
        d.library.setpdftitle(text(title));
        return OVINPDF_OK;
    });
}

int32_t ovinpdf_set_producer(ovinpdf_document* document, const char* producer) {
    return guarded(document, [&](ovinpdf_document& d) {
        d.library.setpdfmaker(text(producer));
        return OVINPDF_OK;
    });
}

int32_t ovinpdf_set_temporary_path(ovinpdf_document* document, const char* path) {
    return guarded(document, [&](ovinpdf_document& d) {
        if (text(path).empty()) {
            d.lasterror = "the temporary path is empty";
            return OVINPDF_INVALID_ARGUMENT;
        }
        d.library.settempimg(text(path));
        return OVINPDF_OK;
    });
}

int32_t ovinpdf_set_auto_orient(ovinpdf_document* document, bool on) {
    return setfield(document, &ovin::documentoptions::autoorient, on);
}

int32_t ovinpdf_set_icc_profiles(ovinpdf_document* document, bool on) {
    return setfield(document, &ovin::documentoptions::iccprofiles, on);
}

int32_t ovinpdf_set_default_resolution(ovinpdf_document* document, double dpi) {
    return setfield(document, &ovin::documentoptions::defaultdpi, dpi, validdpi(dpi));
}

int32_t ovinpdf_set_resolution(ovinpdf_document* document, double dpi) {
    return setfield(document, &ovin::documentoptions::forcedpi, dpi, validdpi(dpi));
}

int32_t ovinpdf_set_jpeg_quality(ovinpdf_document* document, int quality) {
    return setfield(document, &ovin::documentoptions::jpegquality, quality,
                    quality >= 0 && quality <= 100);
}

int32_t ovinpdf_set_lossless(ovinpdf_document* document, bool on) {
    return setfield(document, &ovin::documentoptions::lossless, on);
}

int32_t ovinpdf_set_first_frame(ovinpdf_document* document, bool on) {
    return setfield(document, &ovin::documentoptions::firstframe, on);
}

int32_t ovinpdf_set_pdfa(ovinpdf_document* document, bool on) {
    return setfield(document, &ovin::documentoptions::pdfa, on);
}

int32_t ovinpdf_set_ocr(ovinpdf_document* document, const char* languages) {
    const std::string value(text(languages));
    return setfield(document, &ovin::documentoptions::ocrlanguages, value,
                    value.empty() || ovin::validocrlanguages(value));
}

int32_t ovinpdf_set_ocr_orient(ovinpdf_document* document, bool on) {
    return setfield(document, &ovin::documentoptions::ocrorient, on);
}

int32_t ovinpdf_set_max_megapixels(ovinpdf_document* document, uint32_t megapixels) {
    return setoption(document, [&](ovin::documentoptions& o) {
        o.maxpixels = uint64_t{megapixels} * 1'000'000;
        return megapixels >= 1 && megapixels <= 100'000;
    });
}

int32_t ovinpdf_set_page_size(ovinpdf_document* document, double width, double height) {
    return setoption(document, [&](ovin::documentoptions& o) {
        o.layout.width = width;
        o.layout.height = height;
        // No page size (0 by 0), or one that readers can draw.
        return validpoints(width) && validpoints(height) &&
               (width == 0 ? height == 0
                           : width >= ovin::kMinPagePoints && height >= ovin::kMinPagePoints) &&
               o.layout.leavesroom();
    });
}

int32_t ovinpdf_set_image_size(ovinpdf_document* document, double width, double height) {
    return setoption(document, [&](ovin::documentoptions& o) {
        o.layout.imagewidth = width;
        o.layout.imageheight = height;
        return validpoints(width) && validpoints(height) &&
               (width == 0 ? height == 0
                           : width >= ovin::kMinPagePoints && height >= ovin::kMinPagePoints);
    });
}

int32_t ovinpdf_set_page_orientation(ovinpdf_document* document, int orientation) {
    return setoption(document, [&](ovin::documentoptions& o) {
        switch (orientation) {
        case OVINPDF_ORIENTATION_AUTO:
            o.layout.orientation = ovin::pageorientation::automatic;
            return true;
        case OVINPDF_ORIENTATION_PORTRAIT:
            o.layout.orientation = ovin::pageorientation::portrait;
            return true;
        case OVINPDF_ORIENTATION_LANDSCAPE:
            o.layout.orientation = ovin::pageorientation::landscape;
            return true;
        default:
            return false;
        }
    });
}

int32_t ovinpdf_set_fit(ovinpdf_document* document, int fit) {
    return setoption(document, [&](ovin::documentoptions& o) {
        if (fit < OVINPDF_FIT_INTO || fit > OVINPDF_FIT_ENLARGE) {
            return false;
        }
        o.layout.fit = static_cast<ovin::pagefit>(fit);
        return true;
    });
}

int32_t ovinpdf_set_rotation(ovinpdf_document* document, int degrees) {
    return setoption(document, [&](ovin::documentoptions& o) {
        o.layout.rotate = degrees;
        return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
    });
}

int32_t ovinpdf_set_border(ovinpdf_document* document, double horizontal, double vertical) {
    return setoption(document, [&](ovin::documentoptions& o) {
        o.layout.borderx = horizontal;
        o.layout.bordery = vertical;
        return validpoints(horizontal) && validpoints(vertical) && o.layout.leavesroom();
    });
}

bool ovinpdf_page_size_from_text(const char* value, double* width, double* height) {
    try {
        double w = 0;
        double h = 0;
        if (width == nullptr || height == nullptr || !ovin::parsepagesize(text(value), w, h)) {
            return false;
        }
        *width = w;
        *height = h;
        return true;
    } catch (...) {
        return false;
    }
}

int32_t ovinpdf_set_author(ovinpdf_document* document, const char* value) {
    return setinfo(document, &ovin::documentinfo::author, std::string(text(value)));
}

int32_t ovinpdf_set_subject(ovinpdf_document* document, const char* value) {
    return setinfo(document, &ovin::documentinfo::subject, std::string(text(value)));
}

int32_t ovinpdf_set_keywords(ovinpdf_document* document, const char* value) {
    return setinfo(document, &ovin::documentinfo::keywords, std::string(text(value)));
}

int32_t ovinpdf_set_creator(ovinpdf_document* document, const char* value) {
    return setinfo(document, &ovin::documentinfo::creator, std::string(text(value)));
}

int32_t ovinpdf_set_creation_date(ovinpdf_document* document, int64_t seconds) {
    return setinfo(document, &ovin::documentinfo::created, seconds,
                   seconds >= 0 && seconds <= ovin::kLatestDate);
}

int32_t ovinpdf_set_modification_date(ovinpdf_document* document, int64_t seconds) {
    return setinfo(document, &ovin::documentinfo::modified, seconds,
                   seconds >= 0 && seconds <= ovin::kLatestDate);
}

int32_t ovinpdf_save_to_fd(ovinpdf_document* document, int fd, const char* name,
                           ovinpdf_progress progress, void* context) {
    return guarded(document, [&](ovinpdf_document& d) {
        if (fd < 0) {
            d.lasterror = "no file descriptor to write to";
            return OVINPDF_INVALID_ARGUMENT;
        }
        d.ui->attach(progress, context);
        const int32_t code = d.library.savetofd(fd, text(name));
        d.ui->attach(nullptr, nullptr);
        return d.outcome(code, ovin::operation::saving, text(name));
    });
}

int32_t ovinpdf_save(ovinpdf_document* document, const char* filename, ovinpdf_progress progress,
                     void* context) {
    return guarded(document, [&](ovinpdf_document& d) {
        d.ui->attach(progress, context);
        const int32_t code = d.library.pdfsave(text(filename));
        d.ui->attach(nullptr, nullptr);
        return d.outcome(code, ovin::operation::saving, text(filename));
    });
}

size_t ovinpdf_warning_count(const ovinpdf_document* document) {
    return document == nullptr ? 0 : document->warnings().size();
}

const char* ovinpdf_warning(const ovinpdf_document* document, size_t index) {
    if (document == nullptr) {
        return "";
    }
    const auto& lines = document->warnings();
    return index < lines.size() ? lines[index].c_str() : "";
}

const char* ovinpdf_last_error(const ovinpdf_document* document) {
    return document == nullptr ? "" : document->lasterror.c_str();
}

const char* ovinpdf_about(void) {
    static const std::string about = ovin::abouttext("\n");
    return about.c_str();
}

} // extern "C"
