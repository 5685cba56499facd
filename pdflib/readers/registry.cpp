#include "readers/registry.h"

#include "readers/bmp.h"
#include "readers/gif.h"
#include "readers/heif.h"
#include "readers/jp2.h"
#include "readers/jpeg.h"
#include "readers/jxl.h"
#include "readers/png.h"
#include "readers/pnm.h"
#include "readers/tiff/tiffpage.h"
#include "readers/webp.h"

#include <algorithm>
#include <array>
#include <limits>

namespace ovin {

namespace {

struct reader {
    imagekind kind;
    readfunction read;
};

const std::array<reader, 10> kReaders{{
    {imagekind::tiff,
     [](const readrequest& r, imagedesc& out) {
         std::vector<uint64_t> none;
         return readtiffdocpage(r.source, r.shown, r.page, r.mode,
                                r.directories != nullptr ? *r.directories : none, out,
                                r.decodephotos);
     }},
    {imagekind::jpeg,
     [](const readrequest& r, imagedesc& out) {
         return readjpegdocument(r.source, r.shown, r.mode, out);
     }},
    {imagekind::bmp,
     [](const readrequest& r, imagedesc& out) {
         return readbmpdocument(r.source, r.shown, r.mode, out);
     }},
    {imagekind::png,
     [](const readrequest& r, imagedesc& out) {
         return readpngpage(r.source, r.shown, r.mode, out, r.decodephotos);
     }},
    {imagekind::pnm,
     [](const readrequest& r, imagedesc& out) {
         return readpnmpage(r.source, r.shown, r.page, r.mode, out);
     }},
    {imagekind::jp2, [](const readrequest& r,
                        imagedesc& out) { return readjp2page(r.source, r.shown, r.mode, out); }},
    {imagekind::heif, [](const readrequest& r,
                         imagedesc& out) { return readheifpage(r.source, r.shown, r.mode, out); }},
    {imagekind::jxl, [](const readrequest& r,
                        imagedesc& out) { return readjxlpage(r.source, r.shown, r.mode, out); }},
    {imagekind::webp, readwebppage},
    {imagekind::gif, readgifpage},
}};

} // namespace

readfunction findreader(imagekind kind) {
    for (const reader& r : kReaders) {
        if (r.kind == kind) {
            return r.read;
        }
    }
    return nullptr;
}

int32_t clamppixels(uint32_t value) {
    return static_cast<int32_t>(std::min<uint32_t>(value, std::numeric_limits<int32_t>::max()));
}

} // namespace ovin
