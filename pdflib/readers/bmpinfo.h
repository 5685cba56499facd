// Reads an uncompressed Windows bitmap with 1, 8 or 24 bits per pixel and
// delivers its pixels as the PDF image writer embeds them: top row first, no
// fill bytes at the row ends, 8- and 24-bit pixels as red, green, blue and
// 1-bit pixels packed, most significant bit first.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

class bytesource;

class bmpinfo {
public:
    // Reads the headers, the palette and the pixel block; false (and
    // haserror()) on failure, with the reason in geterrortext().
    bool readfile(const std::string& filename);
    // The same from a byte source; filename only names it in messages.
    bool read(bytesource& source, const std::string& filename);
    bool haserror() const { return errorflag_; }
    const std::string& geterrortext() const { return errortext_; }
    // Writes datasize bytes to buffer: the rows top first, in the layout
    // described above. Does nothing unless readfile succeeded.
    void copypixels(uint8_t* buffer);

    uint32_t width = 0, height = 0; // pixels, as the file gives them (height made positive)
    uint16_t bitcount = 0;
    uint32_t xdpi = 0, ydpi = 0;
    uint32_t datasize = 0;
    // The two palette entries of a 1-bit file as R,G,B,R,G,B: a set bit
    // shows the second colour.
    std::array<uint8_t, 6> palette1{};
    int ioerror = 0; // non-zero: a read failed (errno, or 100 for a short read)
    // false: the pixel block is checked against the file but not read (for
    // a caller that needs only the headers); copypixels then delivers nothing.
    bool readdata = true;

private:
    bool fail(std::string text);

    bool errorflag_ = false;
    std::string errortext_;
    std::vector<uint8_t> pixeldata_;          // whole rows as stored, first row of the file first
    std::array<uint8_t, 256 * 3> palette8_{}; // 8-bit files: R,G,B per entry
    uint64_t stride_ = 0;                     // bytes from one stored row to the next
    bool topdown_ = false;                    // rows stored top first (negative height)
};

} // namespace ovin
