// The outcome of a library operation: a result code of ovinpdf.h and, for a
// failure, the detail text that geterror shows. Probes, conversion, the page
// writer and the save return one; only the library object turns it into its
// error detail.
#pragma once

#include "ovinpdf.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace ovin {

class status {
public:
    // Success.
    status() = default;
    // A failure whose message has no detail: the library's previous detail
    // stays as it was.
    explicit status(int32_t code) : code_(code) {}
    status(int32_t code, std::string detail) : code_(code), detail_(std::move(detail)) {}

    bool ok() const { return code_ == OVINPDF_OK; }
    int32_t code() const { return code_; }
    bool hasdetail() const { return detail_.has_value(); }
    const std::string& detail() const {
        static const std::string none;
        return detail_ ? *detail_ : none;
    }

private:
    int32_t code_ = OVINPDF_OK;
    std::optional<std::string> detail_;
};

} // namespace ovin
