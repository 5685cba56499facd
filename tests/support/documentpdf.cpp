#include "documentpdf.h"

#include "documentoptions.h"
#include "library.h"
#include "pdftools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace ovintest {

documentpdf makedocumentpdf(const std::string& image, const std::string& pdf) {
    documentpdf result;
    ovin::Library lib;
    lib.setoptions(ovin::documentface());
    result.code = lib.addimagepages(image, 0);
    if (result.code == 0) {
        result.code = lib.pdfsave(pdf);
    }
    if (result.code != 0) {
        result.error = lib.geterror(result.code);
        return result;
    }
    lib.getwarnings([&](const std::string& line) { result.warnings.push_back(line); });
    std::string output;
    if (!qpdfcheck(pdf, &output)) {
        result.qpdf = output.empty() ? "qpdf failed" : output;
    }
    return result;
}

void fuzzseed(const std::string& target, const std::string& name,
              const std::vector<uint8_t>& bytes) {
    const std::filesystem::path dir =
        std::filesystem::path(OVIN_SOURCE_DIR) / "fuzz" / "corpus" / target;
    const std::string data(bytes.begin(), bytes.end());
    EXPECT_LT(bytes.size(), 4096u) << name;
    if (std::getenv("OVIN_WRITE_FUZZ_SEEDS") != nullptr) {
        std::filesystem::create_directories(dir);
        writebytes(dir / name, data);
    }
    EXPECT_TRUE(std::filesystem::exists(dir / name) && readbytes(dir / name) == data)
        << "fuzz seed " << target << "/" << name << " differs from the committed one";
}

} // namespace ovintest
