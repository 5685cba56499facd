#include "readers/tiff/tiffinfo.h"

#include "pdf/pdftext.h"
#include "readers/bytesource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <set>
#include <unordered_set>

namespace ovin {

namespace {

constexpr size_t kEntrySize = 12;

enum : uint16_t {
    tagwidth = 256,
    tagheight = 257,
    tagbitspersample = 258,
    tagcompression = 259,
    tagphotometric = 262,
    tagfillorder = 266,
    tagstripoffsets = 273,
    tagsamplesperpixel = 277,
    tagrowsperstrip = 278,
    tagstripbytecounts = 279,
    tagxresolution = 282,
    tagyresolution = 283,
    tagplanarconfig = 284,
    tagt4options = 292,
    tagresolutionunit = 296,
    tagcolormap = 320,
    tagjpegoffset = 513,
    tagjpeglength = 514,
};

enum : uint16_t { typerational = 5, typesrational = 10 };

constexpr uint16_t kUnitCentimetre = 3;

// Bytes per value of a TIFF field type. 0 for a type this reader does not
// know: such an entry cannot be sized, so it is skipped whatever its tag and
// its count is never used.
uint32_t typesize(uint16_t type) {
    switch (type) {
    case 1: // BYTE
    case 2: // ASCII
    case 6: // SBYTE
    case 7: // UNDEFINED
        return 1;
    case 3: // SHORT
    case 8: // SSHORT
        return 2;
    case 4:  // LONG
    case 9:  // SLONG
    case 11: // FLOAT
        return 4;
    case 5:  // RATIONAL
    case 10: // SRATIONAL
    case 12: // DOUBLE
        return 8;
    default:
        return 0;
    }
}

bool isinteger(uint16_t type) {
    return type == 1 || type == 3 || type == 4 || type == 6 || type == 8 || type == 9;
}

constexpr std::array<uint8_t, 256> makereversetable() {
    std::array<uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((i & (1u << bit)) != 0) {
                r |= 0x80u >> bit;
            }
        }
        table[i] = static_cast<uint8_t>(r);
    }
    return table;
}

constexpr std::array<uint8_t, 256> kReversed = makereversetable();

} // namespace

// The first value held in the entry's value field, read at its type's size.
uint32_t tiffinfo::fieldvalue(const ifdentry& entry) const {
    switch (typesize(entry.type)) {
    case 1:
        return entry.field[0];
    case 2:
        return get16(entry.field.data());
    default:
        return get32(entry.field.data());
    }
}

void tiffinfo::reset() {
    // Everything goes back to its initial state, so that an object reused
    // for another page never carries a tag over from the previous one.
    width = height = 0;
    xres = yres = 0;
    pagecount = 0;
    compression = 0;
    rowsperstrip = -1;
    fillorder = 1;
    samplesperpixel = 1;
    planarconfig = 1;
    t4options = 0;
    colormap.clear();
    ioerror = 0;
    stripoffsets.clear();
    stripbytecounts.clear();
    stripdata.clear();
    bpsvalues.clear();
    bigendian = false;
    errorflag = false;
    jpegoffset = jpeglength = 0;
    filesize = 0;
    stripcount = 0;
    photometric = -1;
    resolutionunit = 2;
    xnum = xden = ynum = yden = 0;
    nodata = false;
    errortext.clear();
}

void tiffinfo::fail(std::string text) {
    errorflag = true;
    errortext = std::move(text);
}

uint16_t tiffinfo::bitspersample() const {
    if (!bpsvalues.empty()) {
        return bpsvalues.front();
    }
    return compression == 6 ? 8 : 1;
}

void tiffinfo::copydata(uint8_t* buffer) {
    if (stripdata.empty()) {
        return;
    }
    if (fillorder == 2) {
        // FillOrder 2 stores the first pixel of each byte in its lowest bit;
        // the data is handed on with the first pixel in the highest bit.
        std::transform(stripdata.begin(), stripdata.end(), buffer,
                       [](uint8_t b) { return kReversed[b]; });
    } else {
        std::memcpy(buffer, stripdata.data(), stripdata.size());
    }
}

void tiffinfo::takedata(std::vector<uint8_t>& out) {
    if (fillorder == 2) {
        std::transform(stripdata.begin(), stripdata.end(), stripdata.begin(),
                       [](uint8_t b) { return kReversed[b]; });
    }
    out.swap(stripdata);
    stripdata.clear();
}

bool tiffinfo::readfile(const std::string& filename, uint32_t page) {
    reset();
    if (!fileexists(filename)) {
        fail("Error - TIFF Image " + filename + " does not exist");
        return false;
    }
    filesource source;
    if (const int code = source.open(filename); code != 0) {
        fail("Access to " + filename + " is denied - error " + std::to_string(code));
        return false;
    }
    return read(source, filename, page);
}

bool tiffinfo::read(bytesource& source, const std::string& filename, uint32_t page) {
    reset();
    bytereader file(source);
    filesize = file.size();
    const auto readerror = [&](int code) {
        fail("I/O Error " + std::to_string(code) + " while reading " + filename);
        return false;
    };

    std::array<uint8_t, 8> header{};
    if (!file.read(header.data(), header.size())) {
        return readerror(file.error());
    }
    if (header[0] == 'I' && header[1] == 'I') {
        bigendian = false;
    } else if (header[0] == 'M' && header[1] == 'M') {
        bigendian = true;
    } else {
        fail("Invalid TIFF Image - byte order is not big-endian or little-endian");
        return false;
    }
    if (get16(&header[2]) != 42) {
        fail("Invalid TIFF Image - Header code is not 42");
        return false;
    }

    // Walk the whole chain so that every page is counted. A directory is
    // visited at most once: an offset seen before ends the chain.
    bool result = true;
    uint32_t offset = get32(&header[4]);
    uint32_t counter = 0;
    directories.clear();
    const bool known = knowndirectories != nullptr && page >= 1 && page <= knowndirectories->size();
    if (known) {
        offset = (*knowndirectories)[page - 1u];
        counter = page - 1u;
    }
    std::unordered_set<uint32_t> seen;
    while (offset != 0 && seen.insert(offset).second) {
        ++counter;
        if (!known) {
            directories.push_back(offset);
        }
        std::array<uint8_t, 2> countbytes{};
        if (!file.seek(offset) || !file.read(countbytes.data(), countbytes.size())) {
            result = readerror(file.error());
            break;
        }
        const uint16_t entrycount = get16(countbytes.data());
        if (counter == page) {
            int entryerror = 0;
            if (!readchosen(file, entrycount, entryerror)) {
                // The page's values or data could not be read: stop here.
                pagecount = counter;
                stripdata.clear();
                return readerror(ioerror);
            }
            if (entryerror != 0) {
                result = readerror(entryerror);
                break;
            }
            if (known) {
                break; // the rest of the chain is known already
            }
        }
        // Other pages' entries are not needed: only that they are all there
        // and the offset of the next directory after them.
        std::array<uint8_t, 4> next{};
        if (!file.seek(uint64_t{offset} + 2 + kEntrySize * entrycount) ||
            !file.read(next.data(), next.size())) {
            result = readerror(file.error());
            break;
        }
        offset = get32(next.data());
    }
    pagecount = known ? static_cast<uint32_t>(knowndirectories->size()) : counter;

    if (!checkcompression(filename)) {
        result = false;
    } else if (result && nodata) {
        // Strips that hold nothing would be an empty, broken page.
        fail("Error - TIFF page " + std::to_string(page) + " has no image data in " + filename);
        result = false;
    }
    return result;
}

// Reads the chosen directory's entries (the file is positioned just after
// its entry count), acts on them and reads the page's strips. entryerror
// is set when the entries cannot all be read (100 when they run past the
// end of the file; those that are there in full have been acted on). Returns false, with ioerror
// set, when reading the values or the data of the page failed.
bool tiffinfo::readchosen(bytereader& file, uint16_t entrycount, int& entryerror) {
    const uint64_t room = (filesize - file.position()) / kEntrySize;
    const auto whole = static_cast<size_t>(std::min<uint64_t>(entrycount, room));
    std::vector<uint8_t> raw(whole * kEntrySize);
    if (!file.read(raw.data(), raw.size())) {
        entryerror = file.error();
        return true;
    }
    // A tag that appears twice in one directory is acted on the first time
    // only; this also bounds the value reads of a directory to a few passes
    // over the file.
    std::set<uint16_t> taken;
    for (size_t i = 0; i < whole; ++i) {
        const uint8_t* p = raw.data() + i * kEntrySize;
        ifdentry entry;
        entry.tag = get16(p);
        entry.type = get16(p + 2);
        entry.count = get32(p + 4);
        std::copy(p + 8, p + 12, entry.field.begin());
        if (typesize(entry.type) == 0 || !taken.insert(entry.tag).second) {
            continue;
        }
        if (!takeentry(file, entry)) {
            return false;
        }
    }
    finishtags();
    if (whole < entrycount) {
        entryerror = kShortRead;
        return true;
    }
    return readstrips(file);
}

bool tiffinfo::takeentry(bytereader& file, const ifdentry& entry) {
    const uint32_t value = fieldvalue(entry);
    switch (entry.tag) {
    case tagwidth:
        width = value;
        break;
    case tagheight:
        height = value;
        break;
    case tagbitspersample: {
        std::vector<uint32_t> values;
        if (!readvalues(file, entry, values)) {
            return false;
        }
        bpsvalues.assign(values.size(), 0);
        std::transform(values.begin(), values.end(), bpsvalues.begin(),
                       [](uint32_t v) { return static_cast<uint16_t>(v); });
        break;
    }
    case tagcompression:
        compression = static_cast<uint16_t>(value);
        break;
    case tagphotometric:
        photometric = static_cast<int16_t>(value);
        break;
    case tagfillorder:
        fillorder = static_cast<int16_t>(value);
        break;
    case tagsamplesperpixel:
        samplesperpixel = static_cast<uint16_t>(value);
        break;
    case tagstripoffsets:
        stripcount = static_cast<int32_t>(entry.count);
        return readvalues(file, entry, stripoffsets);
    case tagrowsperstrip:
        // All bits set means "all rows in one strip".
        rowsperstrip =
            value == 0xFFFFFFFFu ? static_cast<int32_t>(height) : static_cast<int32_t>(value);
        break;
    case tagstripbytecounts:
        stripcount = static_cast<int32_t>(entry.count);
        if (!readvalues(file, entry, stripbytecounts)) {
            return false;
        }
        if (rowsperstrip == -1 && stripcount == 1) {
            rowsperstrip = static_cast<int32_t>(height);
        }
        break;
    case tagxresolution:
        return readresolution(file, entry, xnum, xden);
    case tagyresolution:
        return readresolution(file, entry, ynum, yden);
    case tagplanarconfig:
        planarconfig = static_cast<uint16_t>(value);
        break;
    case tagt4options:
        t4options = value;
        break;
    case tagresolutionunit:
        resolutionunit = static_cast<uint16_t>(value);
        break;
    case tagcolormap: {
        std::vector<uint32_t> values;
        if (!readvalues(file, entry, values)) {
            return false;
        }
        colormap.assign(values.size(), 0);
        std::transform(values.begin(), values.end(), colormap.begin(),
                       [](uint32_t v) { return static_cast<uint16_t>(v); });
        break;
    }
    case tagjpegoffset:
        jpegoffset = value;
        break;
    case tagjpeglength:
        jpeglength = value;
        break;
    default:
        break;
    }
    return true;
}

// Reads all values of an entry, each at its type's size in the file's byte
// order (an 8-byte type gives its first 4 bytes), into out. Values that fit
// in the value field are taken from there, all of them (two SHORTs give two
// values). Values stored elsewhere must lie inside the file before anything
// is allocated for them.
bool tiffinfo::readvalues(bytereader& file, const ifdentry& entry, std::vector<uint32_t>& out) {
    out.clear();
    const uint32_t size = typesize(entry.type);
    const uint64_t total = uint64_t{entry.count} * size;
    std::vector<uint8_t> bytes;
    const uint8_t* source = entry.field.data();
    if (total > entry.field.size()) {
        const uint32_t at = get32(entry.field.data());
        if (at > filesize || total > filesize - at) {
            ioerror = kShortRead;
            return false;
        }
        bytes.resize(static_cast<size_t>(total));
        if (!file.seek(at) || !file.read(bytes.data(), bytes.size())) {
            ioerror = file.error();
            return false;
        }
        source = bytes.data();
    }
    out.resize(entry.count);
    for (uint32_t i = 0; i < entry.count; ++i) {
        const uint8_t* p = source + uint64_t{i} * size;
        out[i] = size == 1 ? p[0] : size == 2 ? get16(p) : get32(p);
    }
    return true;
}

// XResolution and YResolution: a RATIONAL is its numerator and denominator
// as stored, read in the file's byte order. An integer-typed value is taken
// as is; other types leave the resolution missing.
bool tiffinfo::readresolution(bytereader& file, const ifdentry& entry, uint64_t& num,
                              uint64_t& den) {
    if (entry.count == 0) {
        return true;
    }
    if (isinteger(entry.type)) {
        num = fieldvalue(entry);
        den = 1;
        return true;
    }
    if (entry.type != typerational && entry.type != typesrational) {
        return true;
    }
    const uint32_t at = get32(entry.field.data());
    std::array<uint8_t, 8> bytes{};
    if (at > filesize || bytes.size() > filesize - at) {
        ioerror = kShortRead;
        return false;
    }
    if (!file.seek(at) || !file.read(bytes.data(), bytes.size())) {
        ioerror = file.error();
        return false;
    }
    num = get32(bytes.data());
    den = get32(bytes.data() + 4);
    return true;
}

// Work that needs the whole directory: the resolution unit (tag 296 comes
// after the resolutions) and the colour map size (which depends on the bit
// depth).
void tiffinfo::finishtags() {
    // Pixels per centimetre become dots per inch: × 2.54 on the exact
    // rational, rounded once.
    const uint64_t scale = resolutionunit == kUnitCentimetre ? 254 : 1;
    const uint64_t divisor = resolutionunit == kUnitCentimetre ? 100 : 1;
    xres = divroundeven(xnum * scale, xden * divisor);
    yres = divroundeven(ynum * scale, yden * divisor);

    const uint16_t bits = bitspersample();
    if (bits > 16 || colormap.size() != (size_t{3} << bits)) {
        colormap.clear();
    }
}

// Reads the chosen page's data: the JPEG header block when compression is
// 6, then each strip in order. Byte counts are cut to the bytes the file
// holds after their offsets; only as many strips are read as there are
// offset and byte count pairs. The strips together may not hold more bytes
// than the file, nor may the header block: data that no file of this size
// can back is a short read, found before anything is allocated.
bool tiffinfo::readstrips(bytereader& file) {
    stripdata.clear();
    const size_t strips = std::min(stripoffsets.size(), stripbytecounts.size());
    stripoffsets.resize(strips);
    stripbytecounts.resize(strips);

    uint64_t striptotal = 0;
    for (size_t i = 0; i < strips; ++i) {
        if (stripoffsets[i] <= filesize) {
            stripbytecounts[i] = static_cast<uint32_t>(
                std::min<uint64_t>(stripbytecounts[i], filesize - stripoffsets[i]));
        } else if (stripbytecounts[i] != 0) {
            // A strip that starts beyond the end of the file.
            ioerror = kShortRead;
            return false;
        }
        striptotal += stripbytecounts[i];
    }
    if (striptotal > filesize) {
        ioerror = kShortRead;
        return false;
    }
    uint64_t total = striptotal;
    if (compression == 6) {
        if (jpegoffset > filesize || jpeglength > filesize - jpegoffset) {
            ioerror = kShortRead;
            return false;
        }
        total += jpeglength;
    }
    if (total > std::numeric_limits<uint32_t>::max()) {
        ioerror = EFBIG;
        return false;
    }
    nodata = total == 0;
    if (!readdata) {
        return true;
    }

    stripdata.resize(static_cast<size_t>(total));
    size_t filled = 0;
    const auto append = [&](uint32_t at, uint32_t count) {
        if (count == 0) {
            return true;
        }
        if (!file.seek(at) || !file.read(stripdata.data() + filled, count)) {
            ioerror = file.error();
            stripdata.clear();
            return false;
        }
        filled += count;
        return true;
    };
    if (compression == 6 && !append(jpegoffset, jpeglength)) {
        return false;
    }
    for (size_t i = 0; i < strips; ++i) {
        if (!append(stripoffsets[i], stripbytecounts[i])) {
            return false;
        }
    }
    return true;
}

bool tiffinfo::checkcompression(const std::string& filename) {
    switch (compression) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 32773:
        return true;
    case 5:
        fail("Error - LZW Compression not yet supported");
        return false;
    case 6:
        if (jpegoffset > 0 && jpeglength > 0) {
            return true;
        }
        fail("Error - JPG Header or JPG Length is zero");
        return false;
    default:
        fail("Error - TIFF Compression " + std::to_string(compression) + " found in " + filename);
        return false;
    }
}

} // namespace ovin
