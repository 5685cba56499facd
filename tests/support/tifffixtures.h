// TIFF test files made by the tests themselves.
//
// Two ways to make one:
//
//  * writetiff(): real images through libtiff, one tiffpage per page, from a
//    pixel buffer the caller fills (or a deterministic pattern). Every coding
//    and layout the library meets: Group 4, Group 3 1-D/2-D (t4options),
//    modified Huffman (compression 2), uncompressed 1-bit (photometric 0 or
//    1), 8-bit grey, 24-bit RGB, 8-bit palette, PackBits, FillOrder 2,
//    big-endian, one strip or several, several pages, any resolution and
//    unit. decodetiff() reads a page back through libtiff into the same
//    pixel layout, so a test can compare pixels.
//
//  * tiffbuilder: writes a file byte by byte, for what libtiff would not
//    write: directory loops, rationals such as 599/2, SHORT strip arrays,
//    strips past the end of the file, old-style JPEG tags, unknown types...
//
// Pixel layout everywhere: rows top first, each rowbytes() long, samples
// interleaved, packed most significant bit first (uncompressed TIFF data
// with FillOrder 1), 16-bit samples in the machine's byte order.
//
//     ovintest::tiffscratch dir;
//     auto page = ovintest::bilevelpage(64, 48, 4);   // Group 4
//     ovintest::writetiff(dir.path("a.tif"), {page});
//     EXPECT_EQ(ovintest::decodetiff(dir.path("a.tif"), 1), page.pixels);
#pragma once

#include "pdftools.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ovintest {

enum class byteorder { little, big };

struct tiffpage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 1;         // bits per sample: 1, 2, 4, 8 or 16
    uint16_t samples = 1;      // samples per pixel, extra samples included
    uint16_t photometric = 0;  // 0 min-is-white, 1 min-is-black, 2 RGB, 3 palette, 5 CMYK, 6 YCbCr
    uint16_t compression = 1;  // 1 none, 2 modified Huffman, 3 Group 3, 4 Group 4, 5 LZW,
                               // 7 JPEG, 8 or 32946 Deflate, 32773 PackBits
    uint32_t t4options = 0;    // Group 3 only: 1 = 2-D coding, 4 = byte-aligned EOLs
    uint16_t fillorder = 1;    // 2: each byte's first pixel in its lowest bit
    uint32_t rowsperstrip = 0; // 0: all rows in one strip
    double xres = 300;         // 0 leaves the tag out
    double yres = 300;         // 0 leaves the tag out
    uint16_t resunit = 2;      // 1 none, 2 inch, 3 centimetre; 0 leaves the tag out
    std::vector<uint16_t> colormap; // photometric 3: 3 * 2^bits values, all R, then G, then B
    uint16_t predictor = 1;         // LZW, Deflate: 2 = horizontal differencing
    uint16_t planar = 1;            // 2: each sample in a plane of its own
    uint32_t tilewidth = 0;         // non-zero: tiles of this size (multiples of 16)
    uint32_t tilelength = 0;
    std::vector<uint16_t> extrasamples; // ExtraSamples: 0 unspecified, 1 associated alpha, 2 not
    uint16_t orientation = 0;           // 1 to 8; 0 leaves the tag out
    std::vector<uint8_t> icc;           // ICC profile; empty leaves the tag out
    int jpegquality = 90;               // JPEG: photometric 6 codes the RGB pixels as YCbCr
    uint16_t subsampling = 1;           // YCbCr without JPEG: samples as stored, subsampled
    std::vector<uint8_t> pixels;        // height * rowbytes() bytes

    uint32_t rowbytes() const { return (width * bits * samples + 7) / 8; }
};

// Pages with a deterministic pattern (lines, blocks and some noise from
// seed) that differs from seed to seed and compresses like a real scan.
tiffpage bilevelpage(uint32_t width, uint32_t height, uint16_t compression, uint32_t seed = 1);
tiffpage greypage(uint32_t width, uint32_t height, uint16_t compression = 1, uint32_t seed = 1);
tiffpage rgbpage(uint32_t width, uint32_t height, uint32_t seed = 1);
tiffpage palettepage(uint32_t width, uint32_t height, uint32_t seed = 1);
// Fills page.pixels with the pattern for its size and depth; with
// associated alpha, colours never exceed their alpha.
void fillpattern(tiffpage& page, uint32_t seed);

// Writes the pages into one file through libtiff (BigTIFF when asked).
// Throws std::runtime_error when libtiff refuses (bad combination, short
// pixel buffer).
void writetiff(const std::string& path, const std::vector<tiffpage>& pages,
               byteorder order = byteorder::little, bool bigtiff = false);

// Writes one page whose data is already coded, as one strip, with the tags
// of page (its pixels are not used; rows per strip is the height; FillOrder
// 1). Used to check that data taken out of a file decodes as before.
void writerawtiff(const std::string& path, const tiffpage& page, const std::vector<uint8_t>& data);

// Decodes page (from 1) through libtiff into the pixel layout above.
// Throws std::runtime_error when libtiff cannot.
std::vector<uint8_t> decodetiff(const std::string& path, uint16_t page);

// The page's strips (or tiles) as stored (libtiff's raw reads), one after
// the other, bytes as in the file (no FillOrder reversal).
std::vector<uint8_t> tiffrawdata(const std::string& path, uint16_t page);

// A handful of small (< 4 KB), well-formed files of different kinds, by
// name: Group 4 two pages, Group 3 2-D FillOrder 2 in strips (big-endian),
// modified Huffman, PackBits grey in pixels per centimetre, RGB in strips,
// 4-bit palette, old-style JPEG with SHORT strip arrays and 599/2
// resolutions, and a looping chain whose first strip runs past the end.
// Page 1 of each reads without error.
std::map<std::string, std::vector<uint8_t>> tiffsamples();

// A fresh folder for one test's files, removed with everything in it;
// path(name) names a file in it.
class tiffscratch : public tempdir {
public:
    std::string path(const std::string& name) const { return file(name); }
};

std::vector<uint8_t> tifffilebytes(const std::string& path);
void tiffsavebytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Builds a TIFF file byte by byte. Directories are linked into one chain
// in the order they are ended (the first one from the header). Values too
// large for an entry's field are written at once, before their directory.
//
//     ovintest::tiffbuilder b(ovintest::byteorder::big);
//     uint32_t data = b.append(strip);
//     b.shorts(256, {8}).shorts(257, {2}).shorts(259, {1})
//         .longs(273, {data}).longs(279, {uint32_t(strip.size())})
//         .rational(282, 599, 2);
//     b.endifd();
//     b.save(path);
class tiffbuilder {
public:
    enum : uint16_t { BYTE = 1, ASCII = 2, SHORT = 3, LONG = 4, RATIONAL = 5 };

    explicit tiffbuilder(byteorder order = byteorder::little);

    // Appends raw bytes (at an even offset); returns their offset.
    uint32_t append(const std::vector<uint8_t>& bytes);
    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }

    // Entries of the directory being built, kept in the order added.
    tiffbuilder& shorts(uint16_t tag, const std::vector<uint16_t>& values);
    tiffbuilder& longs(uint16_t tag, const std::vector<uint32_t>& values);
    tiffbuilder& rational(uint16_t tag, uint32_t numerator, uint32_t denominator);
    // Any entry: field is the value field as a 32-bit number in file order.
    tiffbuilder& raw(uint16_t tag, uint16_t type, uint32_t count, uint32_t field);

    // Writes the directory (next offset 0) and links the previous
    // directory, or the header, to it. Returns its offset.
    uint32_t endifd();
    // Offset of the next-directory field of the directory at ifd.
    uint32_t nextfield(uint32_t ifd) const;

    void put16(uint32_t at, uint16_t value);
    void put32(uint32_t at, uint32_t value);

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    void save(const std::string& path) const;

private:
    struct entry {
        uint16_t tag, type;
        uint32_t count;
        std::vector<uint8_t> field; // 4 bytes in file order
    };
    std::vector<uint8_t> encode16(uint16_t value) const;
    std::vector<uint8_t> encode32(uint32_t value) const;
    // An entry whose values are `data` (in file order): held in the entry
    // when they fit in 4 bytes, else written now and pointed to.
    tiffbuilder& addentry(uint16_t tag, uint16_t type, uint32_t count, std::vector<uint8_t> data);

    bool big_;
    std::vector<uint8_t> bytes_;
    std::vector<entry> entries_;
    uint32_t linkat_ = 4; // where the next directory's offset goes
};

} // namespace ovintest
