// A checker of the PDF/A-2b rules that the library's documents can meet or
// break, for the tests (no validator ships with the system): the file's
// header and trailer, the metadata and output intent, fonts, filters and
// colour spaces, and how stream data is framed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ovintest {

// The rules the file breaks, each in words; empty when it keeps them all.
std::vector<std::string> pdfaproblems(const std::filesystem::path& path);

} // namespace ovintest
