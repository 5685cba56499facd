#include "folderfiles.h"

#include "naturalorder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace ovin {

std::optional<std::vector<std::string>> folderfiles(const std::string& folder, std::string& error) {
    std::vector<std::string> files;
    std::error_code failure;
    for (std::filesystem::directory_iterator at(folder, failure), end; !failure && at != end;
         at.increment(failure)) {
        const std::string name = at->path().filename().string();
        if (!name.starts_with('.') && at->is_regular_file(failure)) {
            files.push_back(at->path().string());
        }
    }
    if (failure) {
        error = failure.message();
        return std::nullopt;
    }
    std::sort(files.begin(), files.end(),
              [](const std::string& a, const std::string& b) { return naturalless(a, b); });
    return files;
}

} // namespace ovin
