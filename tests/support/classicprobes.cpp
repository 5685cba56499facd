#include "classicprobes.h"

#include "faces/classic/messages.h"

#include <cstdlib>

namespace ovintest {

namespace {

// The classic probes' error state from a reader's result: an I/O failure
// as its number and the classic text, any other failure as its text.
bool tellerror(const ovin::status& read, const std::string& name, int& ioerror,
               std::string& errortext) {
    errortext.clear();
    ioerror = 0;
    if (read.code() == OVINPDF_IO_ERROR) {
        ioerror = std::atoi(read.detail().c_str());
        errortext = "I/O Error " + read.detail() + " while reading " + name;
    } else if (!read.ok()) {
        errortext = read.detail();
    }
    return read.ok();
}

} // namespace

bool classictiff::take(const ovin::status& read, const std::string& name) {
    const ovin::tifftags& t = probe.tags;
    width = t.width;
    height = t.height;
    xres = probe.xres();
    yres = probe.yres();
    pagecount = probe.pagecount;
    compression = t.compression;
    samplesperpixel = t.samplesperpixel;
    planarconfig = t.planarconfig;
    fillorder = static_cast<int16_t>(t.fillorder);
    rowsperstrip = ovin::classicrowsperstrip(t);
    t4options = t.t4options;
    colormap = t.colormap;
    return tellerror(read, name, ioerror, errortext);
}

bool classictiff::readfile(const std::string& file, uint32_t page) {
    const auto mode = readdata ? ovin::imagedata::read : ovin::imagedata::skip;
    return take(ovin::readclassictiff(file, page, mode, nullptr, probe, data), file);
}

bool classictiff::read(ovin::bytesource& source, const std::string& name, uint32_t page) {
    const auto mode = readdata ? ovin::imagedata::read : ovin::imagedata::skip;
    return take(ovin::readclassictiff(source, name, page, mode, nullptr, probe, data), name);
}

bool classicjpeg::readfile(const std::string& file) {
    *this = classicjpeg{};
    const ovin::status read = ovin::classicjpegheader(file, *this, showmessage);
    return tellerror(read, file, ioerror, errortext);
}

bool classicjpeg::read(ovin::bytesource& source, const std::string& name) {
    *this = classicjpeg{};
    const bool ok = ovin::jpeginfo::read(source, name);
    if (why) {
        ioerror = ovin::classicnumber(why);
        errortext = "I/O Error " + std::to_string(ioerror) + " while reading " + name;
    }
    return ok;
}

bool classicbmp::take(const ovin::status& read, const std::string& name) {
    datasize = static_cast<uint32_t>(data.size());
    return tellerror(read, name, ioerror, errortext);
}

bool classicbmp::readfile(const std::string& file) {
    const auto mode = readdata ? ovin::imagedata::read : ovin::imagedata::skip;
    return take(ovin::readclassicbmp(file, mode, *this, data), file);
}

bool classicbmp::read(ovin::bytesource& source, const std::string& name) {
    const auto mode = readdata ? ovin::imagedata::read : ovin::imagedata::skip;
    return take(ovin::readclassicbmp(source, name, mode, *this, data), name);
}

} // namespace ovintest
