#include "documentpdf.h"

#include "core/library.h"
#include "core/options.h"
#include "pdftools.h"

namespace ovintest {

documentpdf makedocumentpdf(const std::vector<std::string>& images, const std::string& pdf,
                            const ovin::documentoptions& options) {
    documentpdf result;
    ovin::Library lib(nullptr, ovin::makedocumentface());
    lib.setoptions(options);
    for (const std::string& image : images) {
        if (result.code == 0) {
            result.code = lib.addimagepages(image, 0);
        }
    }
    if (result.code == 0) {
        result.code = lib.pdfsave(pdf);
    }
    if (result.code != 0) {
        result.error = lib.geterror(result.code);
        return result;
    }
    lib.getwarnings([&](const std::string& line) { result.warnings.push_back(line); });
    result.pages = lib.state().pages.size();
    std::string output;
    if (!qpdfcheck(pdf, &output)) {
        result.qpdf = output.empty() ? "qpdf failed" : output;
    }
    result.pdf = parsepdf(pdf);
    return result;
}

} // namespace ovintest
