// The kind of an image file, decided once when the file is added and kept
// with its pages. The fourteen exports and the desktop program decide it by
// the file name's extension.
#pragma once

#include <cstdint>
#include <string_view>

namespace ovin {

enum class imagekind : uint8_t { unknown, tiff, jpeg, bmp };

// By the upper-case extension of the file-name part: .TIF, .JPG or .BMP
// (.TIFF, .JPEG and others are unknown).
imagekind kindbyextension(std::string_view path);

// The extension, with its dot, that names the kind to the imaging library
// (".TIF"); empty for unknown.
std::string_view kindextension(imagekind kind);

// True for an extension of a known kind: TIF, JPG, BMP with or without the
// dot, in any letter case, as passed (a leading blank makes it unknown).
bool validfext(std::string_view ext);

} // namespace ovin
