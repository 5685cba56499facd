// The document face's one compression stage. Probes hand over decoded
// samples uncompressed (filter none); this stage encodes them once, for the
// page and for its soft mask: bilevel samples as CCITT Group 4 where that
// is smaller than Flate, 8-bit grey and RGB samples as JPEG when a JPEG
// quality is set or they were decoded from a lossy coding (unless the
// options keep those lossless), everything else as Flate (libdeflate), continuous-tone
// samples through the PNG predictors. Data that a probe passes through as
// stored (any other filter) is never touched.
#pragma once

#include "core/options.h"
#include "readers/imagedesc.h"
#include "status.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ovin {

// The PNG row filters: none, "Up" for every row, or the adaptive choice per
// row among all five (the filter whose output bytes, taken as signed values,
// have the smallest sum of absolute values).
enum class rowfilter : uint8_t { none, up, adaptive };

// The rows of `raw` (rows of `rowbytes` bytes, `pixelbytes` bytes per
// pixel rounded up) as PNG-predicted data: each row its filter type byte and
// the filtered row, as FlateDecode's /Predictor 10 to 15 undo it.
void pngpredict(std::span<const uint8_t> raw, size_t rowbytes, size_t pixelbytes, rowfilter how,
                std::vector<uint8_t>& out);

// `bytes` as one zlib stream (libdeflate) at `level` (1 to 12) into `out`;
// false when it would take more than `limit` bytes or libdeflate fails.
bool zlibencode(std::span<const uint8_t> bytes, int level, std::vector<uint8_t>& out,
                size_t limit = SIZE_MAX);

// Packed 1-bit rows (most significant bit first) as CCITT Group 4 data
// with an end-of-block code, coded by libtiff into memory into `out`. Runs
// of 0 bits are coded as white, unless `inverted`, which codes the bits the
// other way round. False when the data would take more than `limit` bytes
// or libtiff fails.
bool group4encode(std::span<const uint8_t> bits, uint32_t width, uint32_t height, bool inverted,
                  std::vector<uint8_t>& out, size_t limit = SIZE_MAX);

// 8-bit grey (components 1) or RGB (3) samples as baseline JPEG data at
// `quality` (1 to 100) into `out`; false when libjpeg fails.
bool jpegencode(std::span<const uint8_t> samples, uint32_t width, uint32_t height, int components,
                int quality, std::vector<uint8_t>& out);

// Encodes a page whose data is uncompressed samples (filter none), and its
// soft mask likewise; a page with any other filter is left as it is. The
// description's filter and its parameters follow the data. `name` names
// the file in messages.
status compressimage(imagedesc& page, const documentoptions& options, const std::string& name);

} // namespace ovin
