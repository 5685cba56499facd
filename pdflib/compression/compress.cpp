#include "compression/compress.h"

#include "readers/tiff/tiffstream.h"

#include "jpegglue.h"

#include <libdeflate.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <emmintrin.h>
#include <memory>

// A function built for several processors, the best chosen when the library
// loads (an indirect function). ThreadSanitizer's runtime is not ready when
// such choices run, so its builds take the plain one.
#if defined(__SANITIZE_THREAD__)
#define OVIN_CLONES(...)
#else
#define OVIN_CLONES(...) __attribute__((target_clones(__VA_ARGS__)))
#endif

namespace ovin {

namespace {

// ---- PNG predictors -------------------------------------------------------

// The byte's absolute value as a signed byte (at most 128).
uint8_t magnitude(uint8_t b) {
    return std::min<uint8_t>(b, static_cast<uint8_t>(-b));
}

uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Byte i of a row filtered with PNG filter `type` (0 None, 1 Sub, 2 Up,
// 3 Average, 4 Paeth); bytes left of the row count as 0.
uint8_t filtered(int type, const uint8_t* x, const uint8_t* up, size_t i, size_t bpp) {
    const uint8_t a = i >= bpp ? x[i - bpp] : 0;
    const uint8_t b = up[i];
    const uint8_t c = i >= bpp ? up[i - bpp] : 0;
    switch (type) {
    case 1:
        return static_cast<uint8_t>(x[i] - a);
    case 2:
        return static_cast<uint8_t>(x[i] - b);
    case 3:
        return static_cast<uint8_t>(x[i] - ((a + b) >> 1));
    case 4:
        return static_cast<uint8_t>(x[i] - paeth(a, b, c));
    default:
        return x[i];
    }
}

// The Paeth predictors of eight pixels' bytes widened to 16 bits: a, b or
// c, whichever is nearest to a + b - c, in that order on a tie.
__attribute__((always_inline)) inline __m128i paeth8(__m128i a, __m128i b, __m128i c) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i p = _mm_sub_epi16(b, c);
    const __m128i q = _mm_sub_epi16(a, c);
    const __m128i r = _mm_add_epi16(p, q);
    const __m128i pa = _mm_max_epi16(p, _mm_sub_epi16(zero, p));
    const __m128i pb = _mm_max_epi16(q, _mm_sub_epi16(zero, q));
    const __m128i pc = _mm_max_epi16(r, _mm_sub_epi16(zero, r));
    const __m128i notb = _mm_cmpgt_epi16(pb, pc);
    const __m128i bc = _mm_or_si128(_mm_and_si128(notb, c), _mm_andnot_si128(notb, b));
    const __m128i nota = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    return _mm_or_si128(_mm_and_si128(nota, bc), _mm_andnot_si128(nota, a));
}

// The row `x` (after the row `up`) through all five filters at once into
// out[0] to out[4], with the adaptive measure of each into sums. Sixteen
// bytes a step: the average rounded down from the rounding-up one, Paeth
// in 16 bits, the measures summed by psadbw. Built for AVX2 and for plain
// x86-64, chosen when the program starts.
OVIN_CLONES("avx2", "default")
void allfilters(const uint8_t* x, const uint8_t* up, size_t n, size_t bpp,
                const std::array<uint8_t*, 5>& out, std::array<uint64_t, 5>& sums) {
    sums = {};
    const auto one = [&](size_t i) {
        for (size_t t = 0; t < 5; ++t) {
            const uint8_t f = filtered(static_cast<int>(t), x, up, i, bpp);
            out[t][i] = f;
            sums[t] += magnitude(f);
        }
    };
    size_t i = 0;
    for (; i < bpp && i < n; ++i) {
        one(i);
    }
    const auto load = [](const uint8_t* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    const __m128i zero = _mm_setzero_si128();
    const __m128i lowbits = _mm_set1_epi8(1);
    __m128i totals[5] = {zero, zero, zero, zero, zero};
    for (; i + 16 <= n; i += 16) {
        const __m128i xv = load(x + i);
        const __m128i av = load(x + i - bpp);
        const __m128i bv = load(up + i);
        const __m128i cv = load(up + i - bpp);
        const __m128i average =
            _mm_sub_epi8(_mm_avg_epu8(av, bv), _mm_and_si128(_mm_xor_si128(av, bv), lowbits));
        const __m128i predicted =
            _mm_packus_epi16(paeth8(_mm_unpacklo_epi8(av, zero), _mm_unpacklo_epi8(bv, zero),
                                    _mm_unpacklo_epi8(cv, zero)),
                             paeth8(_mm_unpackhi_epi8(av, zero), _mm_unpackhi_epi8(bv, zero),
                                    _mm_unpackhi_epi8(cv, zero)));
        const __m128i f[5] = {xv, _mm_sub_epi8(xv, av), _mm_sub_epi8(xv, bv),
                              _mm_sub_epi8(xv, average), _mm_sub_epi8(xv, predicted)};
        for (size_t t = 0; t < 5; ++t) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out[t] + i), f[t]);
            // The magnitude of each byte taken as signed, summed.
            const __m128i m = _mm_min_epu8(f[t], _mm_sub_epi8(zero, f[t]));
            totals[t] = _mm_add_epi64(totals[t], _mm_sad_epu8(m, zero));
        }
    }
    for (size_t t = 0; t < 5; ++t) {
        sums[t] +=
            static_cast<uint64_t>(_mm_cvtsi128_si64(totals[t])) +
            static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(totals[t], totals[t])));
    }
    for (; i < n; ++i) {
        one(i);
    }
}

// PNG-predicts `count` rows of `raw` from row `first` on, appending each
// row's filter type byte and filtered bytes to `out`; a row above the first
// of the image counts as zeros.
void predictrows(std::span<const uint8_t> raw, size_t rowbytes, size_t bpp, rowfilter how,
                 size_t first, size_t count, std::vector<uint8_t>& out) {
    const std::vector<uint8_t> zeros(rowbytes, 0);
    std::vector<uint8_t> scratch(how == rowfilter::adaptive ? 5 * rowbytes : 0);
    std::array<uint8_t*, 5> candidates{};
    for (size_t t = 0; t < candidates.size() && how == rowfilter::adaptive; ++t) {
        candidates[t] = scratch.data() + t * rowbytes;
    }
    std::array<uint64_t, 5> sums{};
    size_t at = out.size();
    out.resize(at + count * (rowbytes + 1));
    for (size_t r = first; r < first + count; ++r, at += rowbytes + 1) {
        const uint8_t* x = raw.data() + r * rowbytes;
        const uint8_t* up = r == 0 ? zeros.data() : x - rowbytes;
        uint8_t* to = out.data() + at;
        if (how == rowfilter::none) {
            to[0] = 0;
            std::memcpy(to + 1, x, rowbytes);
        } else if (how == rowfilter::up) {
            to[0] = 2;
            std::transform(x, x + rowbytes, up, to + 1,
                           [](uint8_t v, uint8_t u) { return static_cast<uint8_t>(v - u); });
        } else {
            allfilters(x, up, rowbytes, bpp, candidates, sums);
            const size_t best =
                static_cast<size_t>(std::min_element(sums.begin(), sums.end()) - sums.begin());
            to[0] = static_cast<uint8_t>(best);
            std::memcpy(to + 1, candidates[best], rowbytes);
        }
    }
}

} // namespace

void pngpredict(std::span<const uint8_t> raw, size_t rowbytes, size_t pixelbytes, rowfilter how,
                std::vector<uint8_t>& out) {
    out.clear();
    if (rowbytes != 0) {
        predictrows(raw, rowbytes, std::max<size_t>(pixelbytes, 1), how, 0, raw.size() / rowbytes,
                    out);
    }
}

bool zlibencode(std::span<const uint8_t> bytes, int level, std::vector<uint8_t>& out,
                size_t limit) {
    const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(level), libdeflate_free_compressor);
    if (!compressor) {
        return false;
    }
    // Room for the worst case, left uninitialised: the data mostly takes a
    // small part of it, and the rest is never touched.
    const size_t room =
        std::min(libdeflate_zlib_compress_bound(compressor.get(), bytes.size()), limit);
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(room);
    const size_t size =
        libdeflate_zlib_compress(compressor.get(), bytes.data(), bytes.size(), buffer.get(), room);
    out.assign(buffer.get(), buffer.get() + size);
    return size != 0;
}

bool group4encode(std::span<const uint8_t> bits, uint32_t width, uint32_t height, bool inverted,
                  std::vector<uint8_t>& out, size_t limit) {
    out.clear();
    const size_t rowbytes = (size_t{width} + 7) / 8;
    if (width == 0 || height == 0 || bits.size() / rowbytes < height) {
        return false;
    }
    // The header comes first; the strip follows it and may take `limit`.
    std::vector<uint8_t> file;
    tiffstream stream(file, limit > UINT64_MAX - 16 ? UINT64_MAX : limit + 16);
    TIFF* t = stream.handle();
    if (t == nullptr) {
        return false;
    }
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
    // Coded data goes out in pieces small against the limit, so that
    // passing it stops the coding early.
    TIFFWriteBufferSetup(t, nullptr,
                         static_cast<tmsize_t>(std::clamp<size_t>(limit / 16, 4096, 65536)));
    std::vector<uint8_t> row(rowbytes);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* from = bits.data() + size_t{y} * rowbytes;
        if (inverted) {
            std::transform(from, from + rowbytes, row.begin(),
                           [](uint8_t b) { return static_cast<uint8_t>(~b); });
        } else {
            std::memcpy(row.data(), from, rowbytes);
        }
        // libtiff goes on after a refused write; the coding stops here.
        if (TIFFWriteScanline(t, row.data(), y, 0) < 0 || stream.overflowed()) {
            return false;
        }
    }
    if (TIFFFlushData(t) == 0 || stream.overflowed()) {
        return false;
    }
    const uint64_t offset = TIFFGetStrileOffset(t, 0);
    const uint64_t count = TIFFGetStrileByteCount(t, 0);
    if (count == 0 || count > limit || offset > file.size() || count > file.size() - offset) {
        return false;
    }
    out.assign(file.begin() + static_cast<ptrdiff_t>(offset),
               file.begin() + static_cast<ptrdiff_t>(offset + count));
    // The directory that closing writes is not wanted.
    stream.unlimit();
    return true;
}

bool jpegencode(std::span<const uint8_t> samples, uint32_t width, uint32_t height, int components,
                int quality, std::vector<uint8_t>& out) {
    if ((components != 1 && components != 3) || width == 0 || height == 0 ||
        width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION ||
        samples.size() / (size_t{width} * components) < height) {
        return false;
    }
    jpeg_compress_struct cinfo{};
    imaging::JpegErrorManager errors{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    cinfo.err = imaging::quietErrorManager(errors);
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(quality, 1, 100), TRUE);
    cinfo.optimize_coding = TRUE;
    // The image dictionary says all a JFIF segment would.
    cinfo.write_JFIF_header = FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = size_t{width} * components;
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg does not write through its row pointers.
        auto* row = const_cast<JSAMPLE*>(samples.data() + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    try {
        out.assign(buffer, buffer + size);
    } catch (...) {
        std::free(buffer);
        throw;
    }
    std::free(buffer);
    return true;
}

namespace {

// libdeflate's levels for LZ77 coding, as measured on the benchmark's
// pages (bench/compression.cpp): samples as they are (bilevel pages,
// synthetic pictures) come out smaller and faster at level 4 than at 6,
// predicted samples smaller at 6.
constexpr int kPlainLevel = 4;
constexpr int kPredictedLevel = 6;
// Predicted samples are coded at libdeflate's fastest level instead where
// the trial finds it at most this much larger than kPredictedLevel: smooth
// scans (grey palette pages, most photographs) lose a percent or two at
// level 1 and take a third of the time.
constexpr int kFastLevel = 1;
constexpr double kFastMargin = 1.02;
// The trial that chooses the coding of continuous-tone samples: at most
// this many bands of this many rows, spread over the page.
constexpr size_t kTrialBands = 4;
constexpr size_t kTrialRows = 32;
// How much smaller one coding of a bilevel page's trial bands must come out
// than the other for the page to be coded only that way.
constexpr double kClearMargin = 1.5;

// zlib's Huffman-only coding (no LZ77 matches): for predicted samples of
// noisy scans, whose matches are short and cost more than they save, it is
// smaller than any fast LZ77 level and far faster. Blocks of 2048 codes
// (memory level 5) follow the statistics from row to row best. False when
// zlib fails.
bool huffmanencode(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 5, Z_HUFFMAN_ONLY) != Z_OK) {
        return false;
    }
    // Huffman codes take at least a bit a byte; the buffer grows past that
    // as needed.
    out.resize(bytes.size() / 8 + 65536);
    z.next_out = out.data();
    size_t written = 0;
    size_t fed = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.avail_in == 0) {
            const size_t n = std::min<size_t>(bytes.size() - fed, size_t{1} << 30);
            z.next_in = const_cast<Bytef*>(bytes.data() + fed); // zlib does not write it
            z.avail_in = static_cast<uInt>(n);
            fed += n;
        }
        if (out.size() - written < 65536) {
            out.resize(2 * out.size());
        }
        z.next_out = out.data() + written;
        z.avail_out = static_cast<uInt>(std::min<size_t>(out.size() - written, size_t{1} << 30));
        const uInt before = z.avail_out;
        rc = deflate(&z, fed == bytes.size() ? Z_FINISH : Z_NO_FLUSH);
        written += before - z.avail_out;
    }
    deflateEnd(&z);
    out.resize(rc == Z_STREAM_END ? written : 0);
    return rc == Z_STREAM_END;
}

// What Huffman-only coding of the bytes takes, about: each byte value its
// information content in bits, at least one bit (as Huffman codes are).
size_t huffmanestimate(std::span<const uint8_t> bytes) {
    // Four tables counted in turn, so that counting a byte need not wait
    // for the count of the one before.
    std::array<std::array<size_t, 256>, 4> tables{};
    size_t i = 0;
    for (; i + 4 <= bytes.size(); i += 4) {
        for (size_t t = 0; t < 4; ++t) {
            ++tables[t][bytes[i + t]];
        }
    }
    for (; i < bytes.size(); ++i) {
        ++tables[0][bytes[i]];
    }
    double bits = 0;
    const auto total = static_cast<double>(bytes.size());
    for (size_t v = 0; v < 256; ++v) {
        const size_t c = tables[0][v] + tables[1][v] + tables[2][v] + tables[3][v];
        if (c != 0) {
            bits +=
                static_cast<double>(c) * std::max(1.0, std::log2(total / static_cast<double>(c)));
        }
    }
    return static_cast<size_t>(bits / 8) + 64; // and the code tables
}

enum class flatecoding : uint8_t {
    plain,     // the samples as they are, LZ77 (libdeflate)
    predicted, // PNG-predicted, LZ77 (libdeflate)
    quick,     // PNG-predicted, LZ77 at the fastest level (libdeflate)
    huffman,   // PNG-predicted, Huffman codes only (zlib)
};

// Calls band(first, count) for the bands of rows a trial codes: all rows of
// a small page, else kTrialBands bands of kTrialRows spread over it.
template <typename function> void trialbands(size_t rows, const function& band) {
    if (rows <= kTrialBands * kTrialRows) {
        band(0, rows);
        return;
    }
    for (size_t k = 0; k < kTrialBands; ++k) {
        band((2 * k + 1) * rows / (2 * kTrialBands) - kTrialRows / 2, kTrialRows);
    }
}

// The rows of the trial's bands of a page, one after the other.
std::vector<uint8_t> trialrows(std::span<const uint8_t> raw, size_t rowbytes) {
    std::vector<uint8_t> rows;
    trialbands(raw.size() / rowbytes, [&](size_t first, size_t count) {
        rows.insert(rows.end(), raw.begin() + static_cast<ptrdiff_t>(first * rowbytes),
                    raw.begin() + static_cast<ptrdiff_t>((first + count) * rowbytes));
    });
    return rows;
}

// Chooses the coding of a page's samples by coding bands of its rows (all
// of a small page). Noisy scans, whose predicted samples even LZ77's
// fastest level cannot make smaller than Huffman codes alone, are
// Huffman-coded; other pages take the smaller LZ77 coding of the samples as
// they are (synthetic pictures with repeated rows and patterns) and
// predicted (smooth ones), the latter at the fastest level where that
// costs next to nothing.
flatecoding choosecoding(std::span<const uint8_t> raw, size_t rowbytes, size_t bpp) {
    const std::vector<uint8_t> plain = trialrows(raw, rowbytes);
    std::vector<uint8_t> predicted;
    trialbands(raw.size() / rowbytes, [&](size_t first, size_t count) {
        predictrows(raw, rowbytes, bpp, rowfilter::adaptive, first, count, predicted);
    });
    std::vector<uint8_t> coded;
    const auto lz = [&](const std::vector<uint8_t>& bytes, int level) {
        return zlibencode(bytes, level, coded) ? coded.size() : SIZE_MAX;
    };
    const size_t quick = lz(predicted, kFastLevel);
    if (quick >= huffmanestimate(predicted)) {
        return flatecoding::huffman;
    }
    const size_t thorough = lz(predicted, kPredictedLevel);
    if (lz(plain, kPlainLevel) <= thorough) {
        return flatecoding::plain;
    }
    return static_cast<double>(quick) <= static_cast<double>(thorough) * kFastMargin
               ? flatecoding::quick
               : flatecoding::predicted;
}

// The 1 bits of the bytes, with the processor's population count where
// it has one.
OVIN_CLONES("popcnt", "default") size_t countones(std::span<const uint8_t> bytes) {
    size_t ones = 0;
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, 8);
        ones += static_cast<size_t>(std::popcount(word));
    }
    for (; i < bytes.size(); ++i) {
        ones += static_cast<size_t>(std::popcount(bytes[i]));
    }
    return ones;
}

status uncompressible(const std::string& name) {
    return {OVINPDF_IMAGE_ERROR, "Unable to compress the image data of file " + name};
}

// Which coding a trial on bands of a bilevel page finds clearly smaller:
// a page of scanned text takes a fraction of Flate's bytes as Group 4, a
// dithered picture a fraction of Group 4's as Flate. Neither when the call
// is close or the trial would cover the page whole.
enum class bilevelcoding : uint8_t { both, group4, flate };

bilevelcoding trialbilevel(std::span<const uint8_t> bits, uint32_t width, bool inverted) {
    const size_t rowbytes = (size_t{width} + 7) / 8;
    const size_t rows = bits.size() / rowbytes;
    if (rows <= kTrialBands * kTrialRows) {
        return bilevelcoding::both;
    }
    const std::vector<uint8_t> sample = trialrows(bits, rowbytes);
    std::vector<uint8_t> flate;
    std::vector<uint8_t> group4;
    if (!zlibencode(sample, kPlainLevel, flate) ||
        !group4encode(sample, width, static_cast<uint32_t>(sample.size() / rowbytes), inverted,
                      group4, sample.size())) {
        return bilevelcoding::both;
    }
    const auto f = static_cast<double>(flate.size());
    const auto g = static_cast<double>(group4.size());
    return g * kClearMargin < f   ? bilevelcoding::group4
           : f * kClearMargin < g ? bilevelcoding::flate
                                  : bilevelcoding::both;
}

// Bilevel samples: Flate, or Group 4 where that is smaller. Group 4 codes
// runs of the bits' majority value (the paper, mostly) as white, its
// shortest codes; the reader's BlackIs1 puts the bits back as they were.
// A page the trial finds clearly smaller one way is coded only that way.
status encodebilevel(imagedesc& page, const std::string& name) {
    const auto width = static_cast<uint32_t>(page.width);
    const auto height = static_cast<uint32_t>(page.height);
    const bool inverted = countones(page.data) > page.data.size() * 4;
    const bilevelcoding trial = trialbilevel(page.data, width, inverted);
    std::vector<uint8_t> flate;
    if (trial != bilevelcoding::group4 && !zlibencode(page.data, kPlainLevel, flate)) {
        return uncompressible(name);
    }
    std::vector<uint8_t> group4;
    if (trial != bilevelcoding::flate && (flate.empty() || flate.size() > 1) &&
        group4encode(page.data, width, height, inverted, group4,
                     flate.empty() ? page.data.size() : flate.size() - 1)) {
        page.filter = pdffilter::ccittfax;
        page.ccitt = {-1, !inverted, false};
        page.data = std::move(group4);
        return {};
    }
    if (flate.empty() && !zlibencode(page.data, kPlainLevel, flate)) {
        return uncompressible(name);
    }
    page.filter = pdffilter::flate;
    page.data = std::move(flate);
    return {};
}

status encodeflate(imagedesc& page, size_t rowbytes, const std::string& name) {
    const int colours = components(page.colour);
    const size_t bpp = (size_t{static_cast<uint32_t>(colours)} * page.bitspercomponent + 7) / 8;
    const flatecoding coding = choosecoding(page.data, rowbytes, bpp);
    std::vector<uint8_t> coded;
    bool done = false;
    if (coding == flatecoding::plain) {
        done = zlibencode(page.data, kPlainLevel, coded);
    } else {
        std::vector<uint8_t> predicted;
        pngpredict(page.data, rowbytes, bpp, rowfilter::adaptive, predicted);
        std::vector<uint8_t>().swap(page.data);
        done = coding == flatecoding::huffman
                   ? huffmanencode(predicted, coded)
                   : zlibencode(predicted,
                                coding == flatecoding::quick ? kFastLevel : kPredictedLevel, coded);
        page.predictor = {15, colours, page.bitspercomponent, page.width};
    }
    if (!done) {
        return uncompressible(name);
    }
    page.filter = pdffilter::flate;
    page.data = std::move(coded);
    return {};
}

// Encodes uncompressed samples; `quality` above 0 makes 8-bit grey and RGB
// samples JPEG data.
status encode(imagedesc& page, int quality, const std::string& name) {
    const int colours = components(page.colour);
    const size_t rowbytes =
        (size_t{static_cast<uint32_t>(page.width)} * colours * page.bitspercomponent + 7) / 8;
    if (page.width <= 0 || page.height <= 0 || rowbytes == 0 ||
        page.data.size() != rowbytes * static_cast<size_t>(page.height)) {
        return {OVINPDF_IMAGE_ERROR, "The image data of file " + name + " does not fit its size"};
    }
    const bool bilevel = page.bitspercomponent == 1 &&
                         (page.colour == colourspace::gray || page.colour == colourspace::indexed);
    if (bilevel) {
        return encodebilevel(page, name);
    }
    const bool photographic = page.bitspercomponent == 8 &&
                              (page.colour == colourspace::gray || page.colour == colourspace::rgb);
    if (quality > 0 && photographic) {
        std::vector<uint8_t> jpeg;
        if (!jpegencode(page.data, static_cast<uint32_t>(page.width),
                        static_cast<uint32_t>(page.height), colours, quality, jpeg)) {
            return uncompressible(name);
        }
        page.filter = pdffilter::dct;
        page.colortransform = -1;
        page.data = std::move(jpeg);
        return {};
    }
    return encodeflate(page, rowbytes, name);
}

} // namespace

status compressimage(imagedesc& page, const documentoptions& options, const std::string& name) {
    if (page.filter == pdffilter::none && !page.data.empty()) {
        int quality = options.jpegquality;
        if (!page.lossycoding.empty()) {
            quality = options.lossless ? 0 : quality > 0 ? quality : kLossyQuality;
        }
        if (status encoded = encode(page, quality, name); !encoded.ok()) {
            return encoded;
        }
        // Stored data stays unless this is clearly smaller (by a twentieth).
        // PDF/A forbids LZW data.
        const bool storable =
            page.asstored && !(options.pdfa && page.asstored->filter == pdffilter::lzw);
        if (storable && page.filter != pdffilter::dct &&
            page.data.size() > page.asstored->streamlength() - page.asstored->streamlength() / 20) {
            std::shared_ptr<const imagedesc> stored = std::move(page.asstored);
            page = *stored;
        }
        page.asstored.reset();
    }
    if (page.softmask && page.softmask->filter == pdffilter::none && !page.softmask->data.empty()) {
        // Transparency stays lossless.
        auto mask = std::make_shared<imagedesc>(*page.softmask);
        if (status encoded = encode(*mask, 0, name); !encoded.ok()) {
            return encoded;
        }
        page.softmask = std::move(mask);
    }
    return {};
}

} // namespace ovin
