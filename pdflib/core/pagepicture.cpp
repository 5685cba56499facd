#include "core/pagepicture.h"

#include "compression/inflate.h"

#include "core/jp2picture.h"
#include "core/prepare.h"
#include "readers/decoded.h"

#include "jpegglue.h"
#include "rows.h"
#include "scale.h"
#include "source.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace ovin {

namespace {

using imaging::Bitmap;

// A page's description with its file, as adding finds them.
struct openedpage {
    identified file;
    std::string name;
    imagedesc desc;
};

status openpage(Library& library, std::string_view filename, uint32_t page, warninglist& warnings,
                const documentoptions& options, imagedata mode, openedpage& out) {
    const facepolicy& face = library.face();
    out.name = std::string(filename);
    if (!face.validname(out.name)) {
        return {OVINPDF_INVALID_NAME, out.name};
    }
    if (status found = face.identify(out.name, out.file); !found.ok()) {
        return found;
    }
    readcontext context{library.ui(), warnings, options, 0, 0};
    return readimage(face, context, out.file.kind, out.name, out.file.source.get(), page, mode,
                     out.desc);
}

status pagebeyond(const Library& library, const std::string& name, uint32_t count, uint32_t page) {
    return {OVINPDF_IMAGE_ERROR, library.face().shown(name) + " has " + std::to_string(count) +
                                     (count == 1 ? " page" : " pages") + ", not " +
                                     std::to_string(page)};
}

status undrawable(const Library& library, const std::string& name, const std::string& why) {
    return {OVINPDF_IMAGE_ERROR, library.face().shown(name) + ": " + why};
}

// ---- JPEG, decoded at the smallest scale that still gives `maxside` ----

status jpegpicture(const Library& library, const openedpage& page, uint32_t maxside, Bitmap& out) {
    std::vector<uint8_t> bytes;
    const std::string shown = library.face().shown(page.name);
    if (status read = readwhole(*page.file.source, "JPEG", shown, bytes); !read.ok()) {
        return read;
    }
    imaging::JpegErrorManager err{};
    jpeg_decompress_struct cinfo{};
    // Made before the jump target, as a failure jumps back over anything
    // made after it.
    std::vector<uint8_t> line;
    Bitmap bitmap;
    cinfo.err = imaging::quietErrorManager(err);
    const auto finish = [&cinfo] { jpeg_destroy_decompress(&cinfo); };
    if (setjmp(err.jump) != 0) {
        finish();
        return undrawable(library, page.name,
                          std::string("its JPEG data cannot be decoded (") + err.lastMessage + ")");
    }
    jpeg_create_decompress(&cinfo);
    imaging::limitMemory(reinterpret_cast<j_common_ptr>(&cinfo));
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    const JDIMENSION longer = std::max(cinfo.image_width, cinfo.image_height);
    unsigned denom = 8;
    while (denom > 1 && longer / denom < maxside) {
        denom /= 2;
    }
    cinfo.scale_num = 1;
    cinfo.scale_denom = denom;
    const bool cmyk = cinfo.num_components == 4;
    cinfo.out_color_space = cinfo.num_components == 1 ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const auto width = static_cast<int32_t>(cinfo.output_width);
    const auto height = static_cast<int32_t>(cinfo.output_height);
    const int components = cinfo.output_components;
    if (!imaging::bitmapFits(width, height, 24)) {
        finish();
        return undrawable(library, page.name, "its picture is too large to show");
    }
    bitmap = *imaging::makeBitmap(width, height, 24, imaging::kPhotometricRgb);
    line.resize(static_cast<size_t>(width) * static_cast<size_t>(components));
    // The Adobe marker says the CMYK samples are stored inverted.
    const bool inverted = cmyk && cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const auto y = static_cast<int32_t>(cinfo.output_scanline);
        JSAMPROW row = line.data();
        jpeg_read_scanlines(&cinfo, &row, 1);
        uint8_t* to = bitmap.row(y);
        for (size_t x = 0; x < static_cast<size_t>(width); ++x) {
            const uint8_t* s = line.data() + x * static_cast<size_t>(components);
            if (components == 1) {
                to[3 * x] = to[3 * x + 1] = to[3 * x + 2] = s[0];
            } else if (cmyk) {
                const unsigned k = inverted ? s[3] : 255U - s[3];
                for (size_t c = 0; c < 3; ++c) {
                    const unsigned v = inverted ? s[c] : 255U - s[c];
                    to[3 * x + c] = static_cast<uint8_t>(v * k / 255U);
                }
            } else {
                std::copy(s, s + 3, to + 3 * x);
            }
        }
    }
    // A warning is data that ends early or is damaged: the page would be
    // drawn in part.
    const bool damaged = cinfo.err->num_warnings > 0;
    jpeg_finish_decompress(&cinfo);
    finish();
    if (damaged) {
        return undrawable(library, page.name,
                          std::string("its JPEG data is damaged or ends early (") +
                              err.lastMessage + ")");
    }
    out = std::move(bitmap);
    return {};
}

// ---- TIFF and BMP, through the imaging library's decoders ----

// The page's rows, read one at a time and averaged in blocks of whole
// pixels, so that a large scan never lies decoded in memory whole: the
// result is the smallest block reduction still at least `maxside` at its
// longer side.
status imagingpicture(const Library& library, const openedpage& page, uint32_t number,
                      uint32_t maxside, Bitmap& out) {
    std::unique_ptr<imaging::ImageSource> source = imaging::openImageFile(page.name.c_str());
    std::unique_ptr<imaging::RowSource> rows;
    if (source && source->selectPage(static_cast<int32_t>(number) - 1)) {
        rows = source->rows();
    }
    if (!rows || !rows->rewind()) {
        return undrawable(library, page.name,
                          "page " + std::to_string(number) + " cannot be decoded for showing");
    }
    const imaging::PageFormat& format = rows->format();
    const auto width = static_cast<uint32_t>(format.width);
    const auto height = static_cast<uint32_t>(format.height);
    const uint32_t block = std::max<uint32_t>(1, std::max(width, height) / maxside);
    const uint32_t outwidth = (width + block - 1) / block;
    const uint32_t outheight = (height + block - 1) / block;
    std::optional<Bitmap> reduced =
        imaging::makeBitmap(outwidth, outheight, 24, imaging::kPhotometricRgb);
    if (!reduced) {
        return undrawable(library, page.name, "its picture is too large to show");
    }
    // A bilevel page without a palette: a set bit is black where the
    // photometric says white is zero, else white.
    const bool bilevel = format.bits == 1 && !format.hasPalette();
    const uint32_t setlevel = format.photometric == imaging::kPhotometricMinIsWhite ? 0 : 255;
    std::vector<uint8_t> line(3 * size_t{width});
    std::vector<uint32_t> sums(3 * size_t{outwidth});
    std::vector<uint32_t> counts(outwidth);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = rows->next();
        if (row == nullptr) {
            return undrawable(library, page.name,
                              "page " + std::to_string(number) + " cannot be decoded for showing");
        }
        if (bilevel) {
            // Set pixels counted a byte at a time where its eight pixels
            // fall in one block (nearly always, and white paper is most
            // of a scan), in the red sum; the levels follow at the end.
            for (uint32_t x = 0; x < width; x += 8) {
                const uint32_t end = std::min(x + 8, width);
                const auto byte = static_cast<unsigned>(row[x / 8] & (0xFFu << (8 - (end - x))));
                if (x / block == (end - 1) / block) {
                    sums[3 * size_t{x / block}] += static_cast<uint32_t>(std::popcount(byte));
                    counts[x / block] += end - x;
                    continue;
                }
                for (uint32_t i = x; i < end; ++i) {
                    sums[3 * size_t{i / block}] += (byte >> (7 - (i - x))) & 1U;
                    ++counts[i / block];
                }
            }
        } else {
            imaging::rowToRgb(format, row, line.data());
            for (uint32_t x = 0; x < width; ++x) {
                const size_t cell = x / block;
                for (size_t c = 0; c < 3; ++c) {
                    sums[3 * cell + c] += line[3 * size_t{x} + c];
                }
                ++counts[cell];
            }
        }
        if ((y + 1) % block == 0 || y + 1 == height) {
            uint8_t* to = reduced->row(static_cast<int32_t>(y / block));
            for (size_t i = 0; i < sums.size(); ++i) {
                const uint32_t count = std::max<uint32_t>(1, counts[i / 3]);
                if (bilevel) {
                    // Set pixels at the set level, the others at the clear one.
                    const uint32_t ones = sums[i - i % 3];
                    to[i] = static_cast<uint8_t>(
                        (ones * setlevel + (count - ones) * (255U - setlevel)) / count);
                } else {
                    to[i] = static_cast<uint8_t>(sums[i] / count);
                }
            }
            std::fill(sums.begin(), sums.end(), 0);
            std::fill(counts.begin(), counts.end(), 0);
        }
    }
    out = std::move(*reduced);
    return {};
}

// ---- the other kinds: the reader's decoded samples ----

// One sample of `bits` bits (1 to 16) at index i of a packed row, scaled
// to 8 bits.
uint8_t sampleat(const uint8_t* row, size_t i, unsigned bits) {
    if (bits == 8) {
        return row[i];
    }
    if (bits == 16) {
        return row[2 * i];
    }
    const size_t bit = i * bits;
    const unsigned value = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1U << bits) - 1U);
    return static_cast<uint8_t>(value * 255U / ((1U << bits) - 1U));
}

status samplespicture(const Library& library, const openedpage& page, Bitmap& out) {
    const imagedesc& d = page.desc;
    const unsigned bits = d.bitspercomponent;
    const size_t colours = static_cast<size_t>(components(d.colour));
    const auto width = static_cast<size_t>(d.width);
    const auto height = static_cast<size_t>(d.height);
    if (d.colour == colourspace::none ||
        (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)) {
        return undrawable(library, page.name, "its picture is of a kind that cannot be shown");
    }
    const size_t rowbytes = (width * colours * bits + 7) / 8;
    std::vector<uint8_t> samples;
    if (d.filter == pdffilter::none && !d.stored.file) {
        samples = d.data;
    } else if (d.filter == pdffilter::flate && !d.stored.file) {
        if (!inflaterows(d.data, rowbytes, height, std::max<size_t>(1, colours * bits / 8),
                         d.predictor.predictor >= 10, samples)) {
            return undrawable(library, page.name, "its compressed picture data is damaged");
        }
    } else {
        return undrawable(library, page.name, "its picture is of a kind that cannot be shown");
    }
    if (samples.size() < rowbytes * height) {
        return undrawable(library, page.name, "its picture data ends early");
    }
    std::optional<Bitmap> bitmap =
        imaging::makeBitmap(d.width, d.height, 24, imaging::kPhotometricRgb);
    if (!bitmap) {
        return undrawable(library, page.name, "its picture is too large to show");
    }
    const size_t entries = d.palette.size() / 3;
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* row = samples.data() + y * rowbytes;
        uint8_t* to = bitmap->row(static_cast<int32_t>(y));
        for (size_t x = 0; x < width; ++x) {
            uint8_t* px = to + 3 * x;
            if (d.colour == colourspace::indexed) {
                const size_t index =
                    bits == 8
                        ? row[x]
                        : (row[x * bits / 8] >> (8 - bits - (x * bits) % 8)) & ((1U << bits) - 1U);
                for (size_t c = 0; c < 3; ++c) {
                    px[c] = index < entries ? d.palette[3 * index + c] : 0;
                }
                continue;
            }
            uint8_t v[4] = {};
            for (size_t c = 0; c < colours; ++c) {
                v[c] = sampleat(row, x * colours + c, bits);
                if (d.decodeinverted) {
                    v[c] = static_cast<uint8_t>(255 - v[c]);
                }
            }
            if (colours == 1) {
                px[0] = px[1] = px[2] = v[0];
            } else if (colours == 3) {
                std::copy(v, v + 3, px);
            } else {
                for (size_t c = 0; c < 3; ++c) {
                    px[c] = static_cast<uint8_t>((255U - v[c]) * (255U - v[3]) / 255U);
                }
            }
        }
    }
    out = std::move(*bitmap);
    return {};
}

// The stored picture turned as `upright` says (the EXIF numbering).
picture turned(const Bitmap& rgb, orientation upright) {
    // Where a shown pixel (x, y) comes from, for orientations 1 to 8: x and
    // y swapped first, then either counted from the far edge.
    struct source {
        bool swap, mirrorx, mirrory;
    };
    static constexpr std::array<source, 8> kSources{{
        {false, false, false},
        {false, true, false},
        {false, true, true},
        {false, false, true},
        {true, false, false},
        {true, false, true},
        {true, true, true},
        {true, true, false},
    }};
    const int o = static_cast<int>(upright);
    const source from = kSources[o >= 1 && o <= 8 ? static_cast<size_t>(o - 1) : 0];
    picture out;
    out.width = from.swap ? rgb.height : rgb.width;
    out.height = from.swap ? rgb.width : rgb.height;
    out.rgb.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 3);
    uint8_t* to = out.rgb.data();
    for (int32_t y = 0; y < out.height; ++y) {
        for (int32_t x = 0; x < out.width; ++x, to += 3) {
            int32_t sx = from.swap ? y : x;
            int32_t sy = from.swap ? x : y;
            sx = from.mirrorx ? rgb.width - 1 - sx : sx;
            sy = from.mirrory ? rgb.height - 1 - sy : sy;
            const uint8_t* px = rgb.row(sy) + 3 * static_cast<size_t>(sx);
            std::copy(px, px + 3, to);
        }
    }
    return out;
}

} // namespace

int32_t checkimagefile(Library& library, std::string_view filename, uint32_t& pages) {
    pages = 0;
    warninglist warnings;
    openedpage first;
    if (status read =
            openpage(library, filename, 1, warnings, library.options(), imagedata::read, first);
        !read.ok()) {
        return library.report(read);
    }
    // A JPEG is embedded as it is: only decoding it finds data that is
    // damaged or ends early. At the smallest scale that costs little.
    if (first.file.kind == imagekind::jpeg) {
        Bitmap decoded;
        if (status drawn = jpegpicture(library, first, 1, decoded); !drawn.ok()) {
            return library.report(drawn);
        }
    }
    const uint32_t count = first.desc.pagesinfile == 0 ? 1 : first.desc.pagesinfile;
    for (uint32_t p = 2; p <= count; ++p) {
        openedpage next;
        if (status read =
                openpage(library, filename, p, warnings, library.options(), imagedata::read, next);
            !read.ok()) {
            return library.report(read);
        }
    }
    pages = count;
    return OVINPDF_OK;
}

int32_t pagepicture(Library& library, std::string_view filename, uint32_t page, uint32_t maxside,
                    picture& out) {
    out = {};
    if (page == 0 || maxside == 0) {
        return library.report({OVINPDF_INVALID_ARGUMENT, std::string(filename)});
    }
    warninglist warnings;
    // Photos decoded rather than kept as stored, so that their samples can
    // be drawn.
    documentoptions options = library.options();
    options.jpegquality = 90;
    openedpage opened;
    if (status read = openpage(library, filename, page, warnings, options, imagedata::skip, opened);
        !read.ok()) {
        return library.report(read);
    }
    const uint32_t count = opened.desc.pagesinfile == 0 ? 1 : opened.desc.pagesinfile;
    if (page > count) {
        return library.report(pagebeyond(library, opened.name, count, page));
    }
    Bitmap full;
    status drawn;
    switch (opened.file.kind) {
    case imagekind::jpeg:
        drawn = jpegpicture(library, opened, maxside, full);
        break;
    case imagekind::tiff:
    case imagekind::bmp:
        drawn = imagingpicture(library, opened, page, maxside, full);
        break;
    case imagekind::jp2:
        drawn = jp2picture(opened.name, library.face().shown(opened.name), maxside, full);
        break;
    default: {
        const orientation upright = opened.desc.upright;
        opened.desc.reset();
        readcontext context{library.ui(), warnings, options, 0, 0};
        drawn = readimage(library.face(), context, opened.file.kind, opened.name,
                          opened.file.source.get(), page, imagedata::read, opened.desc);
        opened.desc.upright = upright;
        if (drawn.ok()) {
            drawn = samplespicture(library, opened, full);
        }
        break;
    }
    }
    if (!drawn.ok()) {
        return library.report(drawn);
    }
    const int32_t longer = std::max(full.width, full.height);
    Bitmap reduced;
    if (longer > static_cast<int64_t>(maxside) || full.bits != 24 || full.hasPalette()) {
        const double factor = std::min(1.0, static_cast<double>(maxside) / longer);
        const auto w = std::max(1, static_cast<int32_t>(full.width * factor + 0.5));
        const auto h = std::max(1, static_cast<int32_t>(full.height * factor + 0.5));
        std::optional<Bitmap> scaled = imaging::scaleToRgb(full, w, h);
        if (!scaled) {
            return library.report(
                undrawable(library, opened.name, "its picture cannot be reduced"));
        }
        reduced = std::move(*scaled);
    } else {
        reduced = std::move(full);
    }
    out = turned(reduced, library.options().autoorient ? opened.desc.upright : orientation::normal);
    return OVINPDF_OK;
}

} // namespace ovin
