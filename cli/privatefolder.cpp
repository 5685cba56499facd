#include "privatefolder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace ovincli {

bool privatefolder::make(std::string& error) {
    std::vector<std::string> places;
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        // Only an absolute path counts; anything else in these variables is
        // a mistake and is passed over.
        const char* value = std::getenv(var);
        if (value != nullptr && value[0] == '/') {
            places.emplace_back(value);
        }
    }
    places.emplace_back("/tmp");
    for (std::string& place : places) {
        if (place.back() != '/') {
            place.push_back('/');
        }
        std::string templ = place + "ovinpdf.XXXXXX";
        if (::mkdtemp(templ.data()) != nullptr) {
            path_ = std::move(templ);
            return true;
        }
        error = "cannot create a temporary folder in " + place + ": " + std::strerror(errno);
    }
    return false;
}

privatefolder::~privatefolder() {
    if (path_.empty()) {
        return;
    }
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    if (ec) {
        std::fprintf(stderr, "ovinpdf: cannot remove the temporary folder %s: %s\n", path_.c_str(),
                     ec.message().c_str());
    }
}

} // namespace ovincli
