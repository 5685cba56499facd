#include "options.h"

#include "ascii.h"
#include "ovinpdf_document.h"
#include "pagelimits.h"
#include "quote.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <getopt.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace ovincli {

const char* const kUsage =
    "Usage: ovinpdf [OPTION]... ITEM... -o OUT.pdf\n"
    "Turns images into one PDF file, one page per image page.\n"
    "\n"
    "Each ITEM is an image file (JPEG, TIFF, PNG, BMP, PNM, JPEG 2000, WebP, GIF,\n"
    "HEIC, AVIF or JPEG XL, known by its content whatever its name; a multi-page\n"
    "TIFF or animated GIF adds every page), a folder (its images, in the order\n"
    "file managers show them), - for an image read from\n"
    "standard input, or --text TEXT for a text page at that place.\n"
    "Pages keep the order of the command line; every other option applies to the\n"
    "whole document wherever it stands. Long options may be shortened to any\n"
    "prefix that names one option and take their value after = too (--fit=fill);\n"
    "-- ends the options.\n"
    "\n"
    "Pages and output:\n"
    "  -o, --output=FILE             the PDF file to write (required); - writes it\n"
    "                                to standard output, which must not be a terminal\n"
    "      --text=TEXT               a text page at this place (running on over\n"
    "                                further pages when it does not fit one)\n"
    "      --from-file=LIST          the image files named in LIST, one a line, at\n"
    "                                this place; - reads the list from standard input\n"
    "  -0, --null                    names in lists end with a NUL byte (find -print0)\n"
    "      --sort=ORDER              the image files given one after another: natural\n"
    "                                (scan2 before scan10, case ignored), name (byte\n"
    "                                by byte) or none (as given; the default)\n"
    "      --keep-going              skip an image that cannot be added, say so, and\n"
    "                                end with exit status 3 when any was skipped\n"
    "      --temp=PATH               accepted for older scripts; pages are decoded\n"
    "                                in memory, no temporary image file is written\n"
    "\n"
    "Page layout:\n"
    "  -S, --page-size=SIZE          every image page this size: A0-A6, B0-B6, C4-C6,\n"
    "                                Letter, Legal, Tabloid or WIDTHxHEIGHT with mm,\n"
    "                                cm, in or pt (210x297mm, 8.5inx11in); ^T after\n"
    "                                it turns it (A4^T); default: the image's\n"
    "  -s, --imgsize=SIZE            every image fitted into a box of this size; the\n"
    "                                page is the image (and its borders) unless\n"
    "                                --page-size is given too\n"
    "      --orientation=WAY         portrait, landscape or auto (each page the way\n"
    "                                of its image; the default)\n"
    "      --fit=HOW                 the image on a page of --page-size: into (as\n"
    "                                large as fits; the default), fill (covers the\n"
    "                                page, cut at the edges), exact (stretched),\n"
    "                                shrink (into, never enlarged), enlarge (into,\n"
    "                                never shrunk)\n"
    "      --rotate=DEGREES          turn every image page clockwise by 90, 180 or\n"
    "                                270 degrees (0: as it stands; the default)\n"
    "  -r, --rotation=HOW            auto (the default) or none (as --no-auto-orient),\n"
    "                                or 90, 180, 270 instead of the orientation\n"
    "  -b, --border=LENGTH[,LENGTH]  margins with a unit: one for every side (10mm),\n"
    "                                or left and right, top and bottom (0.5in,1in);\n"
    "                                with a colon top and bottom first (1in:0.5in)\n"
    "      --no-auto-orient          keep pages as stored, whatever their EXIF or\n"
    "                                TIFF orientation says\n"
    "      --default-dpi=N           resolution of files that give none (default 200)\n"
    "      --dpi=N                   resolution of every file, whatever it gives\n"
    "      --jpeg-quality=N          1 to 100: decoded 8-bit grey and colour pictures\n"
    "                                as JPEG at this quality (default: lossless)\n"
    "      --lossless                HEIC, AVIF and lossy WebP or JPEG XL pictures\n"
    "                                compressed losslessly, not as JPEG at quality 92\n"
    "      --first-frame             only the first frame of an animated GIF or WebP\n"
    "      --pdfa                    a PDF/A-2b file, for archives (fonts embedded,\n"
    "                                sRGB output intent)\n"
    "      --ocr=LANG[+LANG]         recognise the text of every image page (Tesseract,\n"
    "                                languages such as eng or eng+deu) and lay it\n"
    "                                invisibly over the page: searchable, copyable\n"
    "      --ocr-orient              with --ocr: turn pages that lie sideways or\n"
    "                                upside down upright\n"
    "      --max-megapixels=N        the most pixels, in millions, of a page that\n"
    "                                is decoded (default 600)\n"
    "\n"
    "Document information:\n"
    "      --title=TEXT, --author=TEXT, --subject=TEXT, --keywords=TEXT,\n"
    "      --creator=TEXT, --producer=TEXT\n"
    "                                the document's title, author, subject,\n"
    "                                keywords, creating program and producer\n"
    "      --creation-date=DATE, --modification-date=DATE\n"
    "                                2024-05-01T12:00:00Z (UTC when no offset such\n"
    "                                as +02:00 is given) or seconds since 1970;\n"
    "                                default: SOURCE_DATE_EPOCH, else the time of\n"
    "                                the save\n"
    "\n"
    "Bookmarks (added after all pages, in the order given):\n"
    "      --bookmark PAGE TITLE     a bookmark opening PAGE (an image file name as\n"
    "                                given, - for standard input, or a page text)\n"
    "      --sub-bookmark PARENT PAGE TITLE\n"
    "                                a bookmark below every bookmark made for the\n"
    "                                page PARENT\n"
    "  PAGE and PARENT are the option's value (--bookmark=PAGE TITLE works too);\n"
    "  the words after it are taken as they are, even when they begin with -.\n"
    "\n"
    "  -q, --quiet                   no progress display, no warnings\n"
    "  -h, --help                    show this help and exit\n"
    "      --version                 show the version and exit\n"
    "\n"
    "The output must not be one of the input images, lists or standard input.\n"
    "Ctrl-C, SIGTERM and SIGHUP stop the run and leave no file.\n"
    "Exit status: 0 success, 1 failure, 2 usage error, 3 written without the images\n"
    "--keep-going skipped, 128 + the signal number\n"
    "when stopped by a signal (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).\n";

namespace {

// Values getopt_long returns for the options without a short form.
enum : int {
    kText = 256,
    kFromFile,
    kTemp,
    kPageSize,
    kOrientation,
    kFit,
    kRotate,
    kLossless,
    kFirstFrame,
    kPdfa,
    kOcr,
    kOcrOrient,
    kKeepGoing,
    kSort,
    kNoAutoOrient,
    kDefaultDpi,
    kDpi,
    kJpegQuality,
    kMaxMegapixels,
    kTitle,
    kProducer,
    kAuthor,
    kSubject,
    kKeywords,
    kCreator,
    kCreationDate,
    kModificationDate,
    kBookmark,
    kSubBookmark,
    kVersion,
};

struct optiondef {
    const char* name;
    int hasarg;
    int val;
    const char* argument; // what it takes, for messages
};

constexpr std::array kOptions = {
    optiondef{"output", required_argument, 'o', "FILE"},
    optiondef{"text", required_argument, kText, "TEXT"},
    optiondef{"from-file", required_argument, kFromFile, "LIST"},
    optiondef{"null", no_argument, '0', nullptr},
    optiondef{"temp", required_argument, kTemp, "PATH"},
    optiondef{"page-size", required_argument, kPageSize, "SIZE"},
    optiondef{"pagesize", required_argument, 'S', "SIZE"},
    optiondef{"imgsize", required_argument, 's', "SIZE"},
    optiondef{"orientation", required_argument, kOrientation, "WAY"},
    optiondef{"fit", required_argument, kFit, "HOW"},
    optiondef{"border", required_argument, 'b', "LENGTH[,LENGTH]"},
    optiondef{"rotate", required_argument, kRotate, "DEGREES"},
    optiondef{"rotation", required_argument, 'r', "HOW"},
    optiondef{"no-auto-orient", no_argument, kNoAutoOrient, nullptr},
    optiondef{"default-dpi", required_argument, kDefaultDpi, "N"},
    optiondef{"dpi", required_argument, kDpi, "N"},
    optiondef{"jpeg-quality", required_argument, kJpegQuality, "N"},
    optiondef{"max-megapixels", required_argument, kMaxMegapixels, "N"},
    optiondef{"lossless", no_argument, kLossless, nullptr},
    optiondef{"first-frame", no_argument, kFirstFrame, nullptr},
    optiondef{"pdfa", no_argument, kPdfa, nullptr},
    optiondef{"ocr", required_argument, kOcr, "LANG[+LANG]"},
    optiondef{"ocr-orient", no_argument, kOcrOrient, nullptr},
    optiondef{"title", required_argument, kTitle, "TEXT"},
    optiondef{"producer", required_argument, kProducer, "TEXT"},
    optiondef{"author", required_argument, kAuthor, "TEXT"},
    optiondef{"subject", required_argument, kSubject, "TEXT"},
    optiondef{"keywords", required_argument, kKeywords, "TEXT"},
    optiondef{"creator", required_argument, kCreator, "TEXT"},
    optiondef{"creation-date", required_argument, kCreationDate, "DATE"},
    optiondef{"modification-date", required_argument, kModificationDate, "DATE"},
    optiondef{"bookmark", required_argument, kBookmark, "PAGE TITLE"},
    optiondef{"sub-bookmark", required_argument, kSubBookmark, "PARENT PAGE TITLE"},
    optiondef{"quiet", no_argument, 'q', nullptr},
    optiondef{"keep-going", no_argument, kKeepGoing, nullptr},
    optiondef{"sort", required_argument, kSort, "ORDER"},
    optiondef{"help", no_argument, 'h', nullptr},
    optiondef{"version", no_argument, kVersion, nullptr},
};

// A leading "-": every image name comes back in its place (as option 1);
// ":" after it: a missing value is told apart from an unknown option.
constexpr const char* kShortOptions = "-:o:0qhS:s:b:r:";

const optiondef* findoption(int val) {
    const auto* at = std::find_if(kOptions.begin(), kOptions.end(),
                                  [val](const optiondef& s) { return s.val == val; });
    return at == kOptions.end() ? nullptr : &*at;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// Why getopt_long refused the long option `word` ("--name" or
// "--name=value"): it names no option or more than one.
std::string longoptionerror(const std::string& word) {
    const std::string name = word.substr(2, word.find('=') - 2);
    if (name.empty()) {
        return "unknown option " + word;
    }
    std::string matches;
    int count = 0;
    for (const optiondef& s : kOptions) {
        if (std::string_view(s.name).starts_with(name)) {
            matches += std::string(count++ > 0 ? ", --" : "--") + s.name;
        }
    }
    if (count > 1) {
        return "option --" + name + " is ambiguous: it could be " + matches;
    }
    return "unknown option --" + name;
}

// A number in C notation with nothing after it but `rest`.
bool parsenumber(std::string_view text, double& value, std::string_view& rest) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr == text.data() || !std::isfinite(value)) {
        return false;
    }
    rest = std::string_view(ptr, static_cast<size_t>(end - ptr));
    return true;
}

bool parsewhole(std::string_view text, int64_t& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// A resolution in dots per inch: a number from 1 to 65535, nothing after it.
bool parsedpi(const std::string& text, double& dpi) {
    double value = 0;
    std::string_view rest;
    if (!parsenumber(text, value, rest) || !rest.empty() || !(value >= 1) || value > 65535) {
        return false;
    }
    dpi = value;
    return true;
}

// `text` as one of `names` (any letter case), giving its value.
template <size_t N>
bool parsename(const std::string& text, const std::array<std::pair<const char*, int>, N>& names,
               int& value) {
    for (const auto& [name, v] : names) {
        if (ovin::iequalsascii(text, name)) {
            value = v;
            return true;
        }
    }
    return false;
}

constexpr std::array<std::pair<const char*, int>, 3> kOrientations = {{
    {"auto", OVINPDF_ORIENTATION_AUTO},
    {"portrait", OVINPDF_ORIENTATION_PORTRAIT},
    {"landscape", OVINPDF_ORIENTATION_LANDSCAPE},
}};

constexpr std::array<std::pair<const char*, int>, 5> kFits = {{
    {"into", OVINPDF_FIT_INTO},
    {"fill", OVINPDF_FIT_FILL},
    {"exact", OVINPDF_FIT_EXACT},
    {"shrink", OVINPDF_FIT_SHRINK},
    {"enlarge", OVINPDF_FIT_ENLARGE},
}};

constexpr std::array<std::pair<const char*, int>, 3> kSortOrders = {{
    {"none", static_cast<int>(sortorder::none)},
    {"natural", static_cast<int>(sortorder::natural)},
    {"name", static_cast<int>(sortorder::name)},
}};

// Takes the value of one option into `o`; false with `error` set when it
// is not one the option takes.
bool takevalue(options& o, int val, const std::string& value, std::string& error) {
    const std::string name = std::string("option --") + findoption(val)->name + ": ";
    auto refuse = [&](const std::string& why) {
        error = name + quoted(value) + " " + why;
        return false;
    };
    switch (val) {
    case 'o':
        if (value.empty()) {
            return refuse("is no file name");
        }
        o.output = value;
        return true;
    case kText:
        o.items.push_back({itemkind::text, value});
        return true;
    case kFromFile:
        if (value.empty()) {
            return refuse("is no file name");
        }
        o.items.push_back({itemkind::list, value});
        return true;
    case kTemp:
        if (value.empty()) {
            return refuse("is no path");
        }
        o.temp = value;
        return true;
    case kPageSize:
    case 'S':
    case 's': {
        // A4^T: the size turned, as other converters write it.
        std::string size = value;
        const bool turned = size.ends_with("^T") || size.ends_with("^t");
        if (turned) {
            size.resize(size.size() - 2);
        }
        double w = 0;
        double h = 0;
        if (!ovinpdf_page_size_from_text(size.c_str(), &w, &h)) {
            return refuse("is not a page size: give A0 to A6, B0 to B6, C4 to C6, Letter, Legal, "
                          "Tabloid or WIDTHxHEIGHT with mm, cm, in or pt (such as 210x297mm or "
                          "8.5inx11in), at least 3 pt and at most 200 inches a side");
        }
        if (turned) {
            std::swap(w, h);
        }
        if (val == 's') {
            o.layout.imagewidth = w;
            o.layout.imageheight = h;
            return true;
        }
        o.layout.width = w;
        o.layout.height = h;
        if (turned) {
            o.layout.orientation =
                w > h ? OVINPDF_ORIENTATION_LANDSCAPE : OVINPDF_ORIENTATION_PORTRAIT;
        }
        return true;
    }
    case kOrientation: {
        int v = 0;
        if (!parsename(value, kOrientations, v)) {
            return refuse("is not portrait, landscape or auto");
        }
        o.layout.orientation = v;
        return true;
    }
    case kFit: {
        int v = 0;
        if (!parsename(value, kFits, v)) {
            return refuse("is not into, fill, exact, shrink or enlarge");
        }
        o.layout.fit = v;
        return true;
    }
    case kSort: {
        int v = 0;
        if (!parsename(value, kSortOrders, v)) {
            return refuse("is not natural, name or none");
        }
        o.sort = static_cast<sortorder>(v);
        return true;
    }
    case kRotate: {
        int64_t degrees = 0;
        if (!parsewhole(value, degrees) || degrees < 0 || degrees > 270 || degrees % 90 != 0) {
            return refuse("is not 0, 90, 180 or 270");
        }
        o.layout.rotate = static_cast<int>(degrees);
        return true;
    }
    case 'b': {
        // LEFTRIGHT,TOPBOTTOM; or, as other converters write it, the other
        // way round with a colon: TOPBOTTOM:LEFTRIGHT.
        const size_t comma = value.find(',');
        const size_t colon = value.find(':');
        const size_t cut = comma != std::string::npos ? comma : colon;
        double x = 0;
        double y = 0;
        if ((comma != std::string::npos && colon != std::string::npos) ||
            !parselength(value.substr(0, cut), x) ||
            !parselength(cut == std::string::npos ? value.substr(0, cut) : value.substr(cut + 1),
                         y)) {
            return refuse("is not one or two lengths from 0 to 200 inches with a unit (mm, cm, "
                          "in or pt), such as 10mm, 0.5in,1in (left and right, top and bottom) "
                          "or 1in:0.5in (top and bottom, left and right)");
        }
        if (colon != std::string::npos) {
            std::swap(x, y);
        }
        o.layout.borderx = x;
        o.layout.bordery = y;
        return true;
    }
    case 'r': {
        // Another converter's spelling: auto (or ifvalid) turns pages by
        // their orientation; none or 0 keeps them as stored; 90, 180 or 270
        // turn them so far instead.
        int64_t degrees = 0;
        if (ovin::iequalsascii(value, "auto") || ovin::iequalsascii(value, "ifvalid")) {
            o.autoorient = true;
            o.layout.rotate = 0;
        } else if (ovin::iequalsascii(value, "none") ||
                   (parsewhole(value, degrees) && degrees >= 0 && degrees <= 270 &&
                    degrees % 90 == 0)) {
            o.autoorient = false;
            o.layout.rotate = static_cast<int>(degrees);
        } else {
            return refuse("is not auto, ifvalid, none, 0, 90, 180 or 270");
        }
        return true;
    }
    case kDefaultDpi:
    case kDpi:
        if (!parsedpi(value, val == kDpi ? o.dpi : o.defaultdpi)) {
            return refuse("is not a resolution from 1 to 65535 dots per inch");
        }
        return true;
    case kJpegQuality: {
        int64_t q = 0;
        if (!parsewhole(value, q) || q < 1 || q > 100) {
            return refuse("is not a whole number from 1 to 100");
        }
        o.jpegquality = static_cast<int>(q);
        return true;
    }
    case kOcr: {
        // Tesseract's language names: letters, digits and underscores.
        bool valid = !value.empty() && value.front() != '+' && value.back() != '+' &&
                     value.find("++") == std::string::npos;
        for (const char c : value) {
            valid = valid && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9') || c == '_' || c == '+');
        }
        if (!valid) {
            return refuse("is not a list of languages such as eng or eng+deu");
        }
        o.ocr = value;
        return true;
    }
    case kMaxMegapixels: {
        int64_t m = 0;
        if (!parsewhole(value, m) || m < 1 || m > 100'000) {
            return refuse("is not a whole number from 1 to 100000");
        }
        o.maxmegapixels = static_cast<uint32_t>(m);
        return true;
    }
    case kCreationDate:
    case kModificationDate: {
        int64_t seconds = 0;
        if (!parsedate(value, seconds)) {
            return refuse("is not a date from 1970 to 9999 such as 2024-05-01T12:00:00Z, "
                          "2024-05-01T14:00:00+02:00, 2024-05-01 or seconds since 1970");
        }
        (val == kCreationDate ? o.info.created : o.info.modified) = seconds;
        return true;
    }
    case kTitle:
        o.info.title = value;
        return true;
    case kProducer:
        o.info.producer = value;
        return true;
    case kAuthor:
        o.info.author = value;
        return true;
    case kSubject:
        o.info.subject = value;
        return true;
    case kKeywords:
        o.info.keywords = value;
        return true;
    case kCreator:
        o.info.creator = value;
        return true;
    default:
        return false;
    }
}

// Two digits (or four for a year) at `at` of `text`, moving past them.
bool digits(std::string_view text, size_t& at, size_t count, int& value) {
    if (at + count > text.size()) {
        return false;
    }
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    at += count;
    return true;
}

bool skip(std::string_view text, size_t& at, std::string_view any) {
    if (at < text.size() && any.find(text[at]) != std::string_view::npos) {
        ++at;
        return true;
    }
    return false;
}

} // namespace

bool parselength(const std::string& text, double& points) {
    double value = 0;
    std::string_view unit;
    if (!parsenumber(text, value, unit)) {
        return false;
    }
    if (unit.empty() && value == 0) {
        points = 0; // nothing needs no unit
        return true;
    }
    if (unit.size() != 2) {
        return false;
    }
    constexpr std::array<std::pair<const char*, double>, 4> kUnits = {{
        {"mm", 72 / 25.4},
        {"cm", 720 / 25.4},
        {"in", 72},
        {"pt", 1},
    }};
    const auto* u = std::find_if(kUnits.begin(), kUnits.end(), [&](const auto& entry) {
        return ovin::iequalsascii(unit, entry.first);
    });
    if (u == kUnits.end()) {
        return false;
    }
    const double p = value * u->second;
    if (!(p >= 0) || p > ovin::kMaxPagePoints) {
        return false;
    }
    points = p;
    return true;
}

bool parsedate(const std::string& text, int64_t& seconds) {
    constexpr int64_t kLast = ovin::kLatestDate;
    int64_t whole = 0;
    if (parsewhole(text, whole)) {
        if (whole < 0 || whole > kLast) {
            return false;
        }
        seconds = whole;
        return true;
    }
    // YYYY-MM-DD[(T| )HH:MM[:SS[.fraction]]][Z|(+|-)HH[:]MM|(+|-)HH]
    const std::string_view s = text;
    size_t at = 0;
    int year = 0;
    int month = 0;
    int day = 0;
    if (!digits(s, at, 4, year) || !skip(s, at, "-") || !digits(s, at, 2, month) ||
        !skip(s, at, "-") || !digits(s, at, 2, day)) {
        return false;
    }
    const std::chrono::year_month_day date{std::chrono::year(year),
                                           std::chrono::month(static_cast<unsigned>(month)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) {
        return false;
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    int64_t offset = 0;
    if (at < s.size()) {
        if (!skip(s, at, "Tt ") || !digits(s, at, 2, hour) || !skip(s, at, ":") ||
            !digits(s, at, 2, minute)) {
            return false;
        }
        if (skip(s, at, ":")) {
            if (!digits(s, at, 2, second)) {
                return false;
            }
            // Parts of a second are dropped: the document's dates hold
            // whole seconds.
            if (skip(s, at, ".,")) {
                const size_t from = at;
                while (at < s.size() && s[at] >= '0' && s[at] <= '9') {
                    ++at;
                }
                if (at == from) {
                    return false;
                }
            }
        }
        if (hour > 23 || minute > 59 || second > 59) {
            return false;
        }
        if (at < s.size() && !skip(s, at, "Zz")) {
            // An offset from UTC: +HH, +HHMM or +HH:MM (or -).
            const int sign = s[at] == '-' ? -1 : 1;
            int oh = 0;
            int om = 0;
            if (!skip(s, at, "+-") || !digits(s, at, 2, oh)) {
                return false;
            }
            if (at < s.size()) {
                skip(s, at, ":");
                if (!digits(s, at, 2, om)) {
                    return false;
                }
            }
            if (oh > 23 || om > 59) {
                return false;
            }
            offset = sign * (int64_t{oh} * 3600 + om * 60);
        }
        if (at != s.size()) {
            return false;
        }
    }
    const int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
    const int64_t value = days * 86400 + hour * 3600 + minute * 60 + second - offset;
    if (value < 0 || value > kLast) {
        return false;
    }
    seconds = value;
    return true;
}

std::optional<options> parseoptions(const std::vector<std::string>& args, std::string& error) {
    // getopt_long wants argv as C strings it may point into; these copies
    // live until the parse is over.
    std::vector<std::string> words;
    words.reserve(args.size() + 1);
    words.emplace_back("ovinpdf");
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    std::vector<option> longoptions;
    for (const optiondef& s : kOptions) {
        longoptions.push_back({s.name, s.hasarg, nullptr, s.val});
    }
    longoptions.push_back({nullptr, 0, nullptr, 0});

    options o;
    int standardinputs = 0; // "-" as an image or as a list
    // getopt keeps its place in globals; 0 starts a new parse.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int c = ::getopt_long(argc, argv.data(), kShortOptions, longoptions.data(), nullptr);
        if (c == -1) {
            break;
        }
        switch (c) {
        case 1: // an image name in its place
            if (std::string(optarg) == "-") {
                o.items.push_back({itemkind::standardinput, "-"});
                ++standardinputs;
            } else {
                o.items.push_back({itemkind::image, optarg});
            }
            break;
        case ':': {
            const optiondef* def = findoption(optopt);
            error = "option --" + std::string(def != nullptr ? def->name : "?") +
                    " needs a value (" + (def != nullptr ? def->argument : "") + ")";
            return std::nullopt;
        }
        case '?':
            // A known option refused is a long one given a value it takes
            // none of; an unknown or ambiguous long one leaves optopt 0 (and
            // getopt has moved past it); anything else is an unknown letter.
            if (const optiondef* def = findoption(optopt); def != nullptr) {
                error = "option --" + std::string(def->name) + " takes no value";
            } else if (optopt == 0 && optind > 0 && optind <= argc) {
                error = longoptionerror(words[static_cast<size_t>(optind - 1)]);
            } else {
                error = "unknown option -" + std::string(1, static_cast<char>(optopt));
            }
            return std::nullopt;
        case '0':
            o.nullseparated = true;
            break;
        case 'q':
            o.quiet = true;
            break;
        case 'h':
            o.help = true;
            break;
        case kVersion:
            o.version = true;
            break;
        case kNoAutoOrient:
            o.autoorient = false;
            break;
        case kKeepGoing:
            o.keepgoing = true;
            break;
        case kLossless:
            o.lossless = true;
            break;
        case kFirstFrame:
            o.firstframe = true;
            break;
        case kPdfa:
            o.pdfa = true;
            break;
        case kOcrOrient:
            o.ocrorient = true;
            break;
        case kBookmark:
        case kSubBookmark: {
            // The first word is getopt's value, the others follow it as
            // they are.
            const int more = c == kBookmark ? 1 : 2;
            if (optind + more > argc) {
                error = std::string("option --") + findoption(c)->name + " needs " +
                        std::to_string(more + 1) + " values (" + findoption(c)->argument + ")";
                return std::nullopt;
            }
            bookmarkrequest b;
            b.sub = c == kSubBookmark;
            (b.sub ? b.parent : b.page) = optarg;
            if (b.sub) {
                b.page = words[static_cast<size_t>(optind++)];
            }
            b.title = words[static_cast<size_t>(optind++)];
            o.bookmarks.push_back(std::move(b));
            break;
        }
        default:
            if (!takevalue(o, c, optarg != nullptr ? optarg : "", error)) {
                return std::nullopt;
            }
            if (c == kFromFile && o.items.back().value == "-") {
                ++standardinputs;
            }
        }
    }
    // After "--" everything is an image name.
    for (int i = optind; i < argc; ++i) {
        const std::string& w = words[static_cast<size_t>(i)];
        o.items.push_back({w == "-" ? itemkind::standardinput : itemkind::image, w});
        standardinputs += w == "-" ? 1 : 0;
    }
    if (o.help || o.version) {
        return o;
    }
    if (o.output.empty()) {
        error = "no output file given (-o OUT.pdf, or -o - for standard output)";
        return std::nullopt;
    }
    if (o.items.empty()) {
        error = "no pages given";
        return std::nullopt;
    }
    if (!ovin::bordersleaveroom(o.layout.width, o.layout.height, o.layout.borderx.value_or(0),
                                o.layout.bordery.value_or(0))) {
        error = "--border leaves no room for the image on a page of --page-size: two borders "
                "must leave at least 3 pt of the shorter side";
        return std::nullopt;
    }
    if (standardinputs > 1) {
        error = "standard input can be read only once, but - stands for it " +
                std::to_string(standardinputs) + " times (as an image or --from-file -)";
        return std::nullopt;
    }
    return o;
}

std::optional<std::string> outputclash(const std::string& output, const std::vector<item>& items) {
    struct stat out {};
    if (output == "-" || ::stat(output.c_str(), &out) != 0) {
        return std::nullopt; // standard output, or not there yet: no input can be it
    }
    for (const item& it : items) {
        if (it.kind == itemkind::text) {
            continue;
        }
        // Standard input as an image or as a list is whatever file it is
        // open on (a redirection, /dev/fd/0).
        const bool standard = it.kind == itemkind::standardinput || it.value == "-";
        struct stat in {};
        const int got = standard ? ::fstat(STDIN_FILENO, &in) : ::stat(it.value.c_str(), &in);
        if (got == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
            if (standard) {
                return "standard input";
            }
            return (it.kind == itemkind::list ? "the list " : "") + ovin::quotename(it.value);
        }
    }
    return std::nullopt;
}

} // namespace ovincli
