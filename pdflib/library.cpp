#include "library.h"

#include "imgdata.h"
#include "inputfile.h"
#include "prepare.h"
#include "textutil.h"
#include "writer.h"

#include <cstdlib>

namespace ovin {

std::string defaulttempimgpath() {
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* dir = std::getenv(var);
        if (dir != nullptr && *dir != '\0') {
            std::string path(dir);
            if (path.back() != '/') {
                path.push_back('/');
            }
            return path + "OVINPDF.TMP";
        }
    }
    return "/tmp/OVINPDF.TMP";
}

std::string errortext(int32_t code, const std::string& detail) {
    switch (code) {
    case kFileNotFound:
        return "ERROR : File Not Found (" + detail + ")";
    case kNoPages:
        return "ERROR : No Pages Added";
    case kUnsupportedType:
        return "ERROR : Unsupported Image Type (" + detail + ")";
    case kCancelled:
        return "ERROR : PDF Save Cancelled By User";
    case kIoError:
        return "ERROR : I/O Error (" + detail + ")";
    case kImageError:
        return "ERROR : Image Error (" + detail + ")";
    case kPageNotFound:
        return "ERROR : Page Not Found (" + detail + ")";
    case kBlankName:
        return "ERROR : PDF Filename is blank";
    case kNoParent:
        return "ERROR : Cannot find index parent (" + detail + ")";
    case kAlreadyAdded:
        return "ERROR : Page already added (" + detail + ")";
    case kTempExists:
        return "ERROR : Cannot create temporary tiff (" + detail + " already exists)";
    case kInvalidName:
        return "ERROR : Invalid filename (" + detail + ")";
    default:
        return "ERROR : Unknown error (" + std::to_string(code) + ")";
    }
}

Library::Library() : Library(std::make_unique<HeadlessUi>()) {}

Library::Library(std::unique_ptr<Ui> ui) : ui_(std::move(ui)) {
    if (!ui_) {
        ui_ = std::make_unique<HeadlessUi>();
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
    ui_->message(std::string("PDF Creation Library - Version 1.8") + "\n\r" + kMakerCompany +
                 "\n\rTel: " + kMakerTelephone + "\n\rWeb: " + kMakerWeb);
}

std::string Library::geterror(int32_t code) const {
    return errortext(code, state_.errorarg);
}

void Library::getwarnings(const std::function<void(const std::string&)>& add) const {
    for (const std::string& line : state_.warnings) {
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
    state_.warningset.clear();
    state_.errorarg.clear();
}

void Library::appendpage(std::string name, bool isimage, uint16_t pagenumber) {
    state_.lastpage[name] = static_cast<int32_t>(state_.pages.size());
    state_.pages.push_back(pageinfo{std::move(name), isimage, pagenumber});
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
        return kBusy;
    }
    int32_t page = findpage(pagename);
    if (page < 0) {
        state_.errorarg = pagename;
        return kPageNotFound;
    }
    addbookmark(-1, pagename, title, page);
    return kOk;
}

int32_t Library::pdfaddsubindex(std::string_view parentkey, std::string_view pagename,
                                std::string_view title) {
    if (saving_) {
        return kBusy;
    }
    int32_t page = findpage(pagename);
    if (page < 0) {
        state_.errorarg = pagename;
        return kPageNotFound;
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
        state_.errorarg = parentkey;
        return kNoParent;
    }
    for (int32_t parent : parents) {
        addbookmark(parent, pagename, title, page);
    }
    return kOk;
}

int32_t Library::pdfaddtext(std::string_view text) {
    if (saving_) {
        return kBusy;
    }
    appendpage(std::string(text), false, 0);
    return kOk;
}

int32_t Library::pdfaddimage(std::string_view filename) {
    if (saving_) {
        return kBusy;
    }
    std::string name(filename);
    if (!validfilename(name)) {
        state_.errorarg = name;
        return kInvalidName;
    }
    if (!fileexists(name)) {
        state_.errorarg = name;
        return kFileNotFound;
    }
    std::string ext = upperextension(name);
    if (ext != ".TIF" && ext != ".JPG" && ext != ".BMP") {
        state_.errorarg = name;
        return kUnsupportedType;
    }
    if (state_.lastpage.contains(name)) {
        state_.errorarg = name;
        return kAlreadyAdded;
    }
    imgdata probe;
    int32_t result = probeimage(state_, *ui_, name, 1, probe, imagedata::skip);
    if (result != kOk) {
        return result;
    }
    uint16_t count = probe.pagesinfile == 0 ? 1 : probe.pagesinfile;
    state_.pages.reserve(state_.pages.size() + count);
    for (int page = 1; page <= count; ++page) {
        appendpage(name, true, static_cast<uint16_t>(page));
    }
    return kOk;
}

int32_t Library::pdfsave(std::string_view filename) {
    if (saving_) {
        return kBusy;
    }
    struct savingflag {
        bool& flag;
        explicit savingflag(bool& f) : flag(f) { flag = true; }
        ~savingflag() { flag = false; }
        savingflag(const savingflag&) = delete;
        savingflag& operator=(const savingflag&) = delete;
    } guard(saving_);
    return savepdf(state_, *ui_, std::string(filename));
}

} // namespace ovin
