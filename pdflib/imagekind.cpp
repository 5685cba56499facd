#include "imagekind.h"

#include "ascii.h"
#include "textutil.h"

#include <array>
#include <string>

namespace ovin {

namespace {

struct kindname {
    imagekind kind;
    std::string_view extension;
};

constexpr std::array<kindname, 3> kExtensions{{
    {imagekind::tiff, ".TIF"},
    {imagekind::jpeg, ".JPG"},
    {imagekind::bmp, ".BMP"},
}};

imagekind kindofextension(std::string_view upper) {
    for (const kindname& k : kExtensions) {
        if (upper == k.extension) {
            return k.kind;
        }
    }
    return imagekind::unknown;
}

} // namespace

imagekind kindbyextension(std::string_view path) {
    return kindofextension(upperextension(path));
}

std::string_view kindextension(imagekind kind) {
    for (const kindname& k : kExtensions) {
        if (k.kind == kind) {
            return k.extension;
        }
    }
    return {};
}

bool validfext(std::string_view ext) {
    if (trimmed(ext).empty()) {
        return false;
    }
    std::string e;
    if (ext.front() != '.') {
        e.push_back('.');
    }
    e += toupperascii(ext);
    return kindofextension(e) != imagekind::unknown;
}

} // namespace ovin
