// The classic face's reading of TIFF, JPEG and BMP files in the terms the
// probe tests check: the readers' facts with the classic texts, a failed read of
// a page's values or data as its number (ioerror).
#pragma once

#include "faces/classic/pages.h"
#include "readers/bytesource.h"
#include "readers/jpeg.h"
#include "readers/tiff/tiffinfo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovintest {

class classictiff {
public:
    bool readfile(const std::string& file, uint32_t page);
    bool read(ovin::bytesource& source, const std::string& name, uint32_t page);
    bool haserror() const { return !errortext.empty(); }
    const std::string& geterrortext() const { return errortext; }
    uint16_t bitspersample() const { return probe.bitspersample(); }
    int16_t getphotometric() const {
        return probe.tags.hasphotometric ? static_cast<int16_t>(probe.tags.photometric) : -1;
    }
    uint32_t datasize() const { return static_cast<uint32_t>(data.size()); }
    void copydata(uint8_t* buffer) const { std::copy(data.begin(), data.end(), buffer); }

    bool readdata = true;
    std::string errortext;
    int ioerror = 0;
    uint32_t width = 0, height = 0, xres = 0, yres = 0, pagecount = 0;
    uint16_t compression = 0, samplesperpixel = 1, planarconfig = 1;
    int16_t fillorder = 1;
    int32_t rowsperstrip = -1;
    uint32_t t4options = 0;
    std::vector<uint16_t> colormap;
    ovin::tiffinfo probe;
    std::vector<uint8_t> data;

private:
    bool take(const ovin::status& read, const std::string& name);
};

class classicjpeg : public ovin::jpeginfo {
public:
    bool readfile(const std::string& file);
    bool read(ovin::bytesource& source, const std::string& name);
    int ioerror = 0;
    bool showmessage = false;
};

// The classic reading of a bitmap: its facts, and the pixels (rows top
// first, 1-bit rows packed, else R,G,B) of `datasize` bytes.
class classicbmp : public ovin::classicbmpfacts {
public:
    bool readfile(const std::string& file);
    bool read(ovin::bytesource& source, const std::string& name);
    bool haserror() const { return !errortext.empty(); }
    const std::string& geterrortext() const { return errortext; }
    void copypixels(uint8_t* buffer) const { std::copy(data.begin(), data.end(), buffer); }

    bool readdata = true;
    std::string errortext;
    int ioerror = 0;
    uint32_t datasize = 0;
    std::vector<uint8_t> data;

private:
    bool take(const ovin::status& read, const std::string& name);
};

} // namespace ovintest
