// The classic face's message table: the texts geterror gives for result
// codes, and the number a failed read or write shows in them.
#pragma once

#include "status.h"

#include <cstdint>
#include <string>

namespace ovin {

// The classic message of a result code, with detail inserted where it has
// one ("ERROR : File Not Found (scan.tif)").
std::string errortext(int32_t code, const std::string& detail);

// The number that stands for a failed read or write in the classic texts:
// the system's error number, or 100 for a file that ends early (the short
// read of the Windows runtime).
int classicnumber(const fault& why);
// An I/O error of the classic face: its number as the detail.
status classicioerror(const fault& why);

} // namespace ovin
