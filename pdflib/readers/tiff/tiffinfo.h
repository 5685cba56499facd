// The structure of a TIFF file, read by hand: the header, the chain of
// directories (a page each) and the tags of one chosen directory, with
// where that page's strips or tiles lie in the file. Nothing is decoded
// here (tiffdecode.h decodes through libtiff).
//
// The file is untrusted. Every value array is checked against the file size
// before it is allocated, the chain is bounded (an offset seen before ends
// it, so no file holds more directories than it has room for), a tag
// repeated within one directory counts the first time only, and nothing is
// read outside the file.
#pragma once

#include "byteorder.h"
#include "status.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ovin {

class bytereader;
class bytesource;

// Reverses the bits of each byte: data stored with FillOrder 2 (the first
// pixel of each byte in its lowest bit) in the usual order.
void reversebits(std::span<uint8_t> bytes);

enum class tiffproblem : uint8_t {
    none,
    byteorder,    // the header starts with neither "II" nor "MM"
    version,      // the version is not 42 (nor 43, BigTIFF, where that is read)
    readfailed,   // the header could not be read
    valuesfailed, // the values of the chosen page's tags could not be read
    chainbroken, // a directory of the chain, or the chosen one's entries, could not be read in full
};

// The tags of one directory as the file gives them; absent tags keep these
// values (the `has` flags tell which were there).
struct tifftags {
    uint32_t width = 0, height = 0;
    std::vector<uint16_t> bitspersample;
    uint16_t compression = 0;
    bool hascompression = false;
    uint32_t photometric = 0;
    bool hasphotometric = false;
    uint16_t fillorder = 1;
    uint16_t samplesperpixel = 1;
    uint32_t rowsperstrip = 0;
    bool hasrowsperstrip = false;
    uint16_t planarconfig = 1;
    uint32_t t4options = 0;
    uint32_t t6options = 0;
    uint16_t resolutionunit = 2;
    uint16_t orientation = 1;
    uint16_t predictor = 1;
    uint16_t inkset = 1;
    uint16_t sampleformat = 1;
    std::vector<uint16_t> extrasamples;
    std::vector<uint16_t> colormap;                  // empty, or 3 * 2^bits values (R, G, B)
    uint64_t xnum = 0, xden = 0, ynum = 0, yden = 0; // resolutions as stored
    uint32_t jpegoffset = 0, jpeglength = 0;         // an old-style JPEG header block
    // Where the data lies: strips, or tiles when the tile size is given.
    std::vector<uint64_t> stripoffsets, stripbytecounts;
    std::vector<uint64_t> tileoffsets, tilebytecounts;
    uint32_t tilewidth = 0, tilelength = 0;
    bool tiled() const { return tilewidth != 0 && tilelength != 0; }
    // Stretches of the file holding a tag's bytes: the JPEG tables of JPEG
    // data and the ICC profile; empty when absent.
    struct extent {
        uint64_t offset = 0;
        uint64_t length = 0;
    };
    extent jpegtables, iccprofile;
};

class tiffinfo {
public:
    // Reads the header, walks the chain and reads the tags of directory
    // `page` (counted from 1), a BigTIFF file too where `allowbig` says so.
    // `problem` (with `why`) says what went wrong; the tags are valid when
    // `found`.
    void read(bytesource& source, uint32_t page, bool allowbig = false);

    tiffproblem problem = tiffproblem::none;
    fault why; // of a read that failed
    bool bigendian = false;
    bool bigtiff = false;
    uint16_t version = 0;
    // Every directory met, a broken one included (it ends the chain); and
    // the leading ones that were read in full with at least one entry.
    uint32_t pagecount = 0;
    uint32_t wholepages = 0;
    bool found = false;      // the chosen directory was reached and its entries read
    bool entriescut = false; // ... but not all of its entries: the file ends inside them
    tifftags tags;

    // The offsets of the chain's directories, in order, as read() found
    // them. A caller that reads several pages of one file hands them back
    // through knowndirectories: the walk then starts at the chosen page's
    // directory instead of the first, and pagecount is the known count.
    std::vector<uint64_t> directories;
    const std::vector<uint64_t>* knowndirectories = nullptr;
    uint32_t knownwhole = 0; // wholepages of the walk that found them

    // The first BitsPerSample value; without the tag 8 for compression 6,
    // else 1.
    uint16_t bitspersample() const;
    // Dots per inch from the stored rationals: the rational rounded once,
    // pixels per centimetre turned into inches; 0 when missing.
    uint32_t xres() const;
    uint32_t yres() const;

    // The page's strips in one block, as a page of one strip embeds them:
    // the JPEG header block first (compression 6), then every strip in
    // order, each cut to the bytes the file holds. Only complete offset and
    // count pairs are read. Data that no file of this size can back fails
    // before anything is allocated. With `readdata` false the strips are
    // only checked. False with `failure` set when a read fails.
    bool readstrips(bytesource& source, bool readdata, fault& failure);
    // True when readstrips found the strips empty.
    bool nodata() const { return nodata_; }
    uint32_t datasize() const { return static_cast<uint32_t>(stripdata_.size()); }
    // The strips read, each byte bit-reversed when the page's FillOrder is
    // 2, handed over by swapping buffers: `out` receives the data, and the
    // reader keeps out's old buffer. A caller that reads many pages passes
    // the same vector back each time (usebuffer before readstrips), so that
    // no page needs a fresh allocation.
    void takedata(std::vector<uint8_t>& out);
    void usebuffer(std::vector<uint8_t>& buffer) { stripdata_.swap(buffer); }

private:
    struct ifdentry {
        uint16_t tag = 0;
        uint16_t type = 0;
        uint64_t count = 0;
        std::array<uint8_t, 8> field{}; // as stored in the file
        uint64_t fieldpos = 0;          // where the field is in the file
    };

    bool readchosen(bytereader& file, uint64_t entrycount, fault& entryfault);
    bool takeentry(bytereader& file, const ifdentry& entry);
    bool valuesat(const ifdentry& entry, uint64_t& at, uint64_t& total);
    bool locate(const ifdentry& entry, tifftags::extent& out);
    bool readvalues(bytereader& file, const ifdentry& entry, std::vector<uint64_t>& out);
    bool readresolution(bytereader& file, const ifdentry& entry, uint64_t& num, uint64_t& den);
    void finishtags();

    uint16_t get16(const uint8_t* p) const { return ovin::get16(p, bigendian); }
    uint32_t get32(const uint8_t* p) const { return ovin::get32(p, bigendian); }
    uint64_t get64(const uint8_t* p) const { return ovin::get64(p, bigendian); }
    uint64_t fieldvalue(const ifdentry& entry) const;
    uint64_t fieldoffset(const ifdentry& entry) const {
        return bigtiff ? get64(entry.field.data()) : get32(entry.field.data());
    }

    uint64_t filesize_ = 0;
    std::vector<uint8_t> stripdata_;
    bool nodata_ = false;
};

} // namespace ovin
