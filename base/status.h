// The outcome of a library operation: success, or a failure with its
// result code of ovinpdf.h, the reason a read or write failed (the system's
// error number, or one of the library's own reasons), the file it is about
// and a detail text. Readers, the page writer and the save return one; each
// face words it for its callers in one place (the classic message table,
// the document face's plain messages).
#pragma once

#include "ovinpdf.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace ovin {

// Why a read or write failed.
enum class faultkind : uint8_t {
    none,
    system,     // the system's error number says why
    truncated,  // the file ends inside its data
    notregular, // neither a regular file nor a pipe: a device, a socket
};

struct fault {
    faultkind kind = faultkind::none;
    int errnum = 0; // the errno value of a system fault, else 0

    static fault system(int error) { return {faultkind::system, error}; }
    static fault truncated() { return {faultkind::truncated, 0}; }
    static fault notregular() { return {faultkind::notregular, 0}; }
    explicit operator bool() const { return kind != faultkind::none; }
    bool operator==(const fault&) const = default;
};

class status {
public:
    // Success.
    status() = default;
    // A failure whose message has no detail: the library's previous detail
    // stays as it was.
    explicit status(int32_t code) : code_(code) {}
    status(int32_t code, std::string detail) : code_(code), detail_(std::move(detail)) {}

    // A read or write that failed for `why`: an I/O error, except a file
    // that ends inside its data, which is a broken image.
    static status failed(fault why) {
        status s(why.kind == faultkind::truncated ? OVINPDF_IMAGE_ERROR : OVINPDF_IO_ERROR);
        s.fault_ = why;
        return s;
    }
    static status systemerror(int error) { return failed(fault::system(error)); }

    bool ok() const { return code_ == OVINPDF_OK; }
    int32_t code() const { return code_; }
    bool hasdetail() const { return detail_.has_value(); }
    const std::string& detail() const {
        static const std::string none;
        return detail_ ? *detail_ : none;
    }
    // Why a read or write failed; none for failures of another kind.
    const ovin::fault& why() const { return fault_; }
    // The file the failure is about, where it is not the one the caller
    // named (a page's image during a save); empty otherwise.
    const std::string& file() const { return file_; }

    // The same failure with another result code (a page's failure that
    // fails the save as an image error keeps its reason).
    status recoded(int32_t code) const {
        status s = *this;
        s.code_ = code;
        return s;
    }
    status about(std::string file) const {
        status s = *this;
        s.file_ = std::move(file);
        return s;
    }

private:
    int32_t code_ = OVINPDF_OK;
    std::optional<std::string> detail_;
    ovin::fault fault_;
    std::string file_;
};

} // namespace ovin
