// Start-up of the desktop program: the application title, then the main,
// about and warnings windows in that order, then the event loop until the
// main window closes.
#include "aboutwindow.h"
#include "appinfo.h"
#include "mainwindow.h"
#include "qtdialogs.h"
#include "warningswindow.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(zentro::kAppTitle));
    // Lets the desktop match the windows to zentropdf.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("zentropdf"));

    QtDialogs dialogs;
    TMain Main(dialogs);
    Taboutfrm aboutfrm(dialogs);
    Twarningsfrm warningsfrm;
    Main.setSecondaryWindows(&aboutfrm, &warningsfrm);

    Main.show();
    return QApplication::exec();
}
