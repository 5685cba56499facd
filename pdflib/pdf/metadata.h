// The document information of the document face: the Info dictionary's
// entries beyond the title and producer, and the XMP metadata stream that
// says the same for readers that look there.
#pragma once

#include "core/options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

// The moment a save stamps on the document: `requested` when it is 0 or
// more, else SOURCE_DATE_EPOCH when that holds a whole number of seconds,
// else now.
int64_t stamptime(int64_t requested);

// "D:YYYYMMDDHHmmSSZ" and "YYYY-MM-DDTHH:mm:SSZ" for seconds since 1970.
std::string pdfdate(int64_t seconds);
std::string isodate(int64_t seconds);

// The Info dictionary's lines between "<<" and ">>" after /Producer and
// /Title: author, subject, keywords, creator (each only when set) and the
// two dates.
std::vector<std::string> infolines(const documentinfo& info, int64_t created, int64_t modified);

// The XMP packet for the same facts, UTF-8.
// With `pdfa` it says that the document is PDF/A-2b.
std::string xmppacket(const std::string& title, const std::string& producer,
                      const documentinfo& info, int64_t created, int64_t modified,
                      bool pdfa = false);

} // namespace ovin
