// ovinpdf: the command-line tool, on the library's document API. Reads the
// lists of names it is given, copies an image that comes through a pipe
// (standard input, a FIFO, a process substitution) into a file without a
// name, adds the pages in order, then the bookmarks, and saves the document
// to a file or to standard output.
#include "folderfiles.h"
#include "inputs.h"
#include "naturalorder.h"
#include "options.h"
#include "ovinpdf_document.h"
#include "progressbar.h"
#include "quote.h"
#include "stopsignals.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;
constexpr int kSkipped = 3; // written, without the images --keep-going skipped

struct documentdeleter {
    void operator()(ovinpdf_document* d) const { ovinpdf_document_free(d); }
};
using document = std::unique_ptr<ovinpdf_document, documentdeleter>;

// The exit status of a run ended by a stop signal, as a shell reports a
// process killed by it.
int stopped(int signal) {
    return 128 + signal;
}

// How the run names an image that came through a pipe: the library reads
// its copy as /dev/fd/N, the user knows it as "-" or by its name (in
// bookmarks) and as "standard input" or its quoted name (in messages).
class naming {
public:
    // The copy of `name` (an item of the command line) open as `fd`.
    void setcopy(const std::string& name, int fd, std::string shown) {
        const std::string path = "/dev/fd/" + std::to_string(fd);
        copies_[name] = path;
        alias(ovin::quotename(path), std::move(shown));
    }
    // `text` in the library's messages is shown as `as`.
    void alias(std::string text, std::string as) {
        shown_.emplace_back(std::move(text), std::move(as));
    }
    // The name the library knows an item of the command line by.
    std::string page(const std::string& name) const {
        const auto it = copies_.find(name);
        return it == copies_.end() ? name : it->second;
    }
    // A message of the library as the user reads it.
    std::string shown(std::string text) const {
        for (const auto& [path, as] : shown_) {
            for (size_t at = text.find(path); at != std::string::npos;
                 at = text.find(path, at + as.size())) {
                text.replace(at, path.size(), as);
            }
        }
        return text;
    }

private:
    std::map<std::string, std::string> copies_;
    std::vector<std::pair<std::string, std::string>> shown_;
};

int fail(const ovinpdf_document* d, const naming& names) {
    std::fprintf(stderr, "ovinpdf: %s\n", names.shown(ovinpdf_last_error(d)).c_str());
    return kFailure;
}

struct progress {
    ovincli::progressbar& bar;
    const ovincli::stopsignals& stops;
    const naming& names;
};

// Draws the bar, and cancels the save between pages once a stop signal came.
extern "C" int onpage(void* context, uint32_t page, uint32_t pages, const char* status) {
    auto* p = static_cast<progress*>(context);
    p->bar.show(page, pages, p->names.shown(status != nullptr ? status : ""));
    return p->stops.received() != 0 ? 1 : 0;
}

bool setoptions(ovinpdf_document* d, const ovincli::options& o) {
    const auto text = [&](const std::optional<std::string>& value,
                          int32_t (*set)(ovinpdf_document*, const char*)) {
        return !value || set(d, value->c_str()) == OVINPDF_OK;
    };
    const auto date = [&](const std::optional<int64_t>& value,
                          int32_t (*set)(ovinpdf_document*, int64_t)) {
        return !value || set(d, *value) == OVINPDF_OK;
    };
    const ovincli::layoutoptions& l = o.layout;
    return text(o.info.title, ovinpdf_set_title) && text(o.info.producer, ovinpdf_set_producer) &&
           text(o.info.author, ovinpdf_set_author) && text(o.info.subject, ovinpdf_set_subject) &&
           text(o.info.keywords, ovinpdf_set_keywords) &&
           text(o.info.creator, ovinpdf_set_creator) &&
           date(o.info.created, ovinpdf_set_creation_date) &&
           date(o.info.modified, ovinpdf_set_modification_date) &&
           (o.temp.empty() || ovinpdf_set_temporary_path(d, o.temp.c_str()) == OVINPDF_OK) &&
           ovinpdf_set_auto_orient(d, o.autoorient) == OVINPDF_OK &&
           ovinpdf_set_default_resolution(d, o.defaultdpi) == OVINPDF_OK &&
           ovinpdf_set_resolution(d, o.dpi) == OVINPDF_OK &&
           ovinpdf_set_jpeg_quality(d, o.jpegquality.value_or(0)) == OVINPDF_OK &&
           (!o.maxmegapixels || ovinpdf_set_max_megapixels(d, *o.maxmegapixels) == OVINPDF_OK) &&
           ovinpdf_set_page_size(d, l.width, l.height) == OVINPDF_OK &&
           (!l.orientation || ovinpdf_set_page_orientation(d, *l.orientation) == OVINPDF_OK) &&
           (!l.fit || ovinpdf_set_fit(d, *l.fit) == OVINPDF_OK) &&
           ovinpdf_set_rotation(d, l.rotate) == OVINPDF_OK &&
           ovinpdf_set_image_size(d, l.imagewidth, l.imageheight) == OVINPDF_OK &&
           ovinpdf_set_lossless(d, o.lossless) == OVINPDF_OK &&
           ovinpdf_set_first_frame(d, o.firstframe) == OVINPDF_OK &&
           ovinpdf_set_pdfa(d, o.pdfa) == OVINPDF_OK &&
           ovinpdf_set_ocr(d, o.ocr.c_str()) == OVINPDF_OK &&
           ovinpdf_set_ocr_orient(d, o.ocrorient) == OVINPDF_OK &&
           (!l.borderx || ovinpdf_set_border(d, *l.borderx, *l.bordery) == OVINPDF_OK);
}

// The images of a folder (not of its subfolders, nor hidden ones), in the
// order file managers show them; nullopt after printing why it cannot be
// read.
std::optional<std::vector<ovincli::item>> folderimages(const std::string& folder) {
    std::string error;
    const std::optional<std::vector<std::string>> files = ovin::folderfiles(folder, error);
    if (!files) {
        std::fprintf(stderr, "ovinpdf: cannot read the folder %s: %s\n",
                     ovin::quotename(folder).c_str(), error.c_str());
        return std::nullopt;
    }
    std::vector<ovincli::item> images;
    for (const std::string& file : *files) {
        images.push_back({ovincli::itemkind::image, file, true});
    }
    return images;
}

// The command line's items with each run of image files in the order asked.
std::vector<ovincli::item> sorteditems(const ovincli::options& o) {
    std::vector<ovincli::item> items = o.items;
    if (o.sort == ovincli::sortorder::none) {
        return items;
    }
    const auto image = [](const ovincli::item& it) { return it.kind == ovincli::itemkind::image; };
    for (auto run = items.begin(); run != items.end();) {
        run = std::find_if(run, items.end(), image);
        const auto last = std::find_if_not(run, items.end(), image);
        std::stable_sort(run, last, [&](const auto& a, const auto& b) {
            return o.sort == ovincli::sortorder::natural ? ovin::naturalless(a.value, b.value)
                                                         : a.value < b.value;
        });
        run = last;
    }
    return items;
}

// The pages in order, with the names read from lists and the images of
// folders in their places. Returns nullopt after printing why when a list
// or a folder cannot be read.
std::optional<std::vector<ovincli::item>> pagesof(const ovincli::options& o,
                                                  const ovincli::stopsignals& stops) {
    std::vector<ovincli::item> pages;
    for (const ovincli::item& it : sorteditems(o)) {
        std::error_code ignored; // not a folder: the file is read as an image
        if (it.kind == ovincli::itemkind::image &&
            std::filesystem::is_directory(it.value, ignored)) {
            std::optional<std::vector<ovincli::item>> images = folderimages(it.value);
            if (!images) {
                return std::nullopt;
            }
            pages.insert(pages.end(), images->begin(), images->end());
            continue;
        }
        if (it.kind != ovincli::itemkind::list) {
            pages.push_back(it);
            continue;
        }
        std::string error;
        std::optional<std::vector<std::string>> names =
            ovincli::readlist(it.value, o.nullseparated, stops, error);
        if (!names) {
            if (stops.received() == 0) {
                std::fprintf(stderr, "ovinpdf: %s\n", error.c_str());
            }
            return std::nullopt;
        }
        for (std::string& name : *names) {
            pages.push_back({ovincli::itemkind::image, std::move(name)});
        }
    }
    return pages;
}

int convert(const ovincli::options& o) {
    const bool readsimage = std::any_of(o.items.begin(), o.items.end(), [](const auto& it) {
        return it.kind == ovincli::itemkind::standardinput;
    });
    // Binary data neither comes from nor goes to a person at a terminal.
    if (o.output == "-" && ::isatty(STDOUT_FILENO) == 1) {
        std::fprintf(stderr, "ovinpdf: -o -: standard output is a terminal; send the PDF to a "
                             "pipe or a file (-o - > OUT.pdf) or name the file (-o OUT.pdf)\n");
        return kUsageError;
    }
    if (readsimage && ::isatty(STDIN_FILENO) == 1) {
        std::fprintf(stderr, "ovinpdf: -: standard input is a terminal; give the image through "
                             "a pipe or a redirection (- < scan.jpg)\n");
        return kUsageError;
    }

    // Declared in this order so that the document goes first, then the
    // folder, and the signal handlers last.
    ovincli::stopsignals stops;
    auto stoppedearly = [&] {
        std::fprintf(stderr, "ovinpdf: stopped by %s before the save; no file written\n",
                     ovincli::stopsignals::name(stops.received()));
        return stopped(stops.received());
    };
    // The lists and standard input are checked before they are read, the
    // names in the lists after.
    const auto clash = [&](const std::vector<ovincli::item>& items) {
        const std::optional<std::string> input = ovincli::outputclash(o.output, items);
        if (input) {
            std::fprintf(stderr,
                         "ovinpdf: the output %s is one of the input files (%s); nothing written\n",
                         ovin::quotename(o.output).c_str(), input->c_str());
        }
        return input.has_value();
    };
    if (clash(o.items)) {
        return kUsageError;
    }
    std::optional<std::vector<ovincli::item>> pages = pagesof(o, stops);
    if (!pages) {
        return stops.received() != 0 ? stoppedearly() : kFailure;
    }
    if (pages->empty()) {
        std::fprintf(stderr, "ovinpdf: no pages given: the lists and folders name no images\n");
        return kUsageError;
    }
    if (clash(*pages)) {
        return kUsageError;
    }

    // Images that come through a pipe are read here, where a stop signal
    // can end the wait for them, into files without a name.
    naming names;
    std::vector<ovincli::unnamedcopy> copies;
    for (const ovincli::item& it : *pages) {
        struct stat st {};
        const bool standard = it.kind == ovincli::itemkind::standardinput;
        const bool fifo = it.kind == ovincli::itemkind::image &&
                          ::stat(it.value.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
        if (!(standard || fifo) || names.page(it.value) != it.value) {
            continue;
        }
        std::string error;
        std::optional<ovincli::unnamedcopy> copy =
            ovincli::copypipe(standard ? std::string() : it.value, stops, error);
        if (!copy) {
            if (stops.received() != 0) {
                return stoppedearly();
            }
            std::fprintf(stderr, "ovinpdf: %s\n", error.c_str());
            return kFailure;
        }
        names.setcopy(it.value, copy->fd(),
                      standard ? "standard input" : ovin::quotename(it.value));
        copies.push_back(std::move(*copy));
    }

    const document d(ovinpdf_document_new());
    if (!d) {
        std::fprintf(stderr, "ovinpdf: out of memory\n");
        return kFailure;
    }
    if (!setoptions(d.get(), o)) {
        return fail(d.get(), names);
    }
    uint32_t skipped = 0;
    for (const ovincli::item& it : *pages) {
        if (stops.received() != 0) {
            return stoppedearly();
        }
        const bool image = it.kind != ovincli::itemkind::text;
        const int32_t r = image ? ovinpdf_add_image(d.get(), names.page(it.value).c_str())
                                : ovinpdf_add_text(d.get(), it.value.c_str());
        // A folder's other files (a Thumbs.db, say) are not pages.
        if (r == OVINPDF_OK || (r == OVINPDF_UNSUPPORTED_TYPE && it.infolder)) {
            continue;
        }
        if (!image || !o.keepgoing || r == OVINPDF_INVALID_ARGUMENT) {
            return fail(d.get(), names);
        }
        std::fprintf(stderr, "ovinpdf: %s; skipped\n",
                     names.shown(ovinpdf_last_error(d.get())).c_str());
        ++skipped;
    }
    if (skipped > 0 && ovinpdf_page_count(d.get()) == 0) {
        std::fprintf(stderr, "ovinpdf: no pages left: every image was skipped\n");
        return kFailure;
    }
    for (const ovincli::bookmarkrequest& b : o.bookmarks) {
        const std::string page = names.page(b.page);
        const int32_t r = b.sub ? ovinpdf_add_sub_bookmark(d.get(), names.page(b.parent).c_str(),
                                                           page.c_str(), b.title.c_str())
                                : ovinpdf_add_bookmark(d.get(), page.c_str(), b.title.c_str());
        if (r != OVINPDF_OK) {
            return fail(d.get(), names);
        }
    }
    if (stops.received() != 0) {
        return stoppedearly();
    }

    names.alias(ovin::quotename("standard output"), "standard output");
    ovincli::progressbar bar(o.quiet);
    progress state{bar, stops, names};
    const bool tostdout = o.output == "-";
    const std::string shownoutput = tostdout ? "standard output" : ovin::quotename(o.output);
    const int32_t result =
        tostdout ? ovinpdf_save_to_fd(d.get(), STDOUT_FILENO, shownoutput.c_str(), onpage, &state)
                 : ovinpdf_save(d.get(), o.output.c_str(), onpage, &state);
    bar.clear();
    if (!o.quiet) {
        for (size_t i = 0; i < ovinpdf_warning_count(d.get()); ++i) {
            std::fprintf(stderr, "%s\n", names.shown(ovinpdf_warning(d.get(), i)).c_str());
        }
    }
    if (result != OVINPDF_OK) {
        // A signal that came during the save is the reason it ended, even
        // when the message names what failed as the save wound down.
        const int status = fail(d.get(), names);
        return stops.received() != 0 ? stopped(stops.received()) : status;
    }
    // A signal after the last page no longer stops the save: the file is
    // complete and in place, and the run says so.
    if (!o.quiet) {
        const uint32_t count = ovinpdf_page_count(d.get());
        std::fprintf(stderr, "%s written: %u %s", shownoutput.c_str(), count,
                     count == 1 ? "page" : "pages");
        if (skipped > 0) {
            std::fprintf(stderr, ", %u %s skipped", skipped, skipped == 1 ? "image" : "images");
        }
        std::fputc('\n', stderr);
    }
    return skipped > 0 ? kSkipped : 0;
}

} // namespace

int main(int argc, char** argv) {
    // The character set of the terminal, for the width of names in the
    // progress line; numbers are read the same whatever the locale.
    std::setlocale(LC_CTYPE, "");
    // A page's buffers (its samples, their coding) are megabytes each and
    // freed after the page. Kept in the heap rather than given back to the
    // system, the next page reuses them instead of faulting in fresh memory
    // page by page: a tenth less time on large scans.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    std::optional<ovincli::options> parsed = ovincli::parseoptions(args, error);
    if (!parsed) {
        std::fprintf(stderr, "ovinpdf: %s\nTry 'ovinpdf --help' for more information.\n",
                     error.c_str());
        return kUsageError;
    }
    const ovincli::options& o = *parsed;
    if (o.help) {
        std::fputs(ovincli::kUsage, stdout);
        return 0;
    }
    if (o.version) {
        std::printf("ovinpdf: %s\n", ovinpdf_about());
        return 0;
    }
    return convert(o);
}
