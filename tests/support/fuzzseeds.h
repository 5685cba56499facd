// The seed corpora of the fuzz targets (fuzz/corpus/TARGET/) are made by
// the tests from the project's own fixture writers: each test that makes a
// seed hands it here, and it is written into the source tree when
// OVIN_WRITE_FUZZ_SEEDS=1 is set, else checked against the committed file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovintest {

// A seed of fuzz/corpus/TARGET/NAME, under 4 KB (checked with GoogleTest).
void fuzzseed(const std::string& target, const std::string& name,
              const std::vector<uint8_t>& bytes);

} // namespace ovintest
