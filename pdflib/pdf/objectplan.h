// The object numbers of a saved document, fixed before the file is opened
// from the page count and the outline alone, so that every reference can be
// written before the object it names. Every page owns the same number of
// objects in a row, the page object last: four in the classic layout, three
// in the compact one of the document face, which keeps resources inline in
// the page object. The document information, page tree and catalog follow
// the pages; with an outline come its root, one item per entry (in
// preorder) and one action per item.
#pragma once

#include <cstdint>

namespace ovin {

enum class objectlayout : uint8_t { classic, compact };

class objectplan {
public:
    // `outlineentries`: the number of outline entries at all depths, 0 for
    // a document without an outline.
    objectplan(int64_t pages, int64_t outlineentries, objectlayout layout = objectlayout::classic)
        : slots_(layout == objectlayout::compact ? kCompact : kClassic), pages_(pages),
          outline_(outlineentries) {}

    bool compact() const { return slots_.perpage == kCompact.perpage; }

    // An image page: its image, its resources (0 in the compact layout,
    // whose page object holds them), content stream and page object.
    int64_t image(int64_t i) const { return slot(i, slots_.image); }
    int64_t resources(int64_t i) const { return slot(i, slots_.resources); }
    int64_t contents(int64_t i) const { return slot(i, slots_.contents); }
    // A text page: its content stream, procedure set (0 in the compact
    // layout, which names none) and font.
    int64_t textcontents(int64_t i) const { return slot(i, slots_.textcontents); }
    int64_t procset(int64_t i) const { return slot(i, slots_.procset); }
    int64_t font(int64_t i) const { return slot(i, slots_.font); }
    // The page object of page i, image or text.
    int64_t page(int64_t i) const { return slot(i, slots_.perpage); }

    int64_t info() const { return slots_.perpage * pages_ + 1; }
    int64_t pagetree() const { return slots_.perpage * pages_ + 2; }
    int64_t catalog() const { return slots_.perpage * pages_ + 3; }

    bool hasoutline() const { return outline_ > 0; }
    int64_t outlineentries() const { return outline_; }
    int64_t outlineroot() const { return slots_.perpage * pages_ + 4; }
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
    // Where each object of a page sits among the page's objects, counted
    // from 1; 0 for an object the layout does not have. The page object is
    // the last.
    struct pageslots {
        int64_t perpage;
        int64_t image, resources, contents;
        int64_t textcontents, procset, font;
    };
    static constexpr pageslots kClassic{4, 1, 2, 3, 1, 2, 3};
    static constexpr pageslots kCompact{3, 1, 0, 2, 1, 0, 2};

    int64_t slot(int64_t i, int64_t k) const { return k == 0 ? 0 : slots_.perpage * i + k; }

    pageslots slots_;
    int64_t pages_;
    int64_t outline_;
    int64_t extras_ = 0;
};

} // namespace ovin
