#include "pdf/outline.h"

#include "pdf/pdftext.h"

#include <string>
#include <utility>
#include <vector>

namespace ovin {

namespace {

// Calls visit(entry, parent, siblings, position) for the subtree of every
// listed entry in preorder, without recursion (a deep chain of
// sub-bookmarks must not exhaust the stack).
template <typename Visit>
void preorder(const outlinetree& tree, const std::vector<int32_t>& roots, Visit visit) {
    struct frame {
        const std::vector<int32_t>* siblings;
        size_t next;
    };
    std::vector<frame> stack{{&roots, 0}};
    while (!stack.empty()) {
        frame& top = stack.back();
        if (top.next == top.siblings->size()) {
            stack.pop_back();
            continue;
        }
        size_t position = top.next++;
        int32_t entry = (*top.siblings)[position];
        visit(entry, *top.siblings, position);
        const bookmark& node = tree.nodes[static_cast<size_t>(entry)];
        if (!node.children.empty()) {
            stack.push_back({&node.children, 0});
        }
    }
}

// Plain ASCII titles are written as stored (already escaped); others as
// UTF-16 text strings.
std::string titlestring(const std::string& stored) {
    return isascii(stored) ? "(" + stored + ")" : pdftextstring(pdfunescape(stored));
}

} // namespace

int32_t outlinesize(const outlinetree& tree, int32_t entry) {
    int32_t size = 0;
    preorder(tree, std::vector<int32_t>{entry}, [&](int32_t, const auto&, size_t) { ++size; });
    return size;
}

int32_t outlinetotal(const outlinetree& tree) {
    int32_t total = 0;
    for (int32_t entry : tree.top) {
        total += outlinesize(tree, entry);
    }
    return total;
}

void numberoutline(outlinetree& tree, int32_t entry, int32_t& counter) {
    preorder(tree, std::vector<int32_t>{entry}, [&](int32_t e, const auto&, size_t) {
        tree.nodes[static_cast<size_t>(e)].objectnumber = counter++;
    });
}

void writeoutline(pdfoutput& out, const objectplan& plan, outlinetree& tree) {
    const int64_t root = plan.outlineroot();
    auto counter = static_cast<int32_t>(plan.firstitem());
    for (int32_t entry : tree.top) {
        numberoutline(tree, entry, counter);
    }
    auto number = [&](int32_t entry) {
        return int64_t{tree.nodes[static_cast<size_t>(entry)].objectnumber};
    };

    const auto ref = pdfoutput::ref;
    out.beginobject(root);
    out.writeline("<<");
    out.writeline("/Type /Outlines");
    out.writeline("/Count " + std::to_string(tree.top.size()));
    out.writeline("/First " + ref(plan.firstitem()));
    out.writeline("/Last " + ref(number(tree.top.back())));
    out.writeline(">>");
    out.endobject();

    preorder(tree, tree.top,
             [&](int32_t entry, const std::vector<int32_t>& siblings, size_t position) {
                 const bookmark& b = tree.nodes[static_cast<size_t>(entry)];
                 const int64_t item = b.objectnumber;
                 out.beginobject(item);
                 out.writeline("<<");
                 if (!b.children.empty()) {
                     out.writeline("/Count -" + std::to_string(b.children.size()));
                     out.writeline("/First " + ref(number(b.children.front())));
                     out.writeline("/Last " + ref(number(b.children.back())));
                 }
                 out.writeline("/Title" + titlestring(b.title));
                 out.writeline("/Parent " + ref(b.parent < 0 ? root : number(b.parent)));
                 if (position > 0) {
                     out.writeline("/Prev " + ref(number(siblings[position - 1])));
                 }
                 if (position + 1 < siblings.size()) {
                     out.writeline("/Next " + ref(number(siblings[position + 1])));
                 }
                 out.writeline("/A " + ref(plan.action(item)));
                 out.writeline(">>");
                 out.endobject();

                 out.beginobject(plan.action(item));
                 out.writeline("<<");
                 out.writeline("/D[" + ref(plan.page(b.pageindex)) + "/XYZ null null null]/S/GoTo");
                 out.writeline(">>");
                 out.endobject();
             });
}

} // namespace ovin
