#include "faces/messages.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace ovin {

std::string errortext(int32_t code, const std::string& detail) {
    switch (code) {
    case OVINPDF_FILE_NOT_FOUND:
        return "ERROR : File Not Found (" + detail + ")";
    case OVINPDF_NO_PAGES:
        return "ERROR : No Pages Added";
    case OVINPDF_UNSUPPORTED_TYPE:
        return "ERROR : Unsupported Image Type (" + detail + ")";
    case OVINPDF_CANCELLED:
        return "ERROR : PDF Save Cancelled By User";
    case OVINPDF_IO_ERROR:
        return "ERROR : I/O Error (" + detail + ")";
    case OVINPDF_IMAGE_ERROR:
        return "ERROR : Image Error (" + detail + ")";
    case OVINPDF_PAGE_NOT_FOUND:
        return "ERROR : Page Not Found (" + detail + ")";
    case OVINPDF_BLANK_NAME:
        return "ERROR : PDF Filename is blank";
    case OVINPDF_NO_PARENT:
        return "ERROR : Cannot find index parent (" + detail + ")";
    case OVINPDF_ALREADY_ADDED:
        return "ERROR : Page already added (" + detail + ")";
    case OVINPDF_TEMP_EXISTS:
        return "ERROR : Cannot create temporary tiff (" + detail + " already exists)";
    case OVINPDF_INVALID_NAME:
        return "ERROR : Invalid filename (" + detail + ")";
    default:
        return "ERROR : Unknown error (" + std::to_string(code) + ")";
    }
}

std::string errnotext(int error) {
    return std::generic_category().message(error);
}

std::string plainmessage(operation what, const std::string& subject, const status& failure) {
    const std::string& detail = failure.detail();
    switch (failure.code()) {
    case OVINPDF_FILE_NOT_FOUND:
        return "cannot read " + subject + ": " + errnotext(ENOENT);
    case OVINPDF_NO_PAGES:
        return "the document has no pages";
    case OVINPDF_CANCELLED:
        return "the save was cancelled; nothing written";
    case OVINPDF_IO_ERROR: {
        const int error = std::atoi(detail.c_str());
        const std::string reason = error > 0 ? errnotext(error) : detail;
        return (what == operation::saving ? "cannot write " : "cannot read ") + subject + ": " +
               reason;
    }
    case OVINPDF_PAGE_NOT_FOUND:
        return "no page named " + detail;
    case OVINPDF_NO_PARENT:
        return "no bookmark for the page " + detail;
    case OVINPDF_BLANK_NAME:
        return "the file name is blank";
    case OVINPDF_TEMP_EXISTS:
        return "the temporary file " + detail + " is in use";
    case OVINPDF_INVALID_NAME:
        return what == operation::saving && detail == subject
                   ? "cannot write " + subject +
                         ": it is one of the document's images, or not a valid file name"
                   : "invalid file name " + detail;
    case OVINPDF_BUSY:
        return "the document is being saved";
    case OVINPDF_UNSUPPORTED_TYPE:
    case OVINPDF_IMAGE_ERROR:
    default:
        return detail.empty() ? errortext(failure.code(), detail) : detail;
    }
}

} // namespace ovin
