// An option block: "KEY = VALUE" lines as the write operation takes them.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ovin::imaging {

class OptionBlock {
public:
    // Lines may end in CR, LF or CR LF. Keys are compared without regard to
    // case; spaces and tabs around keys and values do not count; a line
    // without "=" or with an empty key is skipped. A later line with the
    // same key wins.
    static OptionBlock parse(std::string_view text);

    // The value as written (trimmed), or nothing when the key is absent.
    std::optional<std::string> text(std::string_view key) const;
    // ON/YES/TRUE/1 and OFF/NO/FALSE/0, any case; nothing when absent or
    // anything else.
    std::optional<bool> flag(std::string_view key) const;
    // A decimal number; nothing when absent or not a number in int range.
    std::optional<int> number(std::string_view key) const;

    size_t size() const { return values_.size(); }

private:
    std::map<std::string, std::string> values_; // upper-case key -> value
};

// Upper-cases ASCII letters.
std::string upperAscii(std::string_view text);

} // namespace ovin::imaging
