#include "readers/tiff/tiffinfo.h"

#include "numbers.h"
#include "readers/bytesource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <set>
#include <unordered_set>

namespace ovin {

namespace {

enum : uint16_t {
    tagwidth = 256,
    tagheight = 257,
    tagbitspersample = 258,
    tagcompression = 259,
    tagphotometric = 262,
    tagfillorder = 266,
    tagstripoffsets = 273,
    tagorientation = 274,
    tagsamplesperpixel = 277,
    tagrowsperstrip = 278,
    tagstripbytecounts = 279,
    tagxresolution = 282,
    tagyresolution = 283,
    tagplanarconfig = 284,
    tagt4options = 292,
    tagt6options = 293,
    tagresolutionunit = 296,
    tagpredictor = 317,
    tagcolormap = 320,
    tagtilewidth = 322,
    tagtilelength = 323,
    tagtileoffsets = 324,
    tagtilebytecounts = 325,
    taginkset = 332,
    tagextrasamples = 338,
    tagsampleformat = 339,
    tagjpegtables = 347,
    tagjpegoffset = 513,
    tagjpeglength = 514,
    tagiccprofile = 34675,
};

enum : uint16_t {
    typerational = 5,
    typesrational = 10,
    typelong8 = 16,
    typeslong8 = 17,
    typeifd8 = 18
};

constexpr uint16_t kUnitCentimetre = 3;

// Bytes per value of a TIFF field type. 0 for a type this reader does not
// know: such an entry cannot be sized, so it is skipped whatever its tag and
// its count is never used. The 8-byte integers come with BigTIFF.
uint32_t typesize(uint16_t type, bool bigtiff) {
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
    case 13: // IFD
        return type == 13 && !bigtiff ? 0 : 4;
    case 5:  // RATIONAL
    case 10: // SRATIONAL
    case 12: // DOUBLE
        return 8;
    case typelong8:
    case typeslong8:
    case typeifd8:
        return bigtiff ? 8 : 0;
    default:
        return 0;
    }
}

bool isinteger(uint16_t type) {
    return type == 1 || type == 3 || type == 4 || type == 6 || type == 8 || type == 9 ||
           type == typelong8 || type == typeslong8 || type == typeifd8;
}

bool iswide(uint16_t type) {
    return type == typelong8 || type == typeslong8 || type == typeifd8;
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

std::vector<uint16_t> shorts(const std::vector<uint64_t>& values) {
    std::vector<uint16_t> out(values.size());
    std::transform(values.begin(), values.end(), out.begin(),
                   [](uint64_t v) { return static_cast<uint16_t>(v); });
    return out;
}

} // namespace

// The first value held in the entry's value field, read at its type's size
// (an 8-byte type of a classic file gives its first 4 bytes).
uint64_t tiffinfo::fieldvalue(const ifdentry& entry) const {
    switch (typesize(entry.type, bigtiff)) {
    case 1:
        return entry.field[0];
    case 2:
        return get16(entry.field.data());
    default:
        return iswide(entry.type) ? get64(entry.field.data()) : get32(entry.field.data());
    }
}

uint16_t tiffinfo::bitspersample() const {
    if (!tags.bitspersample.empty()) {
        return tags.bitspersample.front();
    }
    return tags.compression == 6 ? 8 : 1;
}

uint32_t tiffinfo::xres() const {
    const bool cm = tags.resolutionunit == kUnitCentimetre;
    return divroundeven(tags.xnum * (cm ? 254 : 1), tags.xden * (cm ? 100 : 1));
}

void reversebits(std::span<uint8_t> bytes) {
    std::transform(bytes.begin(), bytes.end(), bytes.begin(),
                   [](uint8_t b) { return kReversed[b]; });
}

uint32_t tiffinfo::yres() const {
    const bool cm = tags.resolutionunit == kUnitCentimetre;
    return divroundeven(tags.ynum * (cm ? 254 : 1), tags.yden * (cm ? 100 : 1));
}

void tiffinfo::takedata(std::vector<uint8_t>& out) {
    if (tags.fillorder == 2) {
        // FillOrder 2 stores the first pixel of each byte in its lowest bit;
        // the data is handed on with the first pixel in the highest bit.
        reversebits(stripdata_);
    }
    out.swap(stripdata_);
    stripdata_.clear();
}

void tiffinfo::read(bytesource& source, uint32_t page, bool allowbig) {
    // Everything goes back to its initial state, so that an object reused
    // for another page never carries a tag over from the previous one.
    problem = tiffproblem::none;
    why = {};
    bigendian = bigtiff = false;
    version = 0;
    pagecount = wholepages = 0;
    found = entriescut = false;
    tags = tifftags{};
    directories.clear();
    stripdata_.clear();
    nodata_ = false;

    bytereader file(source);
    filesize_ = file.size();
    const auto failed = [&](tiffproblem what, const fault& reason) {
        problem = what;
        why = reason;
    };

    std::array<uint8_t, 16> header{};
    if (!file.read(header.data(), 8)) {
        return failed(tiffproblem::readfailed, file.why());
    }
    if (header[0] == 'I' && header[1] == 'I') {
        bigendian = false;
    } else if (header[0] == 'M' && header[1] == 'M') {
        bigendian = true;
    } else {
        return failed(tiffproblem::byteorder, {});
    }
    version = get16(&header[2]);
    uint64_t offset = get32(&header[4]);
    if (version == 43 && allowbig) {
        // Offset size 8, a reserved 0, then the first directory's offset.
        if (!file.read(header.data() + 8, 8)) {
            return failed(tiffproblem::readfailed, file.why());
        }
        if (get16(&header[4]) != 8) {
            return failed(tiffproblem::version, {});
        }
        bigtiff = true;
        offset = get64(&header[8]);
    } else if (version != 42) {
        return failed(tiffproblem::version, {});
    }
    const uint64_t countsize = bigtiff ? 8 : 2;
    const uint64_t entrysize = bigtiff ? 20 : 12;
    const uint64_t linksize = bigtiff ? 8 : 4;

    // Walk the whole chain so that every page is counted. A directory is
    // visited at most once: an offset seen before ends the chain.
    uint32_t counter = 0;
    uint32_t whole = 0;
    bool complete = true; // every directory so far read in full, with entries
    const bool known = knowndirectories != nullptr && page >= 1 && page <= knowndirectories->size();
    if (known) {
        offset = (*knowndirectories)[page - 1u];
        counter = page - 1u;
    }
    std::unordered_set<uint64_t> seen;
    while (offset != 0 && seen.insert(offset).second) {
        ++counter;
        if (!known) {
            directories.push_back(offset);
        }
        std::array<uint8_t, 8> countbytes{};
        if (!file.seek(offset) || !file.read(countbytes.data(), countsize)) {
            failed(tiffproblem::chainbroken, file.why());
            break;
        }
        const uint64_t entrycount = bigtiff ? get64(countbytes.data()) : get16(countbytes.data());
        if (counter == page) {
            fault entryfault;
            if (!readchosen(file, entrycount, entryfault)) {
                // The page's values could not be read: stop here.
                pagecount = counter;
                return failed(tiffproblem::valuesfailed, why);
            }
            found = true;
            if (entryfault) {
                entriescut = true;
                failed(tiffproblem::chainbroken, entryfault);
                break;
            }
            if (known) {
                break; // the rest of the chain is known already
            }
        }
        // Other pages' entries are not needed: only that they are all there
        // and the offset of the next directory after them.
        std::array<uint8_t, 8> next{};
        if (entrycount > (filesize_ - std::min(filesize_, offset + countsize)) / entrysize ||
            !file.seek(offset + countsize + entrysize * entrycount) ||
            !file.read(next.data(), linksize)) {
            failed(tiffproblem::chainbroken, file.why() ? file.why() : fault::truncated());
            break;
        }
        complete = complete && entrycount > 0;
        whole += complete ? 1 : 0;
        offset = bigtiff ? get64(next.data()) : get32(next.data());
    }
    pagecount = known ? static_cast<uint32_t>(knowndirectories->size()) : counter;
    wholepages = known ? knownwhole : whole;
}

// Reads the chosen directory's entries (the file is positioned just after
// its entry count) and acts on them. `entryfault` is set when the entries
// cannot all be read (truncated when they run past the end of the file;
// those that are there in full have been acted on). Returns false, with
// `why` set, when reading the values of the page failed.
bool tiffinfo::readchosen(bytereader& file, uint64_t entrycount, fault& entryfault) {
    const uint64_t entrysize = bigtiff ? 20 : 12;
    const uint64_t start = file.position();
    const uint64_t room = (filesize_ - start) / entrysize;
    const auto whole = static_cast<size_t>(std::min<uint64_t>(entrycount, room));
    std::vector<uint8_t> raw(whole * entrysize);
    if (!file.read(raw.data(), raw.size())) {
        entryfault = file.why();
        return true;
    }
    // A tag that appears twice in one directory is acted on the first time
    // only; this also bounds the value reads of a directory to a few passes
    // over the file.
    std::set<uint16_t> taken;
    for (size_t i = 0; i < whole; ++i) {
        const uint8_t* p = raw.data() + i * entrysize;
        ifdentry entry;
        entry.tag = get16(p);
        entry.type = get16(p + 2);
        entry.count = bigtiff ? get64(p + 4) : get32(p + 4);
        const size_t field = bigtiff ? 12 : 8;
        std::copy(p + field, p + field + (bigtiff ? 8 : 4), entry.field.begin());
        entry.fieldpos = start + i * entrysize + field;
        if (typesize(entry.type, bigtiff) == 0 || !taken.insert(entry.tag).second) {
            continue;
        }
        if (!takeentry(file, entry)) {
            return false;
        }
    }
    finishtags();
    if (whole < entrycount) {
        entryfault = fault::truncated();
    }
    return true;
}

bool tiffinfo::takeentry(bytereader& file, const ifdentry& entry) {
    const uint64_t value = fieldvalue(entry);
    const auto small = [&] { return static_cast<uint16_t>(value); };
    const auto word = [&] { return static_cast<uint32_t>(value); };
    std::vector<uint64_t> values;
    switch (entry.tag) {
    case tagwidth:
        tags.width = word();
        break;
    case tagheight:
        tags.height = word();
        break;
    case tagbitspersample:
        if (!readvalues(file, entry, values)) {
            return false;
        }
        tags.bitspersample = shorts(values);
        break;
    case tagcompression:
        tags.compression = small();
        tags.hascompression = true;
        break;
    case tagphotometric:
        tags.photometric = word();
        tags.hasphotometric = true;
        break;
    case tagfillorder:
        tags.fillorder = small();
        break;
    case tagorientation:
        tags.orientation = small();
        break;
    case tagsamplesperpixel:
        tags.samplesperpixel = small();
        break;
    case tagstripoffsets:
        return readvalues(file, entry, tags.stripoffsets);
    case tagrowsperstrip:
        tags.rowsperstrip = word();
        tags.hasrowsperstrip = true;
        break;
    case tagstripbytecounts:
        return readvalues(file, entry, tags.stripbytecounts);
    case tagxresolution:
        return readresolution(file, entry, tags.xnum, tags.xden);
    case tagyresolution:
        return readresolution(file, entry, tags.ynum, tags.yden);
    case tagplanarconfig:
        tags.planarconfig = small();
        break;
    case tagt4options:
        tags.t4options = word();
        break;
    case tagt6options:
        tags.t6options = word();
        break;
    case tagresolutionunit:
        tags.resolutionunit = small();
        break;
    case tagpredictor:
        tags.predictor = small();
        break;
    case tagcolormap:
        if (!readvalues(file, entry, values)) {
            return false;
        }
        tags.colormap = shorts(values);
        break;
    case tagtilewidth:
        tags.tilewidth = word();
        break;
    case tagtilelength:
        tags.tilelength = word();
        break;
    case tagtileoffsets:
        return readvalues(file, entry, tags.tileoffsets);
    case tagtilebytecounts:
        return readvalues(file, entry, tags.tilebytecounts);
    case taginkset:
        tags.inkset = small();
        break;
    case tagextrasamples:
        if (!readvalues(file, entry, values)) {
            return false;
        }
        tags.extrasamples = shorts(values);
        break;
    case tagsampleformat:
        tags.sampleformat = small();
        break;
    case tagjpegtables:
        return locate(entry, tags.jpegtables);
    case tagiccprofile:
        return locate(entry, tags.iccprofile);
    case tagjpegoffset:
        tags.jpegoffset = word();
        break;
    case tagjpeglength:
        tags.jpeglength = word();
        break;
    default:
        break;
    }
    return true;
}

// Where the entry's values lie in the file: in its value field when they
// fit there, else at the offset that the field holds. False (why set)
// when they do not lie inside the file.
bool tiffinfo::valuesat(const ifdentry& entry, uint64_t& at, uint64_t& total) {
    total = entry.count * typesize(entry.type, bigtiff);
    if (entry.count > filesize_) { // more values than bytes: never in the file
        why = fault::truncated();
        return false;
    }
    at = total <= (bigtiff ? 8U : 4U) ? entry.fieldpos : fieldoffset(entry);
    if (at > filesize_ || total > filesize_ - at) {
        why = fault::truncated();
        return false;
    }
    return true;
}

// A tag's bytes left where they are (JPEG tables, an ICC profile); an
// entry of another type than BYTE or UNDEFINED is left out.
bool tiffinfo::locate(const ifdentry& entry, tifftags::extent& out) {
    if (entry.type != 1 && entry.type != 7) {
        return true;
    }
    uint64_t at = 0;
    uint64_t total = 0;
    if (!valuesat(entry, at, total)) {
        return false;
    }
    out = {at, total};
    return true;
}

// Reads all values of an entry, each at its type's size in the file's byte
// order (an 8-byte type of a classic file gives its first 4 bytes), into
// out. Values that fit in the value field are taken from there, all of them
// (two SHORTs give two values). Values stored elsewhere must lie inside the
// file before anything is allocated for them.
bool tiffinfo::readvalues(bytereader& file, const ifdentry& entry, std::vector<uint64_t>& out) {
    out.clear();
    const uint32_t size = typesize(entry.type, bigtiff);
    uint64_t at = 0;
    uint64_t total = 0;
    if (!valuesat(entry, at, total)) {
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(total));
    if (total <= (bigtiff ? 8U : 4U)) {
        std::copy_n(entry.field.begin(), bytes.size(), bytes.begin()); // held in the entry
    } else if (!file.seek(at) || !file.read(bytes.data(), bytes.size())) {
        why = file.why();
        return false;
    }
    out.resize(static_cast<size_t>(entry.count));
    for (size_t i = 0; i < out.size(); ++i) {
        const uint8_t* p = bytes.data() + i * size;
        out[i] = size == 1                         ? p[0]
                 : size == 2                       ? get16(p)
                 : size == 8 && iswide(entry.type) ? get64(p)
                                                   : get32(p);
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
    const uint64_t at = bigtiff ? entry.fieldpos : fieldoffset(entry);
    std::array<uint8_t, 8> bytes{};
    if (at > filesize_ || bytes.size() > filesize_ - at) {
        why = fault::truncated();
        return false;
    }
    if (!file.seek(at) || !file.read(bytes.data(), bytes.size())) {
        why = file.why();
        return false;
    }
    num = get32(bytes.data());
    den = get32(bytes.data() + 4);
    return true;
}

// Work that needs the whole directory: the colour map's size depends on the
// bit depth.
void tiffinfo::finishtags() {
    const uint16_t bits = bitspersample();
    if (bits > 16 || tags.colormap.size() != (size_t{3} << bits)) {
        tags.colormap.clear();
    }
}

// Reads the chosen page's strips: the JPEG header block when compression is
// 6, then each strip in order. Byte counts are cut to the bytes the file
// holds after their offsets; only as many strips are read as there are
// offset and byte count pairs. The strips together may not hold more bytes
// than the file, nor may the header block: data that no file of this size
// can back is a short read, found before anything is allocated.
bool tiffinfo::readstrips(bytesource& source, bool readdata, fault& failure) {
    stripdata_.clear();
    bytereader file(source);
    std::vector<uint64_t> offsets = tags.stripoffsets;
    std::vector<uint64_t> counts = tags.stripbytecounts;
    const size_t strips = std::min(offsets.size(), counts.size());
    offsets.resize(strips);
    counts.resize(strips);

    uint64_t striptotal = 0;
    for (size_t i = 0; i < strips; ++i) {
        if (offsets[i] <= filesize_) {
            counts[i] = std::min(counts[i], filesize_ - offsets[i]);
        } else if (counts[i] != 0) {
            failure = fault::truncated(); // a strip that starts beyond the end of the file
            return false;
        }
        striptotal += counts[i];
    }
    if (striptotal > filesize_) {
        failure = fault::truncated();
        return false;
    }
    uint64_t total = striptotal;
    if (tags.compression == 6) {
        if (tags.jpegoffset > filesize_ || tags.jpeglength > filesize_ - tags.jpegoffset) {
            failure = fault::truncated();
            return false;
        }
        total += tags.jpeglength;
    }
    if (total > std::numeric_limits<uint32_t>::max()) {
        failure = fault::system(EFBIG);
        return false;
    }
    nodata_ = total == 0;
    if (!readdata) {
        return true;
    }

    stripdata_.resize(static_cast<size_t>(total));
    size_t filled = 0;
    const auto append = [&](uint64_t at, uint64_t count) {
        if (count == 0) {
            return true;
        }
        if (!file.seek(at) || !file.read(stripdata_.data() + filled, static_cast<size_t>(count))) {
            failure = file.why();
            stripdata_.clear();
            return false;
        }
        filled += static_cast<size_t>(count);
        return true;
    };
    if (tags.compression == 6 && !append(tags.jpegoffset, tags.jpeglength)) {
        return false;
    }
    for (size_t i = 0; i < strips; ++i) {
        if (!append(offsets[i], counts[i])) {
            return false;
        }
    }
    return true;
}

} // namespace ovin
