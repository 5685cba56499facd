// What the tool reads from outside its command line: lists of image names
// (--from-file) and an image on standard input ("-"). The reads wait for
// data in short steps, so that a stop signal ends them even while nothing
// comes (a terminal, a pipe whose writer is slow).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ovincli {

class stopsignals;

// The names in the list file `list` ("-": standard input), one a line or,
// with `nul`, each ended by a NUL byte, as `find -print0` writes them.
// Names are taken as they are (spaces, leading dashes and all); empty ones
// are skipped. On failure returns nullopt and sets `error`, unless a stop
// signal ended the read (stops.received() then says which).
std::optional<std::vector<std::string>> readlist(const std::string& list, bool nul,
                                                 const stopsignals& stops, std::string& error);

// Copies standard input into the new file `path` (made exclusively, owner
// only). On failure returns false and sets `error`, unless a stop signal
// ended the copy.
bool copystandardinput(const std::string& path, const stopsignals& stops, std::string& error);

} // namespace ovincli
