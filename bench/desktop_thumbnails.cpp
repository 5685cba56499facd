// bench_desktop_thumbnails [PAGES] [FOLDER]: the desktop program's main
// window given PAGES (500) A4 pages at 300 dpi, once as colour JPEG files
// and once as Group 4 TIFF files: the time until every file is read and
// listed, the time until every page has its thumbnail, and the process's
// peak memory. Twenty distinct pages of each kind are made once in FOLDER
// and linked under further names, so a run spends its time reading.
#include "a4pages.h"
#include "fakedialogs.h"
#include "mainwindow.h"
#include "pagereader.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QUndoStack>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>

namespace {

constexpr uint32_t kDistinct = 20;

std::vector<std::string> corpus(const std::filesystem::path& folder, const std::string& ext,
                                uint32_t pages,
                                const std::function<void(const std::string&, uint32_t)>& make) {
    const std::vector<std::string> distinct =
        ovinbench::pagefiles(folder / (ext + "-distinct"), ext, std::min(pages, kDistinct), make);
    return ovinbench::pagefiles(folder / ext, ext, pages, [&](const std::string& path, uint32_t k) {
        std::filesystem::create_hard_link(distinct.at(k % distinct.size()), path);
    });
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void run(const char* what, const std::vector<std::string>& files) {
    FakeDialogs dialogs;
    dialogs.answer = true;
    TMain main(dialogs);
    main.show();
    QStringList names;
    for (const std::string& file : files) {
        names << QString::fromStdString(file);
    }
    QElapsedTimer clock;
    clock.start();
    main.addfiles(names);
    main.reader().waitForIdle();
    const qint64 listed = clock.elapsed();
    // Every page's thumbnail, as scrolling through the whole list asks.
    for (int row = 0; row < main.pages().count(); ++row) {
        main.pages().data(main.pages().index(row), Qt::DecorationRole);
    }
    main.reader().waitForIdle();
    const qint64 thumbnails = clock.elapsed();
    std::printf("%-12s %5d pages  listed %6.2f s  all thumbnails %6.2f s  peak %5ld MB\n", what,
                main.pages().count(), static_cast<double>(listed) / 1000,
                static_cast<double>(thumbnails) / 1000, peakKilobytes() / 1024);
    main.undoStack().setClean();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const uint32_t pages = argc > 1 ? static_cast<uint32_t>(std::stoul(argv[1])) : 500;
    const std::filesystem::path folder =
        argc > 2 ? std::filesystem::path(argv[2])
                 : std::filesystem::temp_directory_path() / "ovinpdf-bench-a4";
    const auto jpegs = corpus(folder, "jpg", pages, ovinbench::writecolourjpeg);
    const auto tiffs = corpus(folder, "tif", pages, [](const std::string& path, uint32_t k) {
        ovinbench::mustwrite(ovinbench::writestripfile(path, {ovinbench::typedpage(k)}), path);
    });
    run("colour JPEG", jpegs);
    run("Group 4 TIFF", tiffs);
    return 0;
}
