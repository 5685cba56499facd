// File names as the classic face checks them, and trimming.
#pragma once

#include <string>
#include <string_view>

namespace ovin {

// Removes leading and trailing blanks and control characters (bytes up to 32).
std::string_view trimmed(std::string_view text);

// The file-name part of a path: what follows the last "\", ":" or "/".
std::string_view filenamepart(std::string_view path);
// True when the file-name part holds none of \ / : * ? " < > |.
bool validfilename(std::string_view path);
// The upper-case extension of the file-name part from its last "." on, dot
// included; empty when there is no dot.
std::string upperextension(std::string_view path);

} // namespace ovin
