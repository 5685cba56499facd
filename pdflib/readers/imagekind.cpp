#include "readers/imagekind.h"

#include "ascii.h"
#include "names.h"
#include "readers/bytesource.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <string>

namespace ovin {

namespace {

struct kindextensionpair {
    imagekind kind;
    std::string_view extension;
};

constexpr std::array<kindextensionpair, 3> kExtensions{{
    {imagekind::tiff, ".TIF"},
    {imagekind::jpeg, ".JPG"},
    {imagekind::bmp, ".BMP"},
}};

imagekind kindofextension(std::string_view upper) {
    for (const kindextensionpair& k : kExtensions) {
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
    for (const kindextensionpair& k : kExtensions) {
        if (k.kind == kind) {
            return k.extension;
        }
    }
    return {};
}

imagekind kindbysignature(const uint8_t* b, size_t n) {
    const auto starts = [&](std::initializer_list<uint8_t> sig) {
        return n >= sig.size() && std::equal(sig.begin(), sig.end(), b);
    };
    if (starts({0xFF, 0xD8, 0xFF})) {
        return imagekind::jpeg;
    }
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42}) || starts({'I', 'I', 43, 0}) ||
        starts({'M', 'M', 0, 43})) {
        return imagekind::tiff;
    }
    if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) {
        return imagekind::png;
    }
    if (starts({0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A}) ||
        starts({0xFF, 0x4F, 0xFF, 0x51})) {
        return imagekind::jp2;
    }
    if (starts({'B', 'M'}) && n >= 14) {
        return imagekind::bmp;
    }
    // PNM: P1 to P6 followed by white space or, as netpbm reads it, a
    // comment.
    if (n >= 3 && b[0] == 'P' && b[1] >= '1' && b[1] <= '6' &&
        std::strchr(" \t\r\n\v\f#", b[2]) != nullptr && b[2] != 0) {
        return imagekind::pnm;
    }
    return imagekind::unknown;
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
