// Text recognition: ovinpdf --ocr=eng against ocrmypdf -l eng and against
// the limit, Tesseract's own single-thread time per page summed and divided
// by the cores.
//
//   build/bench/bench_ocr [WORKDIR] [PAGES] [RUNS]
//
// The pages (default 20) are A4 at 300 dpi, grey JPEGs of lines of English
// words drawn by the benchmark (tests/support/textscan.h). Each figure is
// the best of RUNS runs (default 1), each a fresh process: ovinpdf on all
// the pages into one PDF; ocrmypdf on the same pages as a PDF without text
// (made by ovinpdf, not timed), when ocrmypdf is installed (it is skipped
// otherwise); and the tesseract program on each page alone with one thread
// (OMP_THREAD_LIMIT=1), its times summed and divided by the cores. Every
// PDF is checked with qpdf --check and its pages counted; ovinpdf's text is
// compared with the words drawn.
//
// Targets: ovinpdf time / ocrmypdf time <= 0.6, ovinpdf time / limit <= 1.15.
#include "jpegfixtures.h"
#include "pdftools.h"
#include "textscan.h"
#include "toolrun.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    // Each figure as soon as it is measured, into a log too.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const fs::path dir =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "ovin_bench_ocr";
    const uint32_t pages = argc > 2 ? ovinbench::wholenumber(argv[2], 1000).value_or(20) : 20;
    const int runs =
        argc > 3 ? static_cast<int>(ovinbench::wholenumber(argv[3], 20).value_or(1)) : 1;
    const std::optional<ovinbench::workplace> place = ovinbench::openworkplace(dir);
    if (!place) {
        std::fprintf(stderr, "bench_ocr: cannot make %s\n", dir.c_str());
        return 1;
    }
    const ovinbench::workplace& w = *place;
    const std::string qpdf = ovinbench::onpath("qpdf");
    const std::string tool = OVINPDF_CLI;

    std::vector<std::string> files;
    std::set<std::string> drawn;
    for (uint32_t k = 0; k < pages; ++k) {
        const ovintest::textscan scan = ovintest::scantext(ovintest::letterlines(36, k + 1));
        for (const ovintest::drawnword& word : scan.words) {
            drawn.insert(word.text);
        }
        const std::string file = w.file("page" + std::to_string(k + 1) + ".jpg");
        if (!fs::exists(file)) {
            ovintest::jpegoptions options;
            options.components = 1;
            ovintest::savejpeg(file, ovintest::makejpeg(static_cast<uint32_t>(scan.width),
                                                        static_cast<uint32_t>(scan.height),
                                                        scan.grey, options));
        }
        files.push_back(file);
    }
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    std::printf("%u A4 pages at 300 dpi (grey JPEG), %u cores, best of %d\n", pages, cores, runs);

    // ovinpdf.
    std::vector<std::string> ours{tool, "-q", "--ocr=eng"};
    ours.insert(ours.end(), files.begin(), files.end());
    const std::string ourpdf = w.file("ovinpdf.pdf");
    ours.insert(ours.end(), {"-o", ourpdf});
    const ovinbench::conversion mine = ovinbench::convert(w, qpdf, ours, ourpdf, pages, runs);
    double ourtime = 0;
    if (!mine.usable()) {
        std::printf("ovinpdf --ocr=eng: %s%s\n", mine.time.message.c_str(), mine.broken.c_str());
    } else {
        ourtime = mine.time.seconds;
        // Run once more to keep the file for its words.
        ovinbench::timeonce(w, {{ours, {}}});
        std::istringstream text(ovintest::pdftotext(ourpdf));
        size_t found = 0, total = 0;
        std::set<std::string> words;
        for (std::string word; text >> word;) {
            words.insert(word);
        }
        for (const std::string& word : drawn) {
            ++total;
            found += words.count(word);
        }
        std::printf("ovinpdf --ocr=eng          %8.2f s  (%zu of %zu distinct words found)\n",
                    ourtime, found, total);
    }

    // The limit: Tesseract alone on one thread, page by page.
    const std::string tesseract = ovinbench::onpath("tesseract");
    double limit = 0;
    if (tesseract.empty()) {
        std::printf("tesseract program not installed (tesseract-ocr): no limit measured\n");
    } else {
        double sum = 0;
        ovinbench::workplace single = w;
        single.env.push_back("OMP_THREAD_LIMIT=1");
        for (const std::string& file : files) {
            const ovinbench::timing t = ovinbench::best(
                single, {{{tesseract, file, w.file("tess"), "-l", "eng", "pdf"}, {}}}, runs);
            if (!t.ok) {
                std::printf("tesseract: %s\n", t.message.c_str());
                sum = 0;
                break;
            }
            sum += t.seconds;
        }
        limit = sum / cores;
        std::printf(
            "tesseract, 1 thread a page %8.2f s summed, %.2f s a page; / %u cores = %.2f s\n", sum,
            sum / pages, cores, limit);
    }

    // ocrmypdf on the same pages as a PDF without text.
    const std::string ocrmypdf = ovinbench::onpath("ocrmypdf");
    double theirs = 0;
    if (ocrmypdf.empty()) {
        std::printf("ocrmypdf not installed: skipped\n");
    } else {
        std::vector<std::string> plain{tool, "-q"};
        plain.insert(plain.end(), files.begin(), files.end());
        plain.insert(plain.end(), {"-o", w.file("plain.pdf")});
        ovinbench::timeonce(w, {{plain, {}}});
        const std::string out = w.file("ocrmypdf.pdf");
        const ovinbench::conversion c = ovinbench::convert(
            w, qpdf, {ocrmypdf, "-q", "-l", "eng", w.file("plain.pdf"), out}, out, pages, runs);
        if (!c.usable()) {
            std::printf("ocrmypdf -l eng: %s%s\n", c.time.message.c_str(), c.broken.c_str());
        } else {
            theirs = c.time.seconds;
            std::printf("ocrmypdf -l eng            %8.2f s\n", theirs);
        }
    }
    if (ourtime > 0 && theirs > 0) {
        std::printf("ovinpdf / ocrmypdf         %8.2f   (target <= 0.6)\n", ourtime / theirs);
    }
    if (ourtime > 0 && limit > 0) {
        std::printf("ovinpdf / limit            %8.2f   (target <= 1.15)\n", ourtime / limit);
    }
    return ourtime > 0 ? 0 : 1;
}
