// File names in messages for a terminal, quoted as coreutils shows them:
// 'scan (1).png', "it's.png", and control characters (a newline, an escape
// sequence) written as $'\n' outside the quotes, so that a name can neither
// hide nor forge text on a terminal and can be pasted back into a shell.
#pragma once

#include <string>
#include <string_view>

namespace ovin {

std::string quotename(std::string_view name);

} // namespace ovin
