// The one QApplication of the test program, made on first use so that a
// test can also run in a process that has none.
#pragma once

#include <QApplication>
#include <QByteArray>

inline QApplication& qtApp() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    }
    static int argc = 1;
    static char name[] = "qtui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}
