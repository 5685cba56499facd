// The in-memory document: its pages and its bookmark tree.
#pragma once

#include "readers/bytesource.h"
#include "readers/imagekind.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace ovin {

// What an image page was when its file was added: its size in pixels and
// its resolution once the face's rule was applied.
struct imagefacts {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t xdpi = 0;
    uint16_t ydpi = 0;
};

struct pageinfo {
    std::string name; // image file name as passed, or the text of a text page
    bool isimage = false;
    uint32_t pagenumber = 0;             // 1-based page within the image file; 0 for text
    imagekind kind = imagekind::unknown; // of an image page's file
    imagefacts facts;                    // of the file's first page added
    // The file's bytes where they cannot be read again by name (a pipe's
    // copy); null for a file read by name.
    std::shared_ptr<bytesource> kept;
    // The turn, clockwise in degrees, that was set when the page was added.
    int rotate = 0;
};

// One outline entry. Entries live in one flat vector and refer to each other
// by index, so a deep tree needs no recursion to build or free.
struct bookmark {
    std::string key;   // name of the page the entry was created for
    std::string title; // already escaped for a PDF literal string
    int32_t pageindex = 0;
    int32_t objectnumber = 0;
    int32_t parent = -1; // index into outlinetree::nodes, -1 for a top-level entry
    std::vector<int32_t> children;
};

struct outlinetree {
    std::vector<bookmark> nodes;
    std::vector<int32_t> top; // top-level entries in the order of creation
    std::unordered_multimap<std::string, int32_t> bykey;

    bool empty() const { return top.empty(); }
    void clear() {
        nodes.clear();
        top.clear();
        bykey.clear();
    }
};

} // namespace ovin
