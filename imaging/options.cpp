#include "options.h"

#include <charconv>

namespace ovin::imaging {

namespace {

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

OptionBlock OptionBlock::parse(std::string_view text) {
    OptionBlock block;
    while (!text.empty()) {
        const size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        const std::string_view key = trim(line.substr(0, eq));
        if (key.empty()) {
            continue;
        }
        block.values_[upperAscii(key)] = std::string(trim(line.substr(eq + 1)));
    }
    return block;
}

std::optional<std::string> OptionBlock::text(std::string_view key) const {
    const auto it = values_.find(upperAscii(key));
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<bool> OptionBlock::flag(std::string_view key) const {
    const auto value = text(key);
    if (!value) {
        return std::nullopt;
    }
    const std::string v = upperAscii(*value);
    if (v == "ON" || v == "YES" || v == "TRUE" || v == "1") {
        return true;
    }
    if (v == "OFF" || v == "NO" || v == "FALSE" || v == "0") {
        return false;
    }
    return std::nullopt;
}

std::optional<int> OptionBlock::number(std::string_view key) const {
    const auto value = text(key);
    if (!value || value->empty()) {
        return std::nullopt;
    }
    int n = 0;
    const char* first = value->data();
    const char* last = first + value->size();
    if (*first == '+') {
        ++first;
    }
    const auto [ptr, ec] = std::from_chars(first, last, n);
    if (ec != std::errc{} || ptr != last) {
        return std::nullopt;
    }
    return n;
}

} // namespace ovin::imaging
