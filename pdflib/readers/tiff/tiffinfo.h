// The TIFF probe: reads a TIFF file's header and directory chain, counts the
// pages, captures the tags of one chosen page and delivers that page's strip
// data exactly as stored (no decoding).
//
// The file is untrusted. Every value array is checked against the file size
// before it is allocated, the directory chain is bounded (an offset seen
// before ends it, so no file holds more directories than it has room for), a tag repeated
// within one directory is acted on only the first time, and the strip data
// delivered never exceeds what the file holds (see readstrips in the .cpp).
#pragma once

#include "byteorder.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

class bytereader;
class bytesource;

class tiffinfo {
public:
    // Reads the file's directory chain and the tags and strip data of the
    // page'th directory (counted from 1). True when everything was read, the
    // page's compression is one the library takes (1, 2, 3, 4, 32773, or 6
    // with a JPEG header block) and its strips hold data. On false, haserror() is set and
    // geterrortext() says why; ioerror is non-zero when reading the values
    // or the data of the page failed.
    bool readfile(const std::string& filename, uint32_t page);
    // The same from a byte source; filename only names it in messages.
    bool read(bytesource& source, const std::string& filename, uint32_t page);
    bool haserror() const { return errorflag; }
    const std::string& geterrortext() const { return errortext; }
    // The first BitsPerSample value; without the tag 8 for compression 6,
    // else 1.
    uint16_t bitspersample() const;
    int16_t getphotometric() const { return photometric; }
    // Bytes delivered by copydata: the JPEG header block (compression 6),
    // then every strip in order.
    uint32_t datasize() const { return static_cast<uint32_t>(stripdata.size()); }
    // Copies datasize() bytes to buffer, each byte bit-reversed when the
    // page's FillOrder is 2. May be called more than once.
    void copydata(uint8_t* buffer);
    // The same bytes as copydata, handed over by swapping buffers: `out`
    // receives the data, and the probe keeps out's old buffer. A caller
    // that probes many pages passes the same vector back each time
    // (usebuffer before readfile), so no page needs a fresh allocation.
    void takedata(std::vector<uint8_t>& out);
    void usebuffer(std::vector<uint8_t>& buffer) { stripdata.swap(buffer); }

    uint32_t width = 0, height = 0; // full SHORT or LONG values
    uint32_t xres = 0, yres = 0;    // dots per inch, 0 when missing
    uint32_t pagecount = 0;
    uint16_t compression = 0;
    int32_t rowsperstrip = -1; // equals height when the page is one strip
    int16_t fillorder = 1;
    uint16_t samplesperpixel = 1;   // tag 277
    uint16_t planarconfig = 1;      // tag 284
    uint32_t t4options = 0;         // tag 292
    std::vector<uint16_t> colormap; // tag 320: empty, or 3 * 2^bitspersample() values (R, G, B)
    int ioerror = 0; // errno, or 100 for a short read, of a failed value or data read
    // false: the strips are checked against the file but not read (for a
    // caller that needs only the tags); datasize() is then 0.
    bool readdata = true;
    // The offsets of the chain's directories, in order, as readfile found
    // them. A caller that probes several pages of one file hands them back
    // through knowndirectories: the walk then starts at the chosen page's
    // directory instead of the first, and pagecount is the known count.
    std::vector<uint32_t> directories;
    const std::vector<uint32_t>* knowndirectories = nullptr;

private:
    struct ifdentry {
        uint16_t tag = 0;
        uint16_t type = 0;
        uint32_t count = 0;
        std::array<uint8_t, 4> field{}; // as stored in the file
    };

    void reset();
    void fail(std::string text);
    bool readchosen(bytereader& file, uint16_t entrycount, int& entryerror);
    bool takeentry(bytereader& file, const ifdentry& entry);
    bool readvalues(bytereader& file, const ifdentry& entry, std::vector<uint32_t>& out);
    bool readresolution(bytereader& file, const ifdentry& entry, uint64_t& num, uint64_t& den);
    void finishtags();
    bool readstrips(bytereader& file);
    bool checkcompression(const std::string& filename);

    uint16_t get16(const uint8_t* p) const { return ovin::get16(p, bigendian); }
    uint32_t get32(const uint8_t* p) const { return ovin::get32(p, bigendian); }
    uint32_t fieldvalue(const ifdentry& entry) const;

    std::vector<uint32_t> stripoffsets;
    std::vector<uint32_t> stripbytecounts;
    std::vector<uint8_t> stripdata;
    std::vector<uint16_t> bpsvalues;
    bool bigendian = false;
    bool errorflag = false;
    uint32_t jpegoffset = 0;
    uint32_t jpeglength = 0;
    uint64_t filesize = 0;
    int32_t stripcount = 0;
    int16_t photometric = -1;
    uint16_t resolutionunit = 2;
    uint64_t xnum = 0, xden = 0, ynum = 0, yden = 0;
    bool nodata = false; // the chosen page's strips hold no bytes
    std::string errortext;
};

} // namespace ovin
