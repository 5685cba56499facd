// zentropdf_screenshot OUT.png IMAGE...: opens the main window, adds the
// images as one batch, selects the first page of the first image named once
// every thumbnail is made, and saves a picture of the window.
// Used by scripts/screenshot for the README; no box or dialog is ever shown.
#include "aboutwindow.h"
#include "fakedialogs.h"
#include "fileslist.h"
#include "mainwindow.h"
#include "pagereader.h"
#include "warningswindow.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zentro PDF"));
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: zentropdf_screenshot OUT.png IMAGE...\n");
        return 2;
    }

    FakeDialogs dialogs;
    TMain Main(dialogs);
    Taboutfrm aboutfrm(dialogs);
    Twarningsfrm warningsfrm;
    Main.setSecondaryWindows(&aboutfrm, &warningsfrm);
    Main.show();
    QStringList files;
    for (const QString& name : args.mid(2)) {
        files << QFileInfo(name).absoluteFilePath();
    }
    Main.addfiles(files);
    Main.reader().waitForIdle();
    // The first image named is the one previewed, wherever the sorting put it.
    const QList<Page>& pages = Main.pages().pages();
    const auto first = std::find_if(pages.begin(), pages.end(),
                                    [&](const Page& p) { return p.file == files.first(); });
    Main.selectRows({first == pages.end() ? 0 : static_cast<int>(first - pages.begin())});
    Main.fileslbClick();

    int result = 1;
    // Grab once the window is laid out, painted and every picture is in.
    QTimer::singleShot(300, &Main, [&] {
        QApplication::processEvents();
        Main.reader().waitForIdle();
        QApplication::processEvents();
        result = Main.grab().save(args.at(1)) ? 0 : 1;
        QCoreApplication::exit(0);
    });
    QApplication::exec();
    return result;
}
