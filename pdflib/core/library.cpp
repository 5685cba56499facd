#include "core/library.h"

#include "core/prepare.h"
#include "core/save.h"
#include "faces/classic/messages.h"
#include "names.h"
#include "numbers.h"
#include "pdf/pdftext.h"
#include "readers/imagedesc.h"
#include "version.h"

#include <cstdio>
#include <cstdlib>
#include <random>

namespace ovin {

std::string abouttext(const std::string& separator) {
    return std::string("PDF Creation Library - Version ") + kLibraryVersion + separator +
           kMakerCompany + separator + "Tel: " + kMakerTelephone + separator + "Web: " + kMakerWeb;
}

namespace {

// The user's own temporary folder, ending in "/".
std::string temporaryfolder() {
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* dir = std::getenv(var);
        if (dir != nullptr && *dir != '\0') {
            std::string path(dir);
            if (path.back() != '/') {
                path.push_back('/');
            }
            return path;
        }
    }
    return "/tmp/";
}

} // namespace

std::string defaulttempimgpath() {
    return temporaryfolder() + "OVINPDF.TMP";
}

std::string uniquetempimgpath() {
    std::random_device random;
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%08x%08x", random(), random());
    return temporaryfolder() + "ovinpdf-" + suffix + ".tmp";
}

Library::Library() : Library(nullptr) {}

Library::Library(std::unique_ptr<Ui> ui, std::unique_ptr<facepolicy> face)
    : ui_(std::move(ui)), face_(std::move(face)) {
    if (!ui_) {
        ui_ = std::make_unique<HeadlessUi>();
    }
    if (!face_) {
        face_ = makeclassicface();
    }
}

void Library::setui(std::unique_ptr<Ui> ui) {
    if (saving_) {
        return;
    }
    ui_ = ui ? std::move(ui) : std::make_unique<HeadlessUi>();
}

void Library::pdfinit(uintptr_t window, std::string_view tempimgpath) {
    if (saving_) {
        return;
    }
    if (state_.window == 0) {
        state_.window = window;
    }
    state_.tempimgpath =
        trimmed(tempimgpath).empty() ? defaulttempimgpath() : std::string(tempimgpath);
    state_.pdfmaker = kMakerCompany;
    state_.pdftitle.clear();
    pdfclear();
}

void Library::settempimg(std::string_view path) {
    if (!saving_ && !trimmed(path).empty()) {
        state_.tempimgpath = path;
    }
}

void Library::setpdfmaker(std::string_view text) {
    if (!saving_) {
        state_.pdfmaker = text;
    }
}

void Library::setpdftitle(std::string_view text) {
    if (!saving_) {
        state_.pdftitle = text;
    }
}

void Library::showversioninfo() {
    if (saving_) {
        return;
    }
    // Each line after the first is preceded by LF CR, in that order.
    ui_->message(abouttext("\n\r"));
}

std::string Library::geterror(int32_t code) const {
    // The temporary-file message names the path in use; the save reports
    // such a page as an image error, so its detail is not the last one.
    return errortext(code, code == OVINPDF_TEMP_EXISTS ? state_.tempimgpath : state_.errorarg);
}

void Library::getwarnings(const std::function<void(const std::string&)>& add) const {
    for (const std::string& line : state_.warnings.lines()) {
        add(line);
    }
}

void Library::pdfclear() {
    if (saving_) {
        return;
    }
    state_.pages.clear();
    state_.lastpage.clear();
    state_.outline.clear();
    state_.warnings.clear();
    state_.errorarg.clear();
    state_.lastfailure = {};
    state_.needspdf15 = false;
}

int32_t Library::report(const status& outcome) {
    if (!outcome.ok()) {
        state_.lastfailure = outcome;
        if (std::optional<std::string> detail = face_->errordetail(outcome)) {
            state_.errorarg = std::move(*detail);
        }
    }
    return outcome.code();
}

void Library::appendpage(pageinfo page) {
    state_.lastpage[page.name] = static_cast<int32_t>(state_.pages.size());
    state_.pages.push_back(std::move(page));
}

int32_t Library::findpage(std::string_view pagename) const {
    auto it = state_.lastpage.find(std::string(pagename));
    return it == state_.lastpage.end() ? -1 : it->second;
}

int32_t Library::addbookmark(int32_t parent, std::string_view pagename, std::string_view title,
                             int32_t pageindex) {
    outlinetree& tree = state_.outline;
    auto index = static_cast<int32_t>(tree.nodes.size());
    bookmark entry;
    entry.key = pagename;
    entry.title = pdfescape(title);
    entry.pageindex = pageindex;
    entry.parent = parent;
    tree.nodes.push_back(std::move(entry));
    if (parent < 0) {
        tree.top.push_back(index);
    } else {
        tree.nodes[static_cast<size_t>(parent)].children.push_back(index);
    }
    tree.bykey.emplace(std::string(pagename), index);
    return index;
}

int32_t Library::pdfaddindex(std::string_view pagename, std::string_view title) {
    if (saving_) {
        return OVINPDF_BUSY;
    }
    int32_t page = findpage(pagename);
    if (page < 0) {
        return report({OVINPDF_PAGE_NOT_FOUND, std::string(pagename)});
    }
    addbookmark(-1, pagename, title, page);
    return OVINPDF_OK;
}

int32_t Library::pdfaddsubindex(std::string_view parentkey, std::string_view pagename,
                                std::string_view title) {
    if (saving_) {
        return OVINPDF_BUSY;
    }
    int32_t page = findpage(pagename);
    if (page < 0) {
        return report({OVINPDF_PAGE_NOT_FOUND, std::string(pagename)});
    }
    // Every entry with the parent key receives a child, except an entry that
    // lies below another entry with that key: the search does not descend
    // below a match.
    const outlinetree& tree = state_.outline;
    std::vector<int32_t> parents;
    auto [first, last] = tree.bykey.equal_range(std::string(parentkey));
    for (auto it = first; it != last; ++it) {
        bool belowmatch = false;
        for (int32_t up = tree.nodes[static_cast<size_t>(it->second)].parent; up >= 0;
             up = tree.nodes[static_cast<size_t>(up)].parent) {
            if (tree.nodes[static_cast<size_t>(up)].key == parentkey) {
                belowmatch = true;
                break;
            }
        }
        if (!belowmatch) {
            parents.push_back(it->second);
        }
    }
    if (parents.empty()) {
        return report({OVINPDF_NO_PARENT, std::string(parentkey)});
    }
    for (int32_t parent : parents) {
        addbookmark(parent, pagename, title, page);
    }
    return OVINPDF_OK;
}

int32_t Library::pdfaddtext(std::string_view text) {
    if (saving_) {
        return OVINPDF_BUSY;
    }
    appendpage({std::string(text), false, 0, imagekind::unknown, {}, nullptr});
    return OVINPDF_OK;
}

int32_t Library::pdfaddimage(std::string_view filename) {
    return addimagepages(filename, 0);
}

int32_t Library::addimagepages(std::string_view filename, uint32_t page) {
    if (saving_) {
        return OVINPDF_BUSY;
    }
    std::string name(filename);
    if (!face_->validname(name)) {
        return report({OVINPDF_INVALID_NAME, name});
    }
    identified file;
    if (status found = face_->identify(name, file); !found.ok()) {
        return report(found);
    }
    if (!face_->allowsrepeats() && state_.lastpage.contains(name)) {
        return report({OVINPDF_ALREADY_ADDED, name});
    }
    imagedesc probe;
    readcontext context{*ui_, state_.warnings, state_.options, state_.defaultxdpi,
                        state_.defaultydpi};
    if (status probed = readimage(*face_, context, file.kind, name, file.source.get(),
                                  page == 0 ? 1 : page, imagedata::skip, probe);
        !probed.ok()) {
        return report(probed);
    }
    state_.needspdf15 = state_.needspdf15 || needspdf15(probe);
    const uint32_t count = probe.pagesinfile == 0 ? 1 : probe.pagesinfile;
    if (page > count) {
        return report({OVINPDF_IMAGE_ERROR, face_->shown(name) + " has " +
                                                counted(count, "page", "pages") + ", not " +
                                                std::to_string(page)});
    }
    const uint32_t first = page == 0 ? 1 : page;
    const uint32_t last = page == 0 ? count : page;
    const imagefacts facts{probe.width, probe.height, probe.xdpi, probe.ydpi};
    std::shared_ptr<bytesource> kept = file.keep ? file.source : nullptr;
    state_.pages.reserve(state_.pages.size() + (last - first + 1));
    for (uint32_t p = first; p <= last; ++p) {
        appendpage({name, true, p, file.kind, facts, kept, state_.options.layout.rotate});
    }
    return OVINPDF_OK;
}

void Library::setoptions(const documentoptions& options) {
    if (!saving_) {
        state_.options = options;
    }
}

namespace {

// Marks the library as saving for the length of a save.
struct savingflag {
    bool& flag;
    explicit savingflag(bool& f) : flag(f) { flag = true; }
    ~savingflag() { flag = false; }
    savingflag(const savingflag&) = delete;
    savingflag& operator=(const savingflag&) = delete;
};

} // namespace

int32_t Library::pdfsave(std::string_view filename) {
    if (saving_) {
        return OVINPDF_BUSY;
    }
    const savingflag guard(saving_);
    return report(savepdf(state_, *ui_, *face_, std::string(filename)));
}

int32_t Library::savetofd(int fd, std::string_view name) {
    if (saving_) {
        return OVINPDF_BUSY;
    }
    const savingflag guard(saving_);
    return report(savepdftofd(state_, *ui_, *face_, fd, std::string(name)));
}

} // namespace ovin
