#include "faces/classic/messages.h"

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

int classicnumber(const fault& why) {
    constexpr int kShortRead = 100;
    return why.kind == faultkind::system ? why.errnum : kShortRead;
}

status classicioerror(const fault& why) {
    return {OVINPDF_IO_ERROR, std::to_string(classicnumber(why))};
}

} // namespace ovin
