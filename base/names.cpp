#include "names.h"

#include "ascii.h"

namespace ovin {

std::string_view trimmed(std::string_view text) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view filenamepart(std::string_view path) {
    size_t cut = path.find_last_of("\\:/");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool validfilename(std::string_view path) {
    return filenamepart(path).find_first_of("\\/:*?\"<>|") == std::string_view::npos;
}

std::string upperextension(std::string_view path) {
    std::string_view name = filenamepart(path);
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : toupperascii(name.substr(dot));
}

} // namespace ovin
