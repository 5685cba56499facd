// zentropdf_screenshot OUT.png IMAGE...: opens the main window, adds the
// images as one batch, selects the first image named, and saves a picture of
// the window.
// Used by scripts/screenshot for the README; no box or dialog is ever shown.
#include "aboutwindow.h"
#include "dialogs.h"
#include "fileslist.h"
#include "mainwindow.h"
#include "warningswindow.h"

#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

class LoggingDialogs final : public Dialogs {
public:
    void message(QWidget*, const QString& text) override {
        std::fprintf(stderr, "zentropdf_screenshot: %s\n", qPrintable(text));
    }
    bool confirm(QWidget*, const QString&, const QString&) override { return false; }
    QStringList openFiles(QWidget*, const FileDialogRequest&) override { return {}; }
    void openUrl(const QUrl&) override {}
    void runModal(QDialog&) override {}

protected:
    QString askSaveFile(QWidget*, const FileDialogRequest&) override { return {}; }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zentro PDF"));
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: zentropdf_screenshot OUT.png IMAGE...\n");
        return 2;
    }

    LoggingDialogs dialogs;
    TMain Main(dialogs);
    Taboutfrm aboutfrm(dialogs);
    Twarningsfrm warningsfrm;
    Main.setSecondaryWindows(&aboutfrm, &warningsfrm);
    Main.show();
    Main.addfiles(args.mid(2));
    // The first image named is the one previewed, wherever the sorting put it.
    const QStringList entries = Main.entries();
    if (!entries.isEmpty()) {
        const int row = static_cast<int>(std::max<qsizetype>(entries.indexOf(args.at(2)), 0));
        Main.fileslb()->selectionModel()->setCurrentIndex(Main.pages().index(row),
                                                          QItemSelectionModel::ClearAndSelect);
    }

    int result = 1;
    // Grab once the window is laid out and painted.
    QTimer::singleShot(500, &Main, [&] {
        Main.fileslbClick();
        QApplication::processEvents();
        result = Main.grab().save(args.at(1)) ? 0 : 1;
        QApplication::quit();
    });
    QApplication::exec();
    return result;
}
