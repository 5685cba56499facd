// A4 pages at 300 dpi for the benchmarks that run whole programs on a
// corpus of files: the makers of their pages, and the folder of page files
// made once and kept for the next run.
#pragma once

#include "jpegfixtures.h"
#include "stripfile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ovinbench {

constexpr uint32_t kA4Width = 2480; // 210 x 297 mm at 300 dpi
constexpr uint32_t kA4Height = 3508;

// A small deterministic generator (xorshift) for the pages' grain.
struct grain {
    uint32_t state;
    explicit grain(uint32_t seed) : state(seed * 2654435761u + 1u) {}
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

inline std::vector<uint8_t> withgrain(std::vector<uint8_t> pixels, uint32_t seed) {
    grain g(seed);
    for (uint8_t& p : pixels) {
        const int v = p + static_cast<int>(g.next() % 13) - 6;
        p = static_cast<uint8_t>(std::clamp(v, 0, 255));
    }
    return pixels;
}

inline void mustwrite(bool written, const std::string& path) {
    if (!written) {
        throw std::runtime_error("cannot write " + path);
    }
}

// Colour JPEG page k: a smooth picture with a scanner's grain, at the
// qualities scanning programs use.
inline void writecolourjpeg(const std::string& path, uint32_t k) {
    const std::vector<uint8_t> pixels =
        withgrain(ovintest::jpegpattern(kA4Width, kA4Height, 3), k + 1);
    ovintest::jpegoptions o;
    o.quality = 80 + static_cast<int>(k % 10);
    const std::vector<uint8_t> jpeg = ovintest::makejpeg(kA4Width, kA4Height, pixels, o);
    mustwrite(!jpeg.empty() && ovintest::savejpeg(path, jpeg), path);
}

// Group 4 page k, in one strip, that codes like a scanned typed page (tens
// of KB): lines of words in letter-like marks of stems and bars, some with
// ascenders or descenders, set a pixel or so off the line as a scanner's
// feed leaves them, paragraphs with a short last line and a blank one after,
// and specks of dust. Rows are made as libtiff asks for them.
inline strippage typedpage(uint32_t k) {
    // Letters on a grid of 4-pixel cells: 3 to 5 cells wide, 9 high (2 of
    // ascender, 5 of x-height, 2 of descender); bit c of a row is column c.
    constexpr uint32_t kCell = 4, kRows = 9, kLetters = 26;
    struct letter {
        uint32_t cells = 0;
        std::array<uint8_t, kRows> rows{};
    };
    std::array<letter, kLetters> letters{};
    for (uint32_t n = 0; n < kLetters; ++n) {
        grain g(n + 101);
        const uint32_t bits = g.next();
        letter& l = letters[n];
        l.cells = 3 + bits % 3;
        const auto stem = [&](uint32_t column, uint32_t from, uint32_t to) {
            for (uint32_t r = from; r <= to; ++r) {
                l.rows[r] |= static_cast<uint8_t>(1u << column);
            }
        };
        const uint32_t right = l.cells - 1;
        const bool left = (bits >> 3 & 1) != 0 || (bits >> 4 & 3) == 0;
        if (left) {
            stem(0, 2, 6);
        }
        if ((bits >> 4 & 1) != 0) {
            stem(right, 2, 6);
        }
        if ((bits >> 5 & 1) != 0) {
            stem(l.cells / 2, 2, 6);
        }
        for (uint32_t bar = 0; bar < 3; ++bar) {
            if ((bits >> (6 + bar) & 1) != 0) {
                l.rows[2 + 2 * bar] |= static_cast<uint8_t>((1u << l.cells) - 1);
            }
        }
        if ((bits >> 9 & 3) == 0) {
            stem(left ? 0 : right, 0, 1); // ascender
        } else if ((bits >> 9 & 3) == 1) {
            stem(right, 7, 8); // descender
        }
    }

    constexpr uint32_t kMargin = 300, kTop = 330, kPitch = 50, kSpace = 16;
    constexpr uint32_t kLines = (kA4Height - 2 * kTop) / kPitch;
    const uint32_t seed = k + 1;
    strippage p;
    p.width = kA4Width;
    p.height = kA4Height;
    p.compression = 4;
    p.photometric = 0; // min-is-white: a set bit is ink
    p.rowsperstrip = kA4Height;
    p.fill = [letters, seed](uint32_t y, uint8_t* row) {
        std::memset(row, 0, (kA4Width + 7) / 8);
        const auto ink = [row](uint32_t x, uint32_t width) {
            for (uint32_t i = x; i < std::min(x + width, kA4Width); ++i) {
                row[i / 8] |= static_cast<uint8_t>(0x80u >> (i % 8));
            }
        };
        grain dust(seed * 7919 + y);
        if (dust.next() % 8 == 0) {
            ink(dust.next() % kA4Width, 1 + dust.next() % 3);
        }
        if (y < kTop || y >= kTop + kLines * kPitch) {
            return;
        }
        const uint32_t line = (y - kTop) / kPitch;
        // The line's words come from its own generator, the same for each
        // of its rows; the line before says whether this one is blank.
        const auto lastofparagraph = [seed](uint32_t n) {
            return grain(seed * 131 + n).next() % 6 == 0;
        };
        if (line > 0 && lastofparagraph(line - 1)) {
            return;
        }
        grain words(seed * 131 + line);
        const uint32_t end = words.next() % 6 == 0
                                 ? kMargin + (kA4Width - 2 * kMargin) * (2 + words.next() % 6) / 8
                                 : kA4Width - kMargin;
        const bool indented = line == 0 || (line > 1 && lastofparagraph(line - 2));
        const uint32_t within = y - kTop - line * kPitch;
        for (uint32_t x = kMargin + (indented ? 60 : 0);;) {
            const uint32_t count = 1 + words.next() % 9;
            std::array<uint32_t, 10> chosen{};
            uint32_t width = 0;
            for (uint32_t c = 0; c < count; ++c) {
                chosen[c] = words.next();
                width += letters[chosen[c] % kLetters].cells * kCell + kCell + chosen[c] / 7 % 2;
            }
            if (x + width > end) {
                return;
            }
            for (uint32_t c = 0; c < count; ++c) {
                const letter& l = letters[chosen[c] % kLetters];
                const uint32_t shift = chosen[c] / 11 % 2; // off the line by a pixel
                if (within >= shift && (within - shift) / kCell < kRows) {
                    const uint8_t cells = l.rows[(within - shift) / kCell];
                    for (uint32_t column = 0; column < l.cells; ++column) {
                        if ((cells >> column & 1) != 0) {
                            ink(x + column * kCell, kCell);
                        }
                    }
                }
                x += l.cells * kCell + kCell + chosen[c] / 7 % 2;
            }
            x += kSpace;
        }
    };
    return p;
}

// The file made where it is missing, into a partial name first, so that an
// interrupted run leaves no half file behind.
inline void madeonce(const std::filesystem::path& file,
                     const std::function<void(const std::string& path)>& make) {
    if (!std::filesystem::exists(file)) {
        const std::string part = file.string() + ".part";
        std::filesystem::remove(part);
        make(part);
        std::filesystem::rename(part, file);
    }
}

// Files page001.EXT... of `folder`, one a page, made where missing by
// make(path, k) for page k (from 0).
inline std::vector<std::string>
pagefiles(const std::filesystem::path& folder, const std::string& ext, uint32_t pages,
          const std::function<void(const std::string& path, uint32_t k)>& make) {
    std::filesystem::create_directories(folder);
    std::vector<std::string> files;
    for (uint32_t k = 0; k < pages; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "page%03u.", k + 1);
        const std::filesystem::path file = folder / (name + ext);
        madeonce(file, [&](const std::string& path) { make(path, k); });
        files.push_back(file.string());
    }
    return files;
}

} // namespace ovinbench
