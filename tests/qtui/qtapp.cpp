#include "qtapp.h"

#include <QApplication>
#include <QByteArray>
#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<QApplication>& appHolder() {
    static std::unique_ptr<QApplication> app;
    return app;
}

// Takes the application down at the end of the run, while Qt's own statics
// still exist; destroyed among them after main it would crash.
class QtAppEnvironment final : public ::testing::Environment {
public:
    void TearDown() override { appHolder().reset(); }
};

[[maybe_unused]] ::testing::Environment* const qtenvironment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<QtAppEnvironment>().release());

} // namespace

QApplication& qtApp() {
    std::unique_ptr<QApplication>& app = appHolder();
    if (!app) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        }
        static int argc = 1;
        static char name[] = "qtui_tests";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
    }
    return *app;
}
