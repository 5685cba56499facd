// The kind of an image file, decided once when the file is added and kept
// with its pages. The fourteen exports and the desktop program decide it by
// the file name's extension; the document API by the file's first bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ovin {

enum class imagekind : uint8_t { unknown, tiff, jpeg, bmp, png, pnm, jp2, webp, gif, heif, jxl };

// By the upper-case extension of the file-name part: .TIF, .JPG or .BMP
// (.TIFF, .JPEG and others are unknown).
imagekind kindbyextension(std::string_view path);

// By the signature at the start of the bytes: JPEG, TIFF (either byte
// order, also BigTIFF), BMP, PNG, PNM (P1 to P6), JPEG 2000 (JP2 file or
// bare codestream), WebP, GIF, HEIF (HEIC and AVIF: an ISO media file of
// an image brand) and JPEG XL (container or bare codestream).
imagekind kindbysignature(const uint8_t* bytes, size_t size);

// The extension, with its dot, that names the kind to the imaging library
// (".TIF"); empty for unknown.
std::string_view kindextension(imagekind kind);

// True for an extension of a known kind: TIF, JPG, BMP with or without the
// dot, in any letter case, as passed (a leading blank makes it unknown).
bool validfext(std::string_view ext);

} // namespace ovin
