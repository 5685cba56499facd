// Start-up of the desktop program: the translation for the person's
// language, the application title, then the main, about and warnings
// windows in that order, the files named on the command line, then the
// event loop until the main window closes.
#include "aboutwindow.h"
#include "appinfo.h"
#include "mainwindow.h"
#include "qtdialogs.h"
#include "warningswindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// The program's translations: beside the executable in the build tree,
// else in the installed data folder.
QStringList translationFolders() {
    const QString program = QCoreApplication::applicationDirPath();
    return {program + QStringLiteral("/translations"),
            program + QStringLiteral("/../share/zentropdf/translations")};
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zentropdf"));
    QApplication::setApplicationDisplayName(QString::fromUtf8(zentro::kAppTitle));
    QApplication::setOrganizationName(QStringLiteral("zentropdf"));
    // Lets the desktop match the windows to zentropdf.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("zentropdf"));

    QTranslator own;
    for (const QString& folder : translationFolders()) {
        if (own.load(QLocale(), QStringLiteral("zentropdf"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(&own);
            break;
        }
    }
    // Qt's own texts (the buttons of the file dialogs and boxes).
    QTranslator qt;
    if (qt.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qt);
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "Turns scanned images into one PDF."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QCoreApplication::translate("main", "Image files to list."),
                                 QStringLiteral("[FILE...]"));
    parser.process(app);

    QtDialogs dialogs;
    TMain Main(dialogs);
    Taboutfrm aboutfrm(dialogs);
    Twarningsfrm warningsfrm;
    Main.setSecondaryWindows(&aboutfrm, &warningsfrm);

    Main.show();
    QStringList files;
    for (const QString& name : parser.positionalArguments()) {
        files << QFileInfo(name).absoluteFilePath();
    }
    if (!files.isEmpty()) {
        Main.addfiles(files);
    }
    return QApplication::exec();
}
