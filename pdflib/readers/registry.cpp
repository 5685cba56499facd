#include "readers/registry.h"

#include "readers/bytesource.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>

namespace ovin {

namespace {

constexpr std::array<imageformat, 6> kFormats{{
    {imagekind::tiff, probetiffpage, probetiffdocpage},
    {imagekind::jpeg, probejpegpage, probejpegdocpage},
    {imagekind::bmp, probebmppage, probebmpdocpage},
    {imagekind::png, nullptr, probepngpage},
    {imagekind::pnm, nullptr, probepnmpage},
    {imagekind::jp2, nullptr, probejp2page},
}};

} // namespace

const imageformat* findformat(imagekind kind) {
    for (const imageformat& format : kFormats) {
        if (format.kind == kind) {
            return &format;
        }
    }
    return nullptr;
}

probefunction findprobe(imagekind kind, const documentoptions& options) {
    const imageformat* format = findformat(kind);
    if (format == nullptr) {
        return nullptr;
    }
    return options.documentface && format->document != nullptr ? format->document : format->classic;
}

status probefailure(int ioerror, const std::string& text) {
    if (ioerror != 0) {
        return {OVINPDF_IO_ERROR, std::to_string(ioerror)};
    }
    return {OVINPDF_IMAGE_ERROR, text};
}

status readwholefile(const std::string& name, int64_t size, std::vector<uint8_t>& data) {
    if (size < 0 || size > std::numeric_limits<uint32_t>::max()) {
        return {OVINPDF_IO_ERROR, std::to_string(EFBIG)};
    }
    filesource source;
    if (const int error = source.open(name); error != 0) {
        return {OVINPDF_IO_ERROR, std::to_string(error)};
    }
    if (source.size() != static_cast<uint64_t>(size)) {
        return {OVINPDF_IO_ERROR, std::to_string(kShortRead)}; // the file changed under us
    }
    data.resize(static_cast<size_t>(size));
    bytereader reader(source);
    if (!reader.read(data.data(), data.size())) {
        return {OVINPDF_IO_ERROR, std::to_string(reader.error())};
    }
    return {};
}

int32_t clamppixels(uint32_t value) {
    return static_cast<int32_t>(std::min<uint32_t>(value, std::numeric_limits<int32_t>::max()));
}

} // namespace ovin
