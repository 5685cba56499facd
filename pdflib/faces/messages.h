// The texts of failures: the classic messages that geterror gives, and the
// plain messages of the document API, which name the file and the reason in
// words.
#pragma once

#include "status.h"

#include <cstdint>
#include <string>

namespace ovin {

// The classic message of a result code, with detail inserted where it has
// one ("ERROR : File Not Found (scan.tif)").
std::string errortext(int32_t code, const std::string& detail);

// What a document API call was doing when it failed.
enum class operation { adding, bookmarking, saving };

// The plain message of a failure of `what` on `subject` (the file added or
// saved, or the page named).
std::string plainmessage(operation what, const std::string& subject, const status& failure);

// The system's text for an errno value ("No such file or directory").
std::string errnotext(int error);

} // namespace ovin
