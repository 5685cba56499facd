// The command line of ovinpdf, read the GNU way (getopt_long): long options
// may be abbreviated and take their value as --name=VALUE or --name VALUE,
// short ones may be bundled (-qo OUT.pdf, -oOUT.pdf), and "--" ends the
// options. Pages stay in the order they are given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ovincli {

enum class itemkind {
    image,         // an image file
    text,          // a text page
    standardinput, // an image read from standard input ("-")
    list,          // a file of image names (--from-file); "-" reads standard input
};

struct item {
    itemkind kind = itemkind::image;
    std::string value;     // file name, page text or list name
    bool infolder = false; // an image found in a folder given as an item
};

// How the image files given one after another on the command line are
// ordered: as given, by name as file managers show it, or byte by byte.
enum class sortorder { none, natural, name };

struct bookmarkrequest {
    std::string parent; // empty for a top-level bookmark
    bool sub = false;
    std::string page;
    std::string title;
};

// Page layout as the document API takes it: lengths in points, the
// orientation and fit as its OVINPDF_ORIENTATION_ and OVINPDF_FIT_ values.
struct layoutoptions {
    double width = 0; // 0 by 0: each page its image's own size
    double height = 0;
    std::optional<int> orientation;
    std::optional<int> fit;
    std::optional<double> borderx;
    std::optional<double> bordery;
    int rotate = 0;        // degrees clockwise
    double imagewidth = 0; // a box the picture is fitted into; 0 by 0: none
    double imageheight = 0;
};

struct infooptions {
    std::optional<std::string> title;
    std::optional<std::string> producer;
    std::optional<std::string> author;
    std::optional<std::string> subject;
    std::optional<std::string> keywords;
    std::optional<std::string> creator;
    std::optional<int64_t> created; // seconds since 1970, UTC
    std::optional<int64_t> modified;
};

struct options {
    std::vector<item> items;
    std::vector<bookmarkrequest> bookmarks;
    std::string output; // "-" for standard output
    layoutoptions layout;
    infooptions info;
    std::string temp;
    bool autoorient = true;
    double defaultdpi = 0; // for files without a resolution; 0: 200
    double dpi = 0;        // for every file; 0: their own
    std::optional<int> jpegquality;
    std::optional<uint32_t> maxmegapixels;
    bool lossless = false;      // lossy-coded pictures compressed losslessly, not as JPEG
    bool firstframe = false;    // an animated file gives its first frame only
    bool pdfa = false;          // a PDF/A-2b document
    std::string ocr;            // text recognition languages, empty for none
    bool ocrorient = false;     // recognised pages turned upright
    bool nullseparated = false; // lists given by --from-file end names with NUL
    bool quiet = false;
    bool keepgoing = false; // images that cannot be added are skipped
    sortorder sort = sortorder::none;
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name; on a usage error returns
// nullopt and sets `error` to a sentence naming the option and the reason.
std::optional<options> parseoptions(const std::vector<std::string>& args, std::string& error);

// Values of options, as the parser reads them; false for text that is not
// one. A length is a number with a unit (mm, cm, in, pt), in points; a date
// is ISO 8601 (2024-05-01, 2024-05-01T12:00:00Z, with an offset such as
// +02:00; UTC when none is given) or seconds since 1970.
bool parselength(const std::string& text, double& points);
bool parsedate(const std::string& text, int64_t& seconds);

// The input that the output file is (the same file by device and inode, so
// also through another spelling, a hard link, a symbolic link or
// /dev/fd/N): an image, a list of names or standard input, as messages show
// it; nullopt when it is none of them.
std::optional<std::string> outputclash(const std::string& output, const std::vector<item>& items);

extern const char* const kUsage;

} // namespace ovincli
