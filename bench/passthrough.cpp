// Speed of the command-line tool on many small files whose coded data goes
// into the PDF unchanged, against copying the same bytes into one file with
// cat and syncing it.
//
//   build/bench/bench_passthrough [WORKDIR] [FILES] [RUNS]
//
// Sets, A4 at 300 dpi, FILES pages each (default 100):
//  * Group 4 TIFFs, one a page, each page one strip, made like a scanned
//    typed page (tens of KB a file);
//  * the same pages as one multi-page TIFF file;
//  * colour JPEGs, one a page (those of bench_versus_img2pdf), as a control.
//
// Each figure is the best of RUNS runs (default 5), each a fresh process:
// `ovinpdf -q FILES... -o OUT.pdf` (the PDF removed before each run), cat of
// the files into one file, and cat followed by `sync` of that file (ovinpdf
// syncs the PDF it saves, once, before giving it its name). Each PDF is
// checked once with qpdf --check and its pages counted. Corpus, outputs and
// the tool's temporary files live in WORKDIR; the corpus stays there for the
// next run.
//
// Target: ovinpdf time / (cat + sync) time <= 1.2.
#include "a4pages.h"
#include "toolrun.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kDefaultFiles = 100;
constexpr uint32_t kMostFiles = 1000;
constexpr uint32_t kDefaultRuns = 5;
constexpr uint32_t kMostRuns = 100;
constexpr double kTarget = 1.2;

struct tools {
    std::string ovinpdf = OVINPDF_CLI;
    std::string qpdf, cat, sync;
};

void writetypedpages(const std::string& path, uint32_t first, uint32_t count) {
    std::vector<ovinbench::strippage> pages;
    for (uint32_t k = first; k < first + count; ++k) {
        pages.push_back(ovinbench::typedpage(k));
    }
    ovinbench::mustwrite(ovinbench::writestripfile(path, pages), path);
}

void printheader() {
    std::printf("%-30s %5s %5s %7s %7s | %7s %7s %7s | %-14s %-14s | %s\n", "set", "files", "pages",
                "input", "PDF", "ovinpdf", "cat", "cat", "time", "time", "ovinpdf over");
    std::printf("%-30s %5s %5s %7s %7s | %7s %7s %7s | %-14s %-14s | %s\n", "", "", "", "MB", "MB",
                "s", "s", "+sync s", "ovin/cat", "ovin/cat+sync", "cat+sync, ms a page");
}

void runset(const ovinbench::workplace& w, const tools& t, const std::string& name,
            const std::vector<std::string>& files, size_t pages, int runs) {
    uint64_t inbytes = 0;
    for (const std::string& f : files) {
        inbytes += fs::file_size(f);
    }
    const auto [cat, catsync] = ovinbench::timecat(w, t.cat, t.sync, files, runs);
    const std::string pdf = w.file("ovinpdf.pdf");
    std::vector<std::string> argv = {t.ovinpdf, "-q"};
    argv.insert(argv.end(), files.begin(), files.end());
    argv.insert(argv.end(), {"-o", pdf});
    const ovinbench::conversion ours = ovinbench::convert(w, t.qpdf, argv, pdf, pages, runs);

    const double mb = static_cast<double>(inbytes) / 1e6;
    std::printf("%-30s %5zu %5zu %7.2f ", name.c_str(), files.size(), pages, mb);
    if (!ours.usable()) {
        const char* what = !ours.time.ok ? (ours.time.crashed ? "crashed" : "refused") : "BROKEN";
        std::printf("%7s |\n    ovinpdf %s: %s\n", what, what,
                    (ours.time.ok ? ours.broken : ours.time.message).c_str());
    } else if (!cat.ok || !catsync.ok) {
        std::printf("%7.2f | %7.3f |\n    cat failed: %s\n", static_cast<double>(ours.bytes) / 1e6,
                    ours.time.seconds, (cat.ok ? catsync : cat).message.c_str());
    } else {
        const double s = ours.time.seconds;
        std::printf("%7.2f | %7.3f %7.3f %7.3f | %s %s | %8.2f\n",
                    static_cast<double>(ours.bytes) / 1e6, s, cat.seconds, catsync.seconds,
                    ovinbench::cell(ovinbench::against(s / cat.seconds, kTarget)).c_str(),
                    ovinbench::cell(ovinbench::against(s / catsync.seconds, kTarget)).c_str(),
                    (s - catsync.seconds) * 1e3 / static_cast<double>(pages));
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 4) {
        std::fprintf(stderr, "usage: %s [WORKDIR] [FILES] [RUNS]\n", argv[0]);
        return 2;
    }
    const std::optional<uint32_t> count = argc > 2 ? ovinbench::wholenumber(argv[2], kMostFiles)
                                                   : std::optional<uint32_t>(kDefaultFiles);
    const std::optional<uint32_t> runs = argc > 3 ? ovinbench::wholenumber(argv[3], kMostRuns)
                                                  : std::optional<uint32_t>(kDefaultRuns);
    if (!count || !runs) {
        std::fprintf(stderr, "FILES must be a whole number from 1 to %u, RUNS from 1 to %u\n",
                     kMostFiles, kMostRuns);
        return 2;
    }
    const fs::path dir =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "ovinpdf-passthrough";
    const std::optional<ovinbench::workplace> opened = ovinbench::openworkplace(dir);
    if (!opened) {
        std::fprintf(stderr, "cannot make the folder %s\n", dir.c_str());
        return 1;
    }
    const ovinbench::workplace& w = *opened;

    tools t;
    t.qpdf = ovinbench::onpath("qpdf");
    t.cat = ovinbench::onpath("cat");
    t.sync = ovinbench::onpath("sync");
    if (t.qpdf.empty() || t.cat.empty() || t.sync.empty()) {
        std::fprintf(stderr, "qpdf, cat and sync are needed on PATH (scripts/setup installs "
                             "them)\n");
        return 1;
    }

    const uint32_t n = *count;
    const int r = static_cast<int>(*runs);
    std::printf("ovinpdf against cat on %u pass-through pages a set in %s, best of %d runs\n", n,
                w.dir.c_str(), r);
    try {
        printheader();
        const std::vector<std::string> single = ovinbench::pagefiles(
            w.dir / "g4typed", "tif", n,
            [](const std::string& path, uint32_t k) { writetypedpages(path, k, 1); });
        runset(w, t, "Group 4 TIFF, one strip", single, n, r);

        char name[32];
        std::snprintf(name, sizeof name, "pages%03u.tif", n);
        const fs::path book = w.dir / "g4book" / name;
        fs::create_directories(book.parent_path());
        ovinbench::madeonce(book, [n](const std::string& path) { writetypedpages(path, 0, n); });
        runset(w, t, "Group 4 TIFF, all in one file", {book.string()}, n, r);

        runset(w, t, "colour JPEG (control)",
               ovinbench::pagefiles(w.dir / "jpeg", "jpg", n, ovinbench::writecolourjpeg), n, r);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_passthrough: %s\n", e.what());
        return 1;
    }
    std::printf("target: time ovin/cat+sync <= %.1f (ovinpdf syncs its PDF; ovin/cat is shown "
                "without a verdict of its own). MB = 10^6 bytes. The corpus stays in %s.\n",
                kTarget, w.dir.c_str());
    return 0;
}
