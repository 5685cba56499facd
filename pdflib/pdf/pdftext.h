// Small text helpers shared by the library calls and the writer: PDF string
// escaping and encoding, the file-name checks, trimming and rounding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ovin {

// Backslash doubled, then "\)" for ")", then "\(" for "(".
std::string pdfescape(std::string_view text);
// The inverse of pdfescape.
std::string pdfunescape(std::string_view escaped);

// Removes leading and trailing blanks and control characters (bytes up to 32).
std::string_view trimmed(std::string_view text);

// The file-name part of a path: what follows the last "\", ":" or "/".
std::string_view filenamepart(std::string_view path);
// True when the file-name part holds none of \ / : * ? " < > |.
bool validfilename(std::string_view path);
// The upper-case extension of the file-name part from its last "." on, dot
// included; empty when there is no dot.
std::string upperextension(std::string_view path);

// Nearest integer, halves to the even neighbour.
int64_t roundeven(long double value);
// num / den the same way, exactly in integers (no binary fraction can tip a
// half); 0 when den is 0, held at the largest 32-bit value.
uint32_t divroundeven(uint64_t num, uint64_t den);

// Shortest general form with at most 15 significant digits, full stop as
// the decimal separator, no exponent for ordinary page sizes.
std::string formatreal(long double value);

// True when every byte is below 128.
bool isascii(std::string_view text);

// UTF-8 to Windows-1252; characters it lacks (and broken UTF-8) become "?".
std::string towinansi(std::string_view utf8);

// A PDF text string for document information and outline titles: the
// escaped literal "(...)" for plain ASCII, else a UTF-16BE hex string with a
// byte-order mark.
std::string pdftextstring(std::string_view utf8);

} // namespace ovin
