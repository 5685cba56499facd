// The document face's messages: every failure says the file (quoted as
// coreutils shows names) and the reason in words.
#pragma once

#include "status.h"

#include <string>

namespace ovin {

// What a document API call was doing when it failed.
enum class operation { adding, bookmarking, saving };

// The message of a failure of `what` on `subject` (the file added or saved,
// or the page named). A failure about another file (a page's image during
// a save) names that file.
std::string plainmessage(operation what, const std::string& subject, const status& failure);

// Why a read or write failed, in words: the system's text for an error
// number ("Permission denied"), "out of memory", "it ends inside its image
// data", "not a regular file".
std::string faultwords(const fault& why);

} // namespace ovin
