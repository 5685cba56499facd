// The document face's lossless coders measured on the pages of
// bench_versus_img2pdf: for each corpus page, the size and time of the
// system zlib (levels 1, 6, 9) and of libdeflate (1, 6, 9, 12), each on the
// samples as they are, through the PNG predictor "Up" and through the
// adaptive per-row choice of PNG predictor; bilevel pages also as CCITT
// Group 4 (libtiff, runs of 0 coded as white or the other way round).
//
//   build/bench/bench_compression [WORKDIR]
//
// WORKDIR is bench_versus_img2pdf's (its SANE test-pattern scans, *.scan,
// are used when they are there; scanimage makes them otherwise). Sizes are
// of one page's data in MB (10^6 bytes); times the best of three, in
// milliseconds, predictor included; the A4 pages are 300 dpi.
#include "compression/compress.h"
#include "tifffixtures.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kA4Width = 2480;
constexpr uint32_t kA4Height = 3508;
constexpr int kRuns = 3;

struct page {
    std::string name;
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 1;
    int bits = 8;
    std::vector<uint8_t> samples;
    size_t rowbytes() const { return (size_t{width} * channels * bits + 7) / 8; }
};

// A binary PNM file (P4, P5 or P6 of maxval 255) as a page; empty samples
// when it is not one.
page readpnm(const std::string& path, const std::string& name) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    page p;
    p.name = name;
    in >> magic;
    const auto number = [&]() {
        uint32_t value = 0;
        while (in >> std::ws && in.peek() == '#') {
            std::string comment;
            std::getline(in, comment);
        }
        in >> value;
        return value;
    };
    p.width = number();
    p.height = number();
    const uint32_t maxval = magic == "P4" ? 1 : number();
    in.get();
    if ((magic != "P4" && magic != "P5" && magic != "P6") || (magic != "P4" && maxval != 255)) {
        return p;
    }
    p.channels = magic == "P6" ? 3 : 1;
    p.bits = magic == "P4" ? 1 : 8;
    p.samples.resize(p.rowbytes() * p.height);
    in.read(reinterpret_cast<char*>(p.samples.data()),
            static_cast<std::streamsize>(p.samples.size()));
    if (!in) {
        p.samples.clear();
    }
    return p;
}

// The SANE test backend's pattern at 300 dpi, 200 x 200 mm, in one mode.
page scanned(const fs::path& dir, const std::string& key, const std::string& name,
             const std::vector<std::string>& mode) {
    const fs::path file = dir / (key + ".scan");
    if (!fs::exists(file)) {
        std::string command = "scanimage -d test --resolution 300 -x 200 -y 200";
        for (const std::string& m : mode) {
            command += " " + m;
        }
        command += " --test-picture 'Color pattern' --format=pnm -o '" + file.string() + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "scanimage failed: %s\n", command.c_str());
            return {};
        }
    }
    return readpnm(file.string(), name);
}

page frompixels(const std::string& name, const ovintest::tiffpage& t, int channels, int bits) {
    return {name, t.width, t.height, channels, bits, t.pixels};
}

double milliseconds(const std::function<void()>& run) {
    double best = 0;
    for (int k = 0; k < kRuns; ++k) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        best = k == 0 ? ms : std::min(best, ms);
    }
    return best;
}

// The system zlib at `level` with one of its strategies.
std::vector<uint8_t> zlibstream(const std::vector<uint8_t>& in, int level,
                                int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    std::vector<uint8_t> out;
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) {
        return out;
    }
    out.resize(deflateBound(&z, static_cast<uLong>(in.size())));
    z.next_in = const_cast<Bytef*>(in.data()); // zlib does not write it
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(rc == Z_STREAM_END ? z.total_out : 0);
    deflateEnd(&z);
    return out;
}

void row(const page& p, const std::string& coder, size_t bytes, double ms) {
    const double raw = static_cast<double>(p.samples.size());
    std::printf("%-22s %-26s %9.4f %8.1f %8.1f\n", p.name.c_str(), coder.c_str(),
                static_cast<double>(bytes) / 1e6, ms, raw / 1e3 / ms);
    std::fflush(stdout);
}

void measure(const page& p) {
    if (p.samples.empty()) {
        return;
    }
    const size_t pixelbytes = (size_t{static_cast<uint32_t>(p.channels)} * p.bits + 7) / 8;
    const bool bilevel = p.bits == 1;
    struct predictor {
        const char* name;
        ovin::rowfilter filter;
    };
    std::vector<predictor> predictors = {{"", ovin::rowfilter::none}};
    if (!bilevel) {
        predictors.push_back({" up", ovin::rowfilter::up});
        predictors.push_back({" adaptive", ovin::rowfilter::adaptive});
    }
    std::vector<uint8_t> predicted;
    std::vector<uint8_t> out;
    for (const predictor& pr : predictors) {
        const auto input = [&]() -> const std::vector<uint8_t>& {
            if (pr.filter == ovin::rowfilter::none) {
                return p.samples;
            }
            ovin::pngpredict(p.samples, p.rowbytes(), pixelbytes, pr.filter, predicted);
            return predicted;
        };
        if (pr.filter != ovin::rowfilter::none) {
            row(p, std::string("predictor") + pr.name + " alone", predicted.size(),
                milliseconds([&] { input(); }));
        }
        for (int level : {1, 6, 9}) {
            size_t size = 0;
            const double ms = milliseconds([&] { size = zlibstream(input(), level).size(); });
            row(p, "zlib " + std::to_string(level) + pr.name, size, ms);
        }
        const struct {
            const char* name;
            int level;
            int strategy;
        } strategies[] = {{"zlib 6 filtered", 6, Z_FILTERED},
                          {"zlib 1 rle", 1, Z_RLE},
                          {"zlib 6 rle", 6, Z_RLE},
                          {"zlib huffman", 6, Z_HUFFMAN_ONLY}};
        for (const auto& st : strategies) {
            size_t size = 0;
            const double ms =
                milliseconds([&] { size = zlibstream(input(), st.level, st.strategy).size(); });
            row(p, st.name + std::string(pr.name), size, ms);
        }
        for (int level : {1, 3, 4, 5, 6, 9, 12}) {
            const double ms = milliseconds([&] { ovin::zlibencode(input(), level, out); });
            row(p, "libdeflate " + std::to_string(level) + pr.name, out.size(), ms);
        }
    }
    // The compression stage as the document face runs it.
    ovin::imagedesc image;
    const double staged = milliseconds([&] {
        image = {};
        image.width = static_cast<int32_t>(p.width);
        image.height = static_cast<int32_t>(p.height);
        image.bitspercomponent = static_cast<uint16_t>(p.bits);
        image.colour = p.channels == 3 ? ovin::colourspace::rgb : ovin::colourspace::gray;
        image.data = p.samples;
        ovin::compressimage(image, {}, p.name);
    });
    const char* chosen = image.filter == ovin::pdffilter::ccittfax ? "Group 4"
                         : image.predictor.predictor == 15         ? "predicted"
                                                                   : "as it is";
    row(p, std::string("document face: ") + chosen, image.data.size(), staged);
    if (bilevel) {
        for (bool inverted : {false, true}) {
            const double ms = milliseconds(
                [&] { ovin::group4encode(p.samples, p.width, p.height, inverted, out); });
            row(p, std::string("Group 4") + (inverted ? " inverted" : ""), out.size(), ms);
        }
        // Group 4 stopped as soon as it passes libdeflate 6's size.
        std::vector<uint8_t> flate;
        ovin::zlibencode(p.samples, 6, flate);
        const double ms = milliseconds(
            [&] { ovin::group4encode(p.samples, p.width, p.height, false, out, flate.size()); });
        row(p, "Group 4 to libdeflate 6", out.size(), ms);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: %s [WORKDIR]\n", argv[0]);
        return 2;
    }
    const fs::path dir =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "ovinpdf-versus";
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::printf("%-22s %-26s %9s %8s %8s\n", "page", "coder", "MB", "ms", "MB/s");
    // The pages of the versus sets: uncompressed grey and colour TIFF and
    // the 8- and 24-bit BMPs hold these samples; the Group 4 strips decode
    // to the bilevel page (1 is black).
    measure(
        frompixels("grey scan (TIFF, BMP)", ovintest::greypage(kA4Width, kA4Height, 1, 1), 1, 8));
    measure(frompixels("colour scan (TIFF, BMP)", ovintest::rgbpage(kA4Width, kA4Height, 1), 3, 8));
    measure(
        frompixels("bilevel (Group 4)", ovintest::bilevelpage(kA4Width, kA4Height, 4, 1), 1, 1));
    measure(scanned(dir, "scancolorpnm", "scanimage colour", {"--mode", "Color"}));
    measure(scanned(dir, "scangraypnm", "scanimage grey", {"--mode", "Gray"}));
    measure(
        scanned(dir, "scanlineartpnm", "scanimage line art", {"--mode", "Gray", "--depth", "1"}));
    return 0;
}
