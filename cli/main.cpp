// ovinpdf: the command-line tool, on the library's document API. Adds the
// given pages in order, then the bookmarks, and saves the document.
#include "options.h"
#include "ovinpdf_document.h"
#include "privatefolder.h"
#include "progressbar.h"
#include "stopsignals.h"

#include <cstdio>
#include <memory>

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

struct documentdeleter {
    void operator()(ovinpdf_document* d) const { ovinpdf_document_free(d); }
};
using document = std::unique_ptr<ovinpdf_document, documentdeleter>;

int fail(const ovinpdf_document* d) {
    std::fprintf(stderr, "ovinpdf: %s\n", ovinpdf_last_error(d));
    return kFailure;
}

// The exit status of a run ended by a stop signal, as a shell reports a
// process killed by it.
int stopped(int signal) {
    return 128 + signal;
}

struct progress {
    ovincli::progressbar& bar;
    const ovincli::stopsignals& stops;
};

// Draws the bar, and cancels the save between pages once a stop signal came.
extern "C" int onpage(void* context, uint32_t page, uint32_t pages, const char* status) {
    auto* p = static_cast<progress*>(context);
    p->bar.show(page, pages, status);
    return p->stops.received() != 0 ? 1 : 0;
}

bool setoptions(ovinpdf_document* d, const ovincli::options& o, const std::string& temp) {
    return (!o.title || ovinpdf_set_title(d, o.title->c_str()) == OVINPDF_OK) &&
           (!o.producer || ovinpdf_set_producer(d, o.producer->c_str()) == OVINPDF_OK) &&
           ovinpdf_set_temporary_path(d, temp.c_str()) == OVINPDF_OK &&
           ovinpdf_set_auto_orient(d, o.autoorient) == OVINPDF_OK &&
           ovinpdf_set_default_resolution(d, o.defaultdpi) == OVINPDF_OK &&
           ovinpdf_set_resolution(d, o.dpi) == OVINPDF_OK;
}

int convert(const ovincli::options& o) {
    if (std::optional<std::string> input = ovincli::outputclash(o)) {
        std::fprintf(stderr,
                     "ovinpdf: the output %s is one of the input files (%s); nothing written\n",
                     o.output.c_str(), input->c_str());
        return kUsageError;
    }

    // Declared in this order so that the document goes first, then the
    // folder, and the signal handlers last.
    ovincli::stopsignals stops;
    ovincli::privatefolder folder;
    std::string temp = o.temp;
    if (temp.empty()) {
        std::string error;
        if (!folder.make(error)) {
            std::fprintf(stderr, "ovinpdf: %s\n", error.c_str());
            return kFailure;
        }
        temp = folder.path() + "/OVINPDF.TMP";
    }
    const document d(ovinpdf_document_new());
    if (!d) {
        std::fprintf(stderr, "ovinpdf: out of memory\n");
        return kFailure;
    }
    if (!setoptions(d.get(), o, temp)) {
        return fail(d.get());
    }

    auto stoppedearly = [&] {
        std::fprintf(stderr, "ovinpdf: stopped by %s before the save; no file written\n",
                     ovincli::stopsignals::name(stops.received()));
        return stopped(stops.received());
    };
    for (const ovincli::item& it : o.items) {
        if (stops.received() != 0) {
            return stoppedearly();
        }
        const int32_t r = it.istext ? ovinpdf_add_text(d.get(), it.value.c_str())
                                    : ovinpdf_add_image(d.get(), it.value.c_str());
        if (r != OVINPDF_OK) {
            return fail(d.get());
        }
    }
    for (const ovincli::bookmarkrequest& b : o.bookmarks) {
        const int32_t r = b.sub ? ovinpdf_add_sub_bookmark(d.get(), b.parent.c_str(),
                                                           b.page.c_str(), b.title.c_str())
                                : ovinpdf_add_bookmark(d.get(), b.page.c_str(), b.title.c_str());
        if (r != OVINPDF_OK) {
            return fail(d.get());
        }
    }
    if (stops.received() != 0) {
        return stoppedearly();
    }

    ovincli::progressbar bar(o.quiet);
    progress state{bar, stops};
    const int32_t result = ovinpdf_save(d.get(), o.output.c_str(), onpage, &state);
    bar.clear();
    if (!o.quiet) {
        for (size_t i = 0; i < ovinpdf_warning_count(d.get()); ++i) {
            std::fprintf(stderr, "%s\n", ovinpdf_warning(d.get(), i));
        }
    }
    if (result != OVINPDF_OK) {
        // A signal that came during the save is the reason it ended, even
        // when the message names what failed as the save wound down.
        const int status = fail(d.get());
        return stops.received() != 0 ? stopped(stops.received()) : status;
    }
    // A signal after the last page no longer stops the save: the file is
    // complete and in place, and the run says so.
    if (!o.quiet) {
        std::fprintf(stderr, "%s written: %u pages\n", o.output.c_str(),
                     ovinpdf_page_count(d.get()));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    std::optional<ovincli::options> parsed = ovincli::parseoptions(args, error);
    if (!parsed) {
        std::fprintf(stderr, "ovinpdf: %s\n%s", error.c_str(), ovincli::kUsage);
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
