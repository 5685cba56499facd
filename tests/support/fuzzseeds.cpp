#include "fuzzseeds.h"

#include "pdftools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace ovintest {

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
