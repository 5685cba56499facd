// The object numbers of a saved document, fixed before the file is opened
// from the page count and the outline alone, so that every reference can be
// written before the object it names. Page i (from 0) owns four objects in
// a row; the document information, page tree and catalog follow the pages;
// with an outline come its root, one item per entry (in preorder) and one
// action per item.
#pragma once

#include <cstdint>

namespace ovin {

class objectplan {
public:
    // `outlineentries`: the number of outline entries at all depths, 0 for
    // a document without an outline.
    objectplan(int64_t pages, int64_t outlineentries) : pages_(pages), outline_(outlineentries) {}

    // An image page: its image, resources, content stream and page object.
    int64_t image(int64_t i) const { return slot(i, 1); }
    int64_t resources(int64_t i) const { return slot(i, 2); }
    int64_t contents(int64_t i) const { return slot(i, 3); }
    // A text page: its content stream, procedure set and font.
    int64_t textcontents(int64_t i) const { return slot(i, 1); }
    int64_t procset(int64_t i) const { return slot(i, 2); }
    int64_t font(int64_t i) const { return slot(i, 3); }
    // The page object of page i, image or text.
    int64_t page(int64_t i) const { return slot(i, 4); }

    int64_t info() const { return kPerPage * pages_ + 1; }
    int64_t pagetree() const { return kPerPage * pages_ + 2; }
    int64_t catalog() const { return kPerPage * pages_ + 3; }

    bool hasoutline() const { return outline_ > 0; }
    int64_t outlineentries() const { return outline_; }
    int64_t outlineroot() const { return kPerPage * pages_ + 4; }
    // The first outline item; items follow in preorder.
    int64_t firstitem() const { return outlineroot() + 1; }
    // The action of the item numbered `item`.
    int64_t action(int64_t item) const { return item + outline_; }

    // The number of objects planned in advance, object 0 not counted.
    int64_t count() const { return hasoutline() ? outlineroot() + 2 * outline_ : catalog(); }

    // A number for an object that only a page's probe asks for (an ICC
    // profile, a soft mask): after every planned one, in order of asking.
    int64_t extra() { return count() + ++extras_; }
    // The number of objects in the file so far.
    int64_t total() const { return count() + extras_; }

private:
    static constexpr int64_t kPerPage = 4;
    int64_t slot(int64_t i, int64_t k) const { return kPerPage * i + k; }

    int64_t pages_;
    int64_t outline_;
    int64_t extras_ = 0;
};

} // namespace ovin
