// The files a folder gives as pages: its own (not its subfolders' nor its
// hidden ones), in the order file managers show them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ovin {

// The paths of the folder's files in natural order; nullopt with the
// system's reason in `error` when the folder cannot be read.
std::optional<std::vector<std::string>> folderfiles(const std::string& folder, std::string& error);

} // namespace ovin
