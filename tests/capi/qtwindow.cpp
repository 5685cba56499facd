// A Qt Widgets program that links only libovinpdf.so, as zentropdf does:
// a save for the caller's window must go through the library's progress
// window (made by its Qt module), a save for window 0 through none.
// Exits 0 when both hold.
#include "ovinpdf.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace {

bool saves(uintptr_t window, const char* pdf) {
    pdfinit(window, nullptr);
    pdfclear();
    return pdfaddtext("One") == 0 && pdfaddtext("Two") == 0 && pdfsave(pdf) == 0;
}

// The progress window stays, hidden, once a save has used it.
long progressWindows() {
    const auto windows = QApplication::topLevelWidgets();
    return std::count_if(windows.begin(), windows.end(), [](const QWidget* w) {
        return w->windowTitle() == QStringLiteral("Saving PDF...");
    });
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qtwindow OUT.pdf\n");
        return 2;
    }
    QApplication app(argc, argv);
    QWidget owner;
    owner.show();
    // Window 0 keeps the library headless; the window, once given, stays.
    const bool headless = saves(0, argv[1]) && progressWindows() == 0;
    const bool windowed =
        saves(static_cast<uintptr_t>(owner.winId()), argv[1]) && progressWindows() == 1;
    if (!headless || !windowed) {
        std::fprintf(stderr, "headless save %s, windowed save %s\n", headless ? "ok" : "failed",
                     windowed ? "ok" : "failed");
        return 1;
    }
    return 0;
}
