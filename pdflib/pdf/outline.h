// The bookmark outline: numbering its objects in advance and writing the
// root, one item per bookmark and one GoTo action per item.
#pragma once

#include "core/document.h"
#include "pdf/objectplan.h"
#include "pdf/pdfoutput.h"

#include <cstdint>

namespace ovin {

// 1 plus the size of each child's subtree.
int32_t outlinesize(const outlinetree& tree, int32_t entry);
// The number of entries at all depths.
int32_t outlinetotal(const outlinetree& tree);

// Gives the entry and its subtree object numbers in preorder, starting at
// `counter`, which is advanced past them.
void numberoutline(outlinetree& tree, int32_t entry, int32_t& counter);

// Numbers every entry from the plan's first item on and writes the root,
// then every item followed by its action, in preorder.
void writeoutline(pdfoutput& out, const objectplan& plan, outlinetree& tree);

} // namespace ovin
