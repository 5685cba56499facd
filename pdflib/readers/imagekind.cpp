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

// The major brands of HEIF still images: HEVC (HEIC), AV1 (AVIF) and the
// brand-neutral image and sequence brands.
bool isheifbrand(std::string_view brand) {
    constexpr std::array<std::string_view, 10> kBrands{"heic", "heix", "heim", "heis", "hevc",
                                                       "hevx", "mif1", "msf1", "avif", "avis"};
    return std::find(kBrands.begin(), kBrands.end(), brand) != kBrands.end();
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
    if (n >= 12 && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WEBP", 4) == 0) {
        return imagekind::webp;
    }
    if (n >= 6 && (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0)) {
        return imagekind::gif;
    }
    if (starts({0xFF, 0x0A}) ||
        starts({0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A})) {
        return imagekind::jxl;
    }
    if (n >= 12 && std::memcmp(b + 4, "ftyp", 4) == 0 &&
        isheifbrand(std::string_view(reinterpret_cast<const char*>(b) + 8, 4))) {
        return imagekind::heif;
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
