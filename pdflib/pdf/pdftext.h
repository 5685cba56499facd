// Text in PDF syntax: literal-string escaping, WinAnsi for the text pages'
// font, and text strings for document information and outline titles.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ovin {

// Backslash doubled, then "\)" for ")", then "\(" for "(".
std::string pdfescape(std::string_view text);
// The inverse of pdfescape.
std::string pdfunescape(std::string_view escaped);

// True when every byte is below 128.
bool isascii(std::string_view text);

// Decodes one UTF-8 sequence at s[i], moving i past it; the code point, or
// -1 for a broken sequence (one byte is consumed then).
int32_t nextcodepoint(std::string_view s, size_t& i);

// True when every character of the UTF-8 text is one of Windows-1252.
bool inwinansi(std::string_view utf8);

// UTF-8 to Windows-1252; characters it lacks (and broken UTF-8) become "?".
std::string towinansi(std::string_view utf8);

// A PDF text string for document information and outline titles: the
// escaped literal "(...)" for plain ASCII, else a UTF-16BE hex string with a
// byte-order mark.
std::string pdftextstring(std::string_view utf8);

} // namespace ovin
