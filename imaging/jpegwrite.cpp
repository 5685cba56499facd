// A page written as a baseline JPEG file through libjpeg-turbo. Grey pages
// keep their sample values (a 1-bit page widens to 0 and 255, nothing is
// inverted) so that the page's photometric still tells how to read them;
// palette and colour pages become RGB. The file is written as the rows come.
#include "encode.h"
#include "fd.h"
#include "jpegglue.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace ovin::imaging {

namespace {

constexpr int kDefaultQuality = 75;
constexpr int kMaxSide = 65500; // JPEG's own limit on either side

// --- Counting the symbols of a coded stream ---

// The decoding side of one Huffman table (JPEG F.2.2.3): the largest code of
// each length, where each length's values start, and a direct lookup of the
// codes up to kLookBits long.
class HuffmanDecoder {
public:
    static constexpr int kLookBits = 9;

    void build(const JHUFF_TBL& table) {
        maxcode_.fill(-1);
        look_.fill(0);
        int32_t code = 0;
        int32_t p = 0;
        for (int l = 1; l <= 16; ++l) {
            offset_[l] = p - code;
            for (int i = 0; i < table.bits[l] && p < 256; ++i, ++p, ++code) {
                values_[static_cast<size_t>(p)] = table.huffval[p];
                if (l <= kLookBits) {
                    const int32_t first = code << (kLookBits - l);
                    const int32_t span = 1 << (kLookBits - l);
                    for (int32_t k = 0; k < span; ++k) {
                        look_[static_cast<size_t>(first + k)] =
                            static_cast<uint16_t>((l << 8) | table.huffval[p]);
                    }
                }
            }
            if (table.bits[l] != 0) {
                maxcode_[l] = code - 1;
            }
            code <<= 1;
        }
    }

    // The symbol whose code starts the 16 bits of `peek` (first bit highest)
    // and the length of that code; -1 when no code matches.
    int decode(uint32_t peek, int& length) const {
        const uint16_t entry = look_[peek >> (16 - kLookBits)];
        if (entry != 0) {
            length = entry >> 8;
            return entry & 0xFF;
        }
        for (int l = kLookBits + 1; l <= 16; ++l) {
            const auto code = static_cast<int32_t>(peek >> (16 - l));
            if (code <= maxcode_[l]) {
                length = l;
                return values_[static_cast<size_t>(code + offset_[l])];
            }
        }
        return -1;
    }

private:
    std::array<int32_t, 17> maxcode_{};
    std::array<int32_t, 17> offset_{};
    std::array<uint8_t, 256> values_{};
    std::array<uint16_t, 1 << kLookBits> look_{}; // code length << 8 | symbol; 0: longer code
};

using Counts = std::array<long, 257>;

// Follows the baseline JPEG file that the first pass writes, as its bytes
// come, and counts the Huffman symbols of its scan per table: the counts
// that libjpeg gathers for optimised coding, since the quantised
// coefficients that the symbols code do not depend on the tables. Works
// without allocating: it runs inside libjpeg's output callbacks.
class SymbolCounter {
public:
    std::array<Counts, NUM_HUFF_TBLS> dc{};
    std::array<Counts, NUM_HUFF_TBLS> ac{};
    std::array<bool, NUM_HUFF_TBLS> dcUsed{};
    std::array<bool, NUM_HUFF_TBLS> acUsed{};

    // The scan's block layout and tables, from a compressor just started.
    void setup(const jpeg_compress_struct& c) {
        blocksInMcu_ = c.blocks_in_MCU;
        totalMcus_ = static_cast<uint64_t>(c.MCUs_per_row) * c.MCU_rows_in_scan;
        for (int b = 0; b < blocksInMcu_ && b < C_MAX_BLOCKS_IN_MCU; ++b) {
            const jpeg_component_info* comp = c.cur_comp_info[c.MCU_membership[b]];
            dcOf_[static_cast<size_t>(b)] = comp->dc_tbl_no;
            acOf_[static_cast<size_t>(b)] = comp->ac_tbl_no;
            use(c.dc_huff_tbl_ptrs, comp->dc_tbl_no, dcUsed, dcDecoders_);
            use(c.ac_huff_tbl_ptrs, comp->ac_tbl_no, acUsed, acDecoders_);
        }
        failed_ = failed_ || blocksInMcu_ <= 0 || blocksInMcu_ > C_MAX_BLOCKS_IN_MCU;
    }

    void feed(const uint8_t* bytes, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            take(bytes[i]);
        }
    }

    // True when the file ended right after the scan's last block.
    bool complete() const { return stage_ == Stage::Done && !failed_; }

private:
    enum class Stage { Marker, Code, LengthHigh, LengthLow, Segment, Scan, ScanFF, Done };

    void take(uint8_t b) {
        switch (stage_) {
        case Stage::Marker:
            failed_ = failed_ || b != 0xFF;
            stage_ = Stage::Code;
            break;
        case Stage::Code:
            if (b == 0xD8) { // start of image: no segment follows
                stage_ = Stage::Marker;
            } else if (b == 0xFF) { // fill byte
            } else if (b == 0x00 || b == 0xD9 || (b >= 0xD0 && b <= 0xD7)) {
                failed_ = true; // the file ends, or restarts, before its scan
            } else {
                marker_ = b;
                stage_ = Stage::LengthHigh;
            }
            break;
        case Stage::LengthHigh:
            remaining_ = static_cast<uint32_t>(b) << 8;
            stage_ = Stage::LengthLow;
            break;
        case Stage::LengthLow:
            remaining_ |= b;
            failed_ = failed_ || remaining_ < 2;
            remaining_ = remaining_ >= 2 ? remaining_ - 2 : 0;
            stage_ = remaining_ > 0 ? Stage::Segment : afterSegment();
            break;
        case Stage::Segment:
            if (--remaining_ == 0) {
                stage_ = afterSegment();
            }
            break;
        case Stage::Scan:
            if (b == 0xFF) {
                stage_ = Stage::ScanFF;
            } else {
                push(b);
            }
            break;
        case Stage::ScanFF:
            if (b == 0x00) { // a stuffed data byte
                push(0xFF);
                stage_ = Stage::Scan;
            } else if (b != 0xFF) {
                // The end of the scan (no restart markers: no restart interval).
                endScan();
                failed_ = failed_ || b != 0xD9;
                stage_ = Stage::Done;
            }
            break;
        case Stage::Done:
            failed_ = true; // nothing comes after the end of the image
            break;
        }
    }

    void use(JHUFF_TBL* const (&tables)[NUM_HUFF_TBLS], int number,
             std::array<bool, NUM_HUFF_TBLS>& used,
             std::array<HuffmanDecoder, NUM_HUFF_TBLS>& decoders) {
        const auto t = static_cast<size_t>(number);
        if (t >= NUM_HUFF_TBLS || tables[t] == nullptr) {
            failed_ = true;
        } else if (!used[t]) {
            used[t] = true;
            decoders[t].build(*tables[t]);
        }
    }

    Stage afterSegment() const { return marker_ == 0xDA ? Stage::Scan : Stage::Marker; }

    void push(uint8_t b) {
        acc_ = (acc_ << 8) | b;
        bits_ += 8;
        // A code and its extra bits take at most 16 + 11 bits.
        while (bits_ >= 32 && mcu_ < totalMcus_ && !failed_) {
            step();
        }
    }

    // The last symbols, then the padding: at most seven 1-bits of the last
    // byte. Up to eight bytes of 1-bits are added to let the last symbols
    // be decoded; none of them may be taken for a symbol.
    void endScan() {
        int added = 0;
        while (mcu_ < totalMcus_ && !failed_ && added < 8) {
            push(0xFF);
            ++added;
        }
        const int left = bits_ - 8 * added;
        failed_ =
            failed_ || mcu_ != totalMcus_ || left < 0 || left > 7 ||
            ((acc_ >> (8 * added)) & ((uint64_t{1} << left) - 1)) != (uint64_t{1} << left) - 1;
    }

    // One DC symbol or one AC symbol, with its extra bits.
    void step() {
        const auto peek = static_cast<uint32_t>((acc_ >> (bits_ - 16)) & 0xFFFF);
        const bool dcTerm = k_ == 0;
        const auto t = static_cast<size_t>(dcTerm ? dcOf_[static_cast<size_t>(block_)]
                                                  : acOf_[static_cast<size_t>(block_)]);
        int length = 0;
        const int symbol = (dcTerm ? dcDecoders_[t] : acDecoders_[t]).decode(peek, length);
        if (symbol < 0) {
            failed_ = true;
            return;
        }
        bits_ -= length;
        if (dcTerm) {
            ++dc[t][static_cast<size_t>(symbol)];
            failed_ = failed_ || symbol > 11;
            bits_ -= symbol;
            k_ = 1;
        } else {
            ++ac[t][static_cast<size_t>(symbol)];
            const int run = symbol >> 4;
            const int size = symbol & 15;
            if (size == 0) {
                k_ = run == 15 ? k_ + 16 : 64; // sixteen zeros, or the end of the block
            } else {
                bits_ -= size;
                k_ += run + 1;
            }
            failed_ = failed_ || k_ > 64;
        }
        if (k_ == 64) {
            k_ = 0;
            if (++block_ == blocksInMcu_) {
                block_ = 0;
                ++mcu_;
            }
        }
    }

    Stage stage_ = Stage::Marker;
    bool failed_ = false;
    uint8_t marker_ = 0;
    uint32_t remaining_ = 0;
    uint64_t acc_ = 0; // the last bits_ bits of the scan not yet decoded
    int bits_ = 0;
    int blocksInMcu_ = 0;
    uint64_t totalMcus_ = 0;
    uint64_t mcu_ = 0;
    int block_ = 0; // within the MCU
    int k_ = 0;     // coefficient within the block
    std::array<int, C_MAX_BLOCKS_IN_MCU> dcOf_{};
    std::array<int, C_MAX_BLOCKS_IN_MCU> acOf_{};
    std::array<HuffmanDecoder, NUM_HUFF_TBLS> dcDecoders_{};
    std::array<HuffmanDecoder, NUM_HUFF_TBLS> acDecoders_{};
};

// The optimal table for the symbol counts, built as JPEG Annex K.2 builds
// it: code lengths from repeatedly joining the two least frequent subtrees
// (a reserved symbol 256 keeps any real code from being all ones; of equal
// counts the higher symbol is joined first), lengths past 16 folded back to
// at most 16 (Figure K.3), and the symbols listed by code length, then
// value. False when a length grows past what the folding allows.
bool optimalTable(Counts freq, JHUFF_TBL& table) {
    constexpr int kMaxLength = 32;
    freq[256] = 1;
    std::array<int, 257> codesize{};
    std::array<int, 257> others{};
    others.fill(-1);
    for (;;) {
        int c1 = -1;
        int c2 = -1;
        long v = LONG_MAX;
        for (int i = 0; i <= 256; ++i) {
            if (freq[static_cast<size_t>(i)] != 0 && freq[static_cast<size_t>(i)] <= v) {
                v = freq[static_cast<size_t>(i)];
                c1 = i;
            }
        }
        v = LONG_MAX;
        for (int i = 0; i <= 256; ++i) {
            if (freq[static_cast<size_t>(i)] != 0 && freq[static_cast<size_t>(i)] <= v && i != c1) {
                v = freq[static_cast<size_t>(i)];
                c2 = i;
            }
        }
        if (c2 < 0) {
            break;
        }
        freq[static_cast<size_t>(c1)] += freq[static_cast<size_t>(c2)];
        freq[static_cast<size_t>(c2)] = 0;
        // Every symbol of both subtrees gets one bit longer; the second
        // subtree's chain is hung onto the end of the first one's.
        const auto deepen = [&](int c) {
            ++codesize[static_cast<size_t>(c)];
            while (others[static_cast<size_t>(c)] >= 0) {
                c = others[static_cast<size_t>(c)];
                ++codesize[static_cast<size_t>(c)];
            }
            return c;
        };
        others[static_cast<size_t>(deepen(c1))] = c2;
        deepen(c2);
    }
    std::array<int, kMaxLength + 1> bits{};
    for (const int size : codesize) {
        if (size > kMaxLength) {
            return false;
        }
        if (size > 0) {
            ++bits[static_cast<size_t>(size)];
        }
    }
    for (int i = kMaxLength; i > 16; --i) {
        while (bits[static_cast<size_t>(i)] > 0) {
            int j = i - 2;
            while (bits[static_cast<size_t>(j)] == 0) {
                --j;
            }
            bits[static_cast<size_t>(i)] -= 2;
            ++bits[static_cast<size_t>(i - 1)];
            bits[static_cast<size_t>(j + 1)] += 2;
            --bits[static_cast<size_t>(j)];
        }
    }
    int longest = 16;
    while (longest > 0 && bits[static_cast<size_t>(longest)] == 0) {
        --longest;
    }
    --bits[static_cast<size_t>(longest)]; // the reserved symbol's code
    std::memset(&table, 0, sizeof table);
    for (int l = 1; l <= 16; ++l) {
        table.bits[l] = static_cast<UINT8>(bits[static_cast<size_t>(l)]);
    }
    size_t p = 0;
    for (int l = 1; l <= kMaxLength; ++l) {
        for (size_t s = 0; s < 256; ++s) {
            if (codesize[s] == l) {
                table.huffval[p++] = static_cast<UINT8>(s);
            }
        }
    }
    return true;
}

// The tables for the second pass, by table number.
struct HuffmanTables {
    std::array<JHUFF_TBL, NUM_HUFF_TBLS> dc{};
    std::array<JHUFF_TBL, NUM_HUFF_TBLS> ac{};
    std::array<bool, NUM_HUFF_TBLS> dcUsed{};
    std::array<bool, NUM_HUFF_TBLS> acUsed{};
};

bool tablesFrom(const SymbolCounter& counter, HuffmanTables& tables) {
    for (size_t t = 0; t < NUM_HUFF_TBLS; ++t) {
        tables.dcUsed[t] = counter.dcUsed[t];
        tables.acUsed[t] = counter.acUsed[t];
        if ((counter.dcUsed[t] && !optimalTable(counter.dc[t], tables.dc[t])) ||
            (counter.acUsed[t] && !optimalTable(counter.ac[t], tables.ac[t]))) {
            return false;
        }
    }
    return true;
}

// --- Encoding ---

// Destination manager: the file, or the symbol counter of a first pass.
struct Destination {
    jpeg_destination_mgr pub{};
    int fd = -1;
    SymbolCounter* counter = nullptr;
    std::array<JOCTET, 64 * 1024> buffer{};

    bool deliver(size_t n) {
        if (counter != nullptr) {
            counter->feed(buffer.data(), n);
            return true;
        }
        return writeall(fd, buffer.data(), n) == 0;
    }
};

void initDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer.data();
    dest->pub.free_in_buffer = dest->buffer.size();
}

boolean emptyOutputBuffer(j_compress_ptr cinfo) {
    // Called when the whole buffer is full.
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (!dest->deliver(dest->buffer.size())) {
        (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    }
    dest->pub.next_output_byte = dest->buffer.data();
    dest->pub.free_in_buffer = dest->buffer.size();
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (!dest->deliver(dest->buffer.size() - dest->pub.free_in_buffer)) {
        (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    }
}

struct EncodeJob {
    jpeg_compress_struct cinfo{};
    JpegErrorManager err{};
    Destination dest;
    RowSource* rows = nullptr;
    JpegSettings settings;
    bool optimize = false;                 // libjpeg's own optimised coding
    const HuffmanTables* tables = nullptr; // tables to code with instead of the standard ones
    std::vector<uint8_t> line;
};

// Grey level of pixel x of a grey page row (1 or 8 bits, maybe a grey palette).
uint8_t greyAt(const PageFormat& page, const uint8_t* row, size_t x) {
    unsigned v = 0;
    if (page.bits == 1) {
        v = (row[x >> 3] >> (7 - (x & 7))) & 1U;
        if (!page.hasPalette()) {
            return v ? 255 : 0;
        }
    } else {
        v = row[x];
        if (!page.hasPalette()) {
            return static_cast<uint8_t>(v);
        }
    }
    return v < page.palette.size() ? page.palette[v].r : 0;
}

// The next row as libjpeg takes it; false when it cannot be read.
bool fillLine(EncodeJob& job) {
    const PageFormat& page = job.rows->format();
    const uint8_t* row = job.rows->next();
    if (row == nullptr) {
        return false;
    }
    if (!job.settings.grey) {
        rowToRgb(page, row, job.line.data());
        return true;
    }
    for (size_t x = 0; x < static_cast<size_t>(page.width); ++x) {
        job.line[x] = greyAt(page, row, x);
    }
    return true;
}

void useTable(j_compress_ptr cinfo, JHUFF_TBL*& slot, const JHUFF_TBL& table) {
    if (slot == nullptr) {
        slot = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(cinfo));
    }
    std::memcpy(slot->bits, table.bits, sizeof slot->bits);
    std::memcpy(slot->huffval, table.huffval, sizeof slot->huffval);
}

void useTables(j_compress_ptr cinfo, const HuffmanTables& tables) {
    for (size_t t = 0; t < NUM_HUFF_TBLS; ++t) {
        if (tables.dcUsed[t]) {
            useTable(cinfo, cinfo->dc_huff_tbl_ptrs[t], tables.dc[t]);
        }
        if (tables.acUsed[t]) {
            useTable(cinfo, cinfo->ac_huff_tbl_ptrs[t], tables.ac[t]);
        }
    }
}

// The only function with a jump target. False after a libjpeg error or a
// row that could not be read.
bool runEncode(EncodeJob& job) {
    j_compress_ptr cinfo = &job.cinfo;
    if (setjmp(job.err.jump) != 0) {
        return false;
    }
    const PageFormat& page = job.rows->format();
    jpeg_create_compress(cinfo);
    limitMemory(reinterpret_cast<j_common_ptr>(cinfo));
    cinfo->dest = &job.dest.pub;
    cinfo->image_width = static_cast<JDIMENSION>(page.width);
    cinfo->image_height = static_cast<JDIMENSION>(page.height);
    cinfo->input_components = job.settings.grey ? 1 : 3;
    cinfo->in_color_space = job.settings.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job.settings.quality, TRUE);
    cinfo->optimize_coding = job.optimize ? TRUE : FALSE;
    if (job.tables != nullptr) {
        useTables(cinfo, *job.tables);
    }
    if (page.xdpi > 0 && page.ydpi > 0) {
        cinfo->density_unit = 1; // dots per inch
        cinfo->X_density = static_cast<UINT16>(std::min(page.xdpi, 65535));
        cinfo->Y_density = static_cast<UINT16>(std::min(page.ydpi, 65535));
    }
    jpeg_start_compress(cinfo, TRUE);
    if (job.dest.counter != nullptr) {
        job.dest.counter->setup(*cinfo);
    }
    while (cinfo->next_scanline < cinfo->image_height) {
        if (!fillLine(job)) {
            return false;
        }
        JSAMPROW row = job.line.data();
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

struct JobCleanup {
    EncodeJob& job;
    ~JobCleanup() { jpeg_destroy_compress(&job.cinfo); }
};

// One pass over the rows, from the top: into the file, or into the counter.
bool encodePass(RowSource& rows, const JpegSettings& settings, int fd, bool optimize,
                const HuffmanTables* tables, SymbolCounter* counter) {
    if (!rows.rewind()) {
        return false;
    }
    auto job = std::make_unique<EncodeJob>();
    JobCleanup cleanup{*job};
    job->rows = &rows;
    job->settings = settings;
    job->optimize = optimize;
    job->tables = tables;
    job->line.resize(static_cast<size_t>(rows.format().width) * (settings.grey ? 1 : 3));
    job->cinfo.err = quietErrorManager(job->err);
    job->dest.fd = fd;
    job->dest.counter = counter;
    job->dest.pub.init_destination = initDestination;
    job->dest.pub.empty_output_buffer = emptyOutputBuffer;
    job->dest.pub.term_destination = termDestination;
    return runEncode(*job);
}

// What libjpeg's optimised coding holds: every DCT block of the page (64
// coefficients of 2 bytes), grey pages in one component, colour pages in
// luminance and two chrominance components at half resolution each way.
uint64_t coefficientBytes(const PageFormat& page, bool grey) {
    const uint64_t w = static_cast<uint64_t>(page.width);
    const uint64_t h = static_cast<uint64_t>(page.height);
    const uint64_t blocks =
        grey ? ((w + 7) / 8) * ((h + 7) / 8) : 6 * ((w + 15) / 16) * ((h + 15) / 16);
    return blocks * 128;
}

} // namespace

std::optional<JpegSettings> jpegSettings(const PageFormat& page, const OptionBlock& options) {
    if (page.width <= 0 || page.height <= 0 || page.width > kMaxSide || page.height > kMaxSide) {
        return std::nullopt;
    }
    JpegSettings settings;
    settings.grey = page.bits <= 8 && (!page.hasPalette() || isGreyPalette(page.palette));
    settings.quality = kDefaultQuality;
    if (options.text("LOSSY_QUALITY")) {
        const auto quality = options.number("LOSSY_QUALITY");
        settings.quality = quality ? std::clamp(*quality, 1, 100) : kDefaultQuality;
    }
    settings.optimize = options.flag("JPEG_OPTIMIZE_CODING").value_or(false);
    return settings;
}

bool encodeJpeg(RowSource& rows, const JpegSettings& settings, int fd, size_t coefficientBudget) {
    if (!settings.optimize || coefficientBytes(rows.format(), settings.grey) <= coefficientBudget) {
        return encodePass(rows, settings, fd, settings.optimize, nullptr, nullptr);
    }
    auto counter = std::make_unique<SymbolCounter>();
    auto tables = std::make_unique<HuffmanTables>();
    return encodePass(rows, settings, -1, false, nullptr, counter.get()) && counter->complete() &&
           tablesFrom(*counter, *tables) &&
           encodePass(rows, settings, fd, false, tables.get(), nullptr);
}

} // namespace ovin::imaging
