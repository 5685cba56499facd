// The command line of ovinpdf.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ovincli {

struct item {
    bool istext = false;
    std::string value; // image file name or page text
};

struct bookmarkrequest {
    std::string parent; // empty for a top-level bookmark
    bool sub = false;
    std::string page;
    std::string title;
};

struct options {
    std::vector<item> items;
    std::vector<bookmarkrequest> bookmarks;
    std::string output;
    std::optional<std::string> title;
    std::optional<std::string> producer;
    std::string temp;
    bool autoorient = true;
    double defaultdpi = 0; // for files without a resolution; 0: 200
    double dpi = 0;        // for every file; 0: their own
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Parses argv; on a usage error returns nullopt and sets `error`.
std::optional<options> parseoptions(const std::vector<std::string>& args, std::string& error);

// The input image that the output file is (the same file by device and
// inode, so also through another spelling, a hard link or a symbolic link),
// or nullopt when it is none of them.
std::optional<std::string> outputclash(const options& o);

extern const char* const kUsage;

} // namespace ovincli
