// JPEG pages of the classic face: the whole file is embedded as it is
// (DCTDecode), sized by its frame header, at its JFIF resolution.
#include "faces/classic/messages.h"
#include "faces/classic/pages.h"
#include "readers/bytesource.h"

#include <cerrno>
#include <limits>

namespace ovin {

status classicjpegheader(const std::string& name, jpeginfo& header, bool& showmessage) {
    showmessage = false;
    if (!fileexists(name)) {
        showmessage = true;
        return {OVINPDF_IMAGE_ERROR, "Error - JPEG Image " + name + " does not exist"};
    }
    filesource source;
    if (const int code = source.open(name); code != 0) {
        showmessage = true;
        return {OVINPDF_IMAGE_ERROR,
                "Access to " + name + " is denied - error " + std::to_string(code)};
    }
    if (!header.read(source, name)) {
        return header.why ? classicioerror(header.why)
                          : status(OVINPDF_IMAGE_ERROR, header.errortext);
    }
    return {};
}

status readwholefile(const std::string& name, int64_t size, std::vector<uint8_t>& data) {
    if (size < 0 || size > std::numeric_limits<uint32_t>::max()) {
        return classicioerror(fault::system(EFBIG));
    }
    filesource source;
    if (const int error = source.open(name); error != 0) {
        return classicioerror(fault::system(error));
    }
    if (source.size() != static_cast<uint64_t>(size)) {
        return classicioerror(fault::truncated()); // the file changed under us
    }
    data.resize(static_cast<size_t>(size));
    bytereader reader(source);
    if (!reader.read(data.data(), data.size())) {
        return classicioerror(reader.why());
    }
    return {};
}

status classicjpegpage(const std::string& name, imagedata mode, readcontext& context,
                       imagedesc& out) {
    jpeginfo probe;
    bool showmessage = false;
    if (status read = classicjpegheader(name, probe, showmessage); !read.ok()) {
        if (showmessage) {
            context.ui.message(read.detail());
        }
        return read;
    }
    describejpeg(probe, out);
    out.xdpi = probe.xdensity;
    out.ydpi = probe.ydensity;
    if (mode == imagedata::skip) {
        if (probe.filesize > std::numeric_limits<uint32_t>::max()) {
            return classicioerror(fault::system(EFBIG));
        }
        out.data.clear();
        return {};
    }
    return readwholefile(name, probe.filesize, out.data);
}

} // namespace ovin
