#include "faces/document/messages.h"

#include "quote.h"

#include <cerrno>
#include <system_error>

namespace ovin {

std::string faultwords(const fault& why) {
    switch (why.kind) {
    case faultkind::truncated:
        return "it ends inside its image data";
    case faultkind::notregular:
        return "not a regular file";
    case faultkind::system:
        return why.errnum == ENOMEM ? "out of memory" : std::generic_category().message(why.errnum);
    case faultkind::none:
        break;
    }
    return "failed";
}

std::string plainmessage(operation what, const std::string& subject, const status& failure) {
    const bool aboutpage = !failure.file().empty();
    const std::string file = quotename(aboutpage ? failure.file() : subject);
    if (failure.why()) {
        const bool writing = what == operation::saving && !aboutpage;
        return (writing ? "cannot write " : "cannot read ") + file + ": " +
               faultwords(failure.why());
    }
    const std::string& detail = failure.detail();
    switch (failure.code()) {
    case OVINPDF_FILE_NOT_FOUND:
        return "cannot read " + file + ": " + faultwords(fault::system(ENOENT));
    case OVINPDF_NO_PAGES:
        return "the document has no pages";
    case OVINPDF_CANCELLED:
        return "the save was cancelled; nothing written";
    case OVINPDF_PAGE_NOT_FOUND:
        return "no page named " + quotename(detail);
    case OVINPDF_NO_PARENT:
        return "no bookmark for the page " + quotename(detail);
    case OVINPDF_BLANK_NAME:
        return "the file name is blank";
    case OVINPDF_TEMP_EXISTS:
        return "the temporary file " + quotename(detail) + " is in use";
    case OVINPDF_INVALID_NAME:
        return what == operation::saving
                   ? "cannot write " + file + ": it is one of the document's images"
                   : "invalid file name " + quotename(detail);
    case OVINPDF_BUSY:
        return "the document is being saved";
    default:
        return detail.empty() ? (what == operation::saving ? "cannot write " : "cannot read ") +
                                    file + ": failed"
                              : detail;
    }
}

} // namespace ovin
