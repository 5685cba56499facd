// ovinpdf: the command-line tool. Adds the given pages in order, then the
// bookmarks, and saves the document.
#include "library.h"
#include "options.h"
#include "privatefolder.h"
#include "stopsignals.h"
#include "terminalui.h"

#include <cstdio>
#include <memory>

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

int fail(ovin::Library& library, int32_t code) {
    std::fprintf(stderr, "ovinpdf: %s\n", library.geterror(code).c_str());
    return kFailure;
}

// The exit status of a run ended by a stop signal, as a shell reports a
// process killed by it.
int stopped(int signal) {
    return 128 + signal;
}

int convert(const ovincli::options& o) {
    if (std::optional<std::string> input = ovincli::outputclash(o)) {
        std::fprintf(stderr,
                     "ovinpdf: the output %s is one of the input files (%s); nothing written\n",
                     o.output.c_str(), input->c_str());
        return kUsageError;
    }

    // Declared in this order so that the library goes first, then the
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
    ovin::Library library(std::make_unique<ovincli::TerminalUi>(o.quiet, stops));
    library.pdfinit(0, temp);
    if (o.producer) {
        library.setpdfmaker(*o.producer);
    }
    if (o.title) {
        library.setpdftitle(*o.title);
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
        int32_t r = it.istext ? library.pdfaddtext(it.value) : library.pdfaddimage(it.value);
        if (r != 0) {
            return fail(library, r);
        }
    }
    for (const ovincli::bookmarkrequest& b : o.bookmarks) {
        int32_t r = b.sub ? library.pdfaddsubindex(b.parent, b.page, b.title)
                          : library.pdfaddindex(b.page, b.title);
        if (r != 0) {
            return fail(library, r);
        }
    }
    if (stops.received() != 0) {
        return stoppedearly();
    }

    int32_t result = library.pdfsave(o.output);
    if (!o.quiet) {
        library.getwarnings(
            [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    }
    if (result != 0) {
        // A signal that came during the save is the reason it ended, even
        // when the message names what failed as the save wound down.
        const int status = fail(library, result);
        return stops.received() != 0 ? stopped(stops.received()) : status;
    }
    // A signal after the last page no longer stops the save: the file is
    // complete and in place, and the run says so.
    if (!o.quiet) {
        std::fprintf(stderr, "%s written: %zu pages\n", o.output.c_str(),
                     library.state().pages.size());
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
        std::printf("ovinpdf: PDF Creation Library - Version 1.8\n%s\nTel: %s\nWeb: %s\n",
                    ovin::kMakerCompany, ovin::kMakerTelephone, ovin::kMakerWeb);
        return 0;
    }
    return convert(o);
}
