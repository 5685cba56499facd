#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace ovincli {

const char* const kUsage =
    "Usage: ovinpdf [options] ITEM... -o OUT.pdf\n"
    "Turns images into one PDF file, one page per image page.\n"
    "\n"
    "Each ITEM is an image file (JPEG, TIFF, PNG, BMP, PNM or JPEG 2000, known by\n"
    "its content whatever its name; a multi-page TIFF adds every page), or\n"
    "--text TEXT for a text page at that place.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE                  the PDF file to write (required)\n"
    "      --text TEXT                    a text page at this place\n"
    "      --bookmark PAGE TITLE          a bookmark opening PAGE (an image file\n"
    "                                     name or a page text as given)\n"
    "      --sub-bookmark PARENT PAGE TITLE\n"
    "                                     a bookmark below every bookmark made for\n"
    "                                     the page PARENT\n"
    "      --title TEXT                   the document title\n"
    "      --producer TEXT                the producer named in the document\n"
    "      --temp PATH                    temporary file for page conversion\n"
    "                                     (default: in a folder of this run alone)\n"
    "      --no-auto-orient               keep pages as stored, whatever their\n"
    "                                     EXIF or TIFF orientation says\n"
    "      --default-dpi N                resolution of files that give none\n"
    "                                     (default 200)\n"
    "      --dpi N                        resolution of every file, whatever it\n"
    "                                     gives\n"
    "  -q, --quiet                        no progress display, no warnings\n"
    "      --version                      show the version and exit\n"
    "  -h, --help                         show this help and exit\n"
    "\n"
    "Bookmarks are added after all pages, in the order given.\n"
    "The output must not be one of the input images.\n"
    "Ctrl-C, SIGTERM and SIGHUP stop the run and leave no file.\n"
    "Exit status: 0 success, 1 failure, 2 usage error, 128 + the signal number\n"
    "when stopped by a signal (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).\n";

namespace {

// A resolution in dots per inch: a number from 1 to 65535, nothing after it.
bool parsedpi(const std::string& text, double& dpi) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || errno != 0 || !(value >= 1) ||
        value > 65535) {
        return false;
    }
    dpi = value;
    return true;
}

} // namespace

std::optional<options> parseoptions(const std::vector<std::string>& args, std::string& error) {
    options o;
    bool optionsended = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto need = [&](size_t count) -> bool {
            if (i + count >= args.size()) {
                error = "option " + a + " needs " + std::to_string(count) +
                        (count == 1 ? " argument" : " arguments");
                return false;
            }
            return true;
        };
        if (optionsended || a.empty() || a[0] != '-' || a == "-") {
            o.items.push_back({false, a});
        } else if (a == "--") {
            optionsended = true;
        } else if (a == "-o" || a == "--output") {
            if (!need(1)) {
                return std::nullopt;
            }
            o.output = args[++i];
        } else if (a == "--text") {
            if (!need(1)) {
                return std::nullopt;
            }
            o.items.push_back({true, args[++i]});
        } else if (a == "--bookmark") {
            if (!need(2)) {
                return std::nullopt;
            }
            o.bookmarks.push_back({"", false, args[i + 1], args[i + 2]});
            i += 2;
        } else if (a == "--sub-bookmark") {
            if (!need(3)) {
                return std::nullopt;
            }
            o.bookmarks.push_back({args[i + 1], true, args[i + 2], args[i + 3]});
            i += 3;
        } else if (a == "--title") {
            if (!need(1)) {
                return std::nullopt;
            }
            o.title = args[++i];
        } else if (a == "--producer") {
            if (!need(1)) {
                return std::nullopt;
            }
            o.producer = args[++i];
        } else if (a == "--temp") {
            if (!need(1)) {
                return std::nullopt;
            }
            o.temp = args[++i];
            if (o.temp.empty()) {
                error = "option --temp needs a path";
                return std::nullopt;
            }
        } else if (a == "--no-auto-orient") {
            o.autoorient = false;
        } else if (a == "--default-dpi" || a == "--dpi") {
            if (!need(1)) {
                return std::nullopt;
            }
            double& target = a == "--dpi" ? o.dpi : o.defaultdpi;
            if (!parsedpi(args[++i], target)) {
                error = "option " + a + " needs a resolution from 1 to 65535 dots per inch";
                return std::nullopt;
            }
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else {
            error = "unknown option " + a;
            return std::nullopt;
        }
    }
    if (o.help || o.version) {
        return o;
    }
    if (o.output.empty()) {
        error = "no output file given (-o OUT.pdf)";
        return std::nullopt;
    }
    if (o.items.empty()) {
        error = "no pages given";
        return std::nullopt;
    }
    return o;
}

std::optional<std::string> outputclash(const options& o) {
    struct stat out {};
    if (::stat(o.output.c_str(), &out) != 0) {
        return std::nullopt; // not there yet: no input can be it
    }
    for (const item& it : o.items) {
        struct stat in {};
        if (!it.istext && ::stat(it.value.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
            in.st_ino == out.st_ino) {
            return it.value;
        }
    }
    return std::nullopt;
}

} // namespace ovincli
