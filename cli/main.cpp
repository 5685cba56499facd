// ovinpdf: the command-line tool. Adds the given pages in order, then the
// bookmarks, and saves the document.
#include "library.h"
#include "options.h"
#include "terminalui.h"

#include <cstdio>
#include <memory>

namespace {

int fail(ovin::Library& library, int32_t code) {
    std::fprintf(stderr, "ovinpdf: %s\n", library.geterror(code).c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    std::optional<ovincli::options> parsed = ovincli::parseoptions(args, error);
    if (!parsed) {
        std::fprintf(stderr, "ovinpdf: %s\n%s", error.c_str(), ovincli::kUsage);
        return 2;
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

    ovin::Library library(std::make_unique<ovincli::TerminalUi>(o.quiet));
    library.pdfinit(0, o.temp);
    if (o.producer) {
        library.setpdfmaker(*o.producer);
    }
    if (o.title) {
        library.setpdftitle(*o.title);
    }
    for (const ovincli::item& it : o.items) {
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
    int32_t result = library.pdfsave(o.output);
    if (!o.quiet) {
        library.getwarnings(
            [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    }
    if (result != 0) {
        return fail(library, result);
    }
    if (!o.quiet) {
        std::fprintf(stderr, "%s written: %zu pages\n", o.output.c_str(),
                     library.state().pages.size());
    }
    return 0;
}
