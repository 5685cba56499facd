// Throughput of whole conversions on A4 pages at 300 dpi, against the floor
// of reading and writing the same bytes with cat.
//
//   build/bench/bench_throughput [WORKDIR] [PAGES]
//
// Sets: colour JPEGs, single-strip Group 4 TIFFs, one 100-page Group 4
// TIFF, and multi-strip Group 4 TIFFs (converted page by page, compared
// with libtiff's tiffcp -c g4 doing the same re-encoding). For each set it
// prints MB/s of input, pages/s, peak memory of the conversion and the
// ratio of its wall time to cat's, plain and with the output synced to
// disk (every saved PDF is, before it replaces the target).
#include "childrun.h"
#include "core/library.h"
#include "jpegfixtures.h"
#include "tifffixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kA4Width = 2480;
constexpr uint32_t kA4Height = 3508;

using ovinbench::outcome;

// The best of three runs, each in a child process: the shortest time, the
// largest peak.
template <typename Work> outcome measure(Work work) {
    outcome best = ovinbench::inchild(work);
    for (int run = 1; run < 3; ++run) {
        outcome o = ovinbench::inchild(work);
        best.seconds = std::min(best.seconds, o.seconds);
        best.peakkb = std::max(best.peakkb, o.peakkb);
        best.ok = best.ok && o.ok;
    }
    return best;
}

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

outcome runshell(const std::string& command) {
    return measure([&] { return std::system(command.c_str()) == 0; });
}

uint64_t bytesof(const std::vector<std::string>& files) {
    uint64_t total = 0;
    for (const std::string& f : files) {
        total += fs::file_size(f);
    }
    return total;
}

void report(const char* set, const std::vector<std::string>& files, int pages, const outcome& run,
            const outcome& floor, const outcome& durable, uint64_t largestpage) {
    const double mb = static_cast<double>(bytesof(files)) / 1e6;
    std::printf("%-28s %4d pages %8.1f MB  %7.1f MB/s %7.1f pages/s  peak %6.1f MB "
                "(largest page + 64 MB = %.1f MB)  %5.2f x cat  %5.2f x cat+sync%s\n",
                set, pages, mb, mb / run.seconds, pages / run.seconds,
                static_cast<double>(run.peakkb) / 1024.0,
                static_cast<double>(largestpage) / 1e6 + 64, run.seconds / floor.seconds,
                run.seconds / durable.seconds, run.ok ? "" : "  FAILED");
}

outcome convert(const std::vector<std::string>& files, const std::string& pdf,
                const std::string& temp) {
    return measure([&] {
        ovin::Library lib;
        lib.pdfinit(0, temp);
        for (const std::string& f : files) {
            if (lib.pdfaddimage(f) != 0) {
                return false;
            }
        }
        return lib.pdfsave(pdf) == 0;
    });
}

// cat reading the files and writing them to one file; with `durable`, the
// file is also synced to disk as the library does with every PDF it saves.
outcome catfloor(const std::vector<std::string>& files, const std::string& out, bool durable) {
    std::string command = "cat";
    for (const std::string& f : files) {
        command += " " + quoted(f);
    }
    command += " > " + quoted(out);
    if (durable) {
        command += " && sync " + quoted(out);
    }
    return runshell(command);
}

struct corpus {
    std::vector<std::string> jpegs;
    std::vector<std::string> g4;
    std::vector<std::string> multistrip;
    std::string book;
};

// Writes the files that are not there yet. Its buffers are gone before
// anything is measured, so they do not count in the peak memory.
corpus makecorpus(const fs::path& dir, int count) {
    std::fprintf(stderr, "making the corpus in %s ...\n", dir.c_str());
    corpus c;
    std::vector<std::string>& jpegs = c.jpegs;
    std::vector<uint8_t> colour = ovintest::jpegpattern(kA4Width, kA4Height, 3);
    for (int k = 0; k < count; ++k) {
        jpegs.push_back((dir / ("colour" + std::to_string(k) + ".jpg")).string());
        if (!fs::exists(jpegs.back())) {
            ovintest::jpegoptions o;
            o.quality = 80 + k % 10;
            ovintest::savejpeg(jpegs.back(), ovintest::makejpeg(kA4Width, kA4Height, colour, o));
        }
    }
    std::vector<std::string>& g4 = c.g4;
    std::vector<std::string>& multistrip = c.multistrip;
    std::vector<ovintest::tiffpage> book;
    for (int k = 0; k < count; ++k) {
        ovintest::tiffpage page =
            ovintest::bilevelpage(kA4Width, kA4Height, 4, static_cast<uint32_t>(k + 1));
        g4.push_back((dir / ("g4_" + std::to_string(k) + ".tif")).string());
        if (!fs::exists(g4.back())) {
            ovintest::writetiff(g4.back(), {page});
        }
        page.rowsperstrip = 64;
        multistrip.push_back((dir / ("strips_" + std::to_string(k) + ".tif")).string());
        if (!fs::exists(multistrip.back())) {
            ovintest::writetiff(multistrip.back(), {page});
        }
    }
    c.book = (dir / "book100.tif").string();
    const std::string& bookfile = c.book;
    if (!fs::exists(bookfile)) {
        for (int k = 0; k < 100; ++k) {
            book.push_back(
                ovintest::bilevelpage(kA4Width, kA4Height, 4, static_cast<uint32_t>(100 + k)));
        }
        ovintest::writetiff(bookfile, book);
    }

    return c;
}

} // namespace

int main(int argc, char** argv) {
    fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "ovinpdf-bench";
    const int count = argc > 2 ? std::atoi(argv[2]) : 20;
    fs::create_directories(dir);
    const std::string temp = (dir / "OVINPDF.TMP").string();
    const std::string pdf = (dir / "out.pdf").string();
    const std::string catout = (dir / "cat.out").string();

    corpus c = makecorpus(dir, count);
    const std::vector<std::string>& jpegs = c.jpegs;
    const std::vector<std::string>& g4 = c.g4;
    const std::vector<std::string>& multistrip = c.multistrip;
    const std::string& bookfile = c.book;

    auto largest = [](const std::vector<std::string>& files) {
        uint64_t m = 0;
        for (const std::string& f : files) {
            m = std::max<uint64_t>(m, fs::file_size(f));
        }
        return m;
    };

    struct set {
        const char* name;
        std::vector<std::string> files;
        int pages;
    };
    std::vector<set> sets = {{"colour JPEG", jpegs, count},
                             {"single-strip Group 4 TIFF", g4, count},
                             {"100-page Group 4 TIFF", {bookfile}, 100},
                             {"multi-strip Group 4 TIFF", multistrip, count}};
    for (const set& s : sets) {
        catfloor(s.files, catout, false); // warm the page cache
        outcome floor = catfloor(s.files, catout, false);
        outcome durable = catfloor(s.files, catout, true);
        outcome run = convert(s.files, pdf, temp);
        uint64_t page = s.pages == 100 ? largest(s.files) / 100 : largest(s.files);
        report(s.name, s.files, s.pages, run, floor, durable, page);
    }

    // The same re-encoding by libtiff's own tool, one file after the other.
    std::string command = "for f in";
    for (const std::string& f : multistrip) {
        command += " " + quoted(f);
    }
    command += "; do tiffcp -s -r 100000 -c g4 \"$f\" " + quoted((dir / "tiffcp.tif").string()) +
               " || exit 1; done";
    outcome tiffcp = runshell(command);
    outcome ours = convert(multistrip, pdf, temp);
    std::printf("multi-strip re-encoding: ovinpdf %.2f s, tiffcp -c g4 %.2f s, ratio %.2f\n",
                ours.seconds, tiffcp.seconds, ours.seconds / tiffcp.seconds);
    fs::remove(pdf);
    fs::remove(catout);
    return 0;
}
