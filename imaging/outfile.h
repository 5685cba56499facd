// Putting an encoded file in place without ever writing through a symbolic
// link and without leaving a partial file behind.
#pragma once

#include <cstdint>
#include <span>

namespace ovin::imaging {

// Writes bytes as the file `name`.
//  - No file of that name: it is created exclusively, never following a
//    symbolic link (O_CREAT | O_EXCL | O_NOFOLLOW).
//  - A regular file of that name: refused unless overwrite; with overwrite
//    the bytes go to a new file beside it that is then renamed over it, so
//    the old file survives a failed write and a link swapped in meanwhile is
//    replaced, not followed.
//  - Anything else of that name (a symbolic link, a directory, a device):
//    refused.
// On failure nothing that this call created is left behind.
bool writeFileSafely(const char* name, std::span<const uint8_t> bytes, bool overwrite);

} // namespace ovin::imaging
