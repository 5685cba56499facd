#include "qt/progresswindow.h"
#include "qt/qtui.h"

#include "qtapp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using ovin::QtUi;
using ovin::TProgress;

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

class QtUiTest : public ::testing::Test {
protected:
    // Before any fixture and its widgets exist.
    static void SetUpTestSuite() { qtApp(); }

    void SetUp() override {
        owner.setFixedSize(200, 100);
        ownerbtn.setGeometry(10, 10, 120, 30);
        connect();
        owner.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
        ui = ovin::makeQtUi(static_cast<uintptr_t>(owner.winId()));
        ASSERT_NE(ui, nullptr);
    }
    void TearDown() override {
        ui.reset();
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
    void connect() {
        QObject::connect(&ownerbtn, &QPushButton::clicked, [this] { ++ownerclicks; });
    }
    TProgress& window() { return static_cast<QtUi&>(*ui).progressWindow(); }

    // Drives the window as a save's page loop does: a cancelled page is
    // skipped, otherwise announced, stepped and pumped, then written.
    std::vector<int> save(int pages) {
        std::vector<int> written;
        ui->progressShow("out.pdf", pages);
        for (int i = 0; i < pages; ++i) {
            if (ui->cancelled()) {
                continue;
            }
            ui->progressStatus("Adding text page " + std::to_string(i));
            ui->progressStep();
            ui->processMessages();
            written.push_back(i);
        }
        ui->progressFinish("Finalizing PDF output...");
        ui->progressClose();
        return written;
    }

    QWidget owner;
    QPushButton ownerbtn{&owner};
    int ownerclicks = 0;
    std::unique_ptr<ovin::Ui> ui;
};

TEST(MakeQtUi, NullForNoWindow) {
    qtApp();
    EXPECT_EQ(ovin::makeQtUi(0), nullptr);
}

// Exits 0 when neither no application object nor a plain QCoreApplication
// gets a Qt face.
[[noreturn]] void exitHeadlessOrNot() {
    bool headless = QCoreApplication::instance() == nullptr && ovin::makeQtUi(1) == nullptr;
    int argc = 1;
    char name[] = "core";
    char* argv[] = {name, nullptr};
    const QCoreApplication core(argc, argv);
    headless = headless && ovin::makeQtUi(1) == nullptr;
    std::exit(headless ? 0 : 1);
}

TEST(MakeQtUiDeathTest, NullWithoutAWidgetApplication) {
    // Runs in a fresh process, where no test has made the QApplication yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exitHeadlessOrNot(), ::testing::ExitedWithCode(0), "");
}

// The library's own state may outlive the caller's QApplication (it is
// released when the process ends); letting go of the Qt face then must not
// touch widgets whose application is gone.
[[noreturn]] void outliveTheApplication() {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    std::unique_ptr<ovin::Ui> ui;
    {
        int argc = 1;
        char name[] = "caller";
        char* argv[] = {name, nullptr};
        const QApplication app(argc, argv);
        QWidget owner;
        owner.show();
        ui = ovin::makeQtUi(static_cast<uintptr_t>(owner.winId()));
        // Still up, as after a save that never reached its end.
        ui->progressShow("out.pdf", 1);
    }
    ui.reset();
    std::exit(0);
}

TEST(MakeQtUiDeathTest, OutlivesTheApplication) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(outliveTheApplication(), ::testing::ExitedWithCode(0), "");
}

TEST_F(QtUiTest, DrivesTheWindowThroughASave) {
    TProgress& w = window();
    EXPECT_FALSE(w.isVisible());

    ui->progressShow("/tmp/scans/out.pdf", 3);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.pdf.text(), "/tmp/scans/out.pdf");
    EXPECT_GE(w.pdf.width(), w.pdf.sizeHint().width());
    EXPECT_EQ(w.statuspb.maximum(), 3);
    EXPECT_EQ(w.statuspb.value(), 0);
    EXPECT_TRUE(w.statuspb.isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(QApplication::activeModalWidget(), &w);
    EXPECT_EQ(w.windowHandle()->transientParent(), owner.windowHandle());
    const QRect screen = owner.screen()->availableGeometry();
    EXPECT_LE((w.geometry().center() - screen.center()).manhattanLength(), 2);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    // Status and step are painted before the step returns, with no event
    // processing in between; so is the closing status.
    PaintCounter counter;
    w.status.installEventFilter(&counter);
    ui->progressStatus("Adding image scan.tif (Page 2)");
    EXPECT_EQ(w.status.text(), "Adding image scan.tif (Page 2)");
    EXPECT_GE(w.status.width(), w.status.sizeHint().width());
    ui->progressStep();
    EXPECT_EQ(w.statuspb.value(), 1);
    EXPECT_GT(counter.paints, 0);

    counter.paints = 0;
    ui->progressFinish("Finalizing PDF output...");
    EXPECT_FALSE(w.statuspb.isVisible());
    EXPECT_EQ(w.status.text(), "Finalizing PDF output...");
    EXPECT_GT(counter.paints, 0);
    w.status.removeEventFilter(&counter);

    ui->progressClose();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(ui->cancelled());
}

TEST_F(QtUiTest, OnePageFillsTheBarWithOneStep) {
    ui->progressShow("one.pdf", 1);
    EXPECT_EQ(window().statuspb.maximum(), 1);
    ui->progressStep();
    EXPECT_EQ(window().statuspb.value(), window().statuspb.maximum());
    // A surplus step leaves the bar full rather than resetting it.
    ui->progressStep();
    EXPECT_EQ(window().statuspb.value(), 1);
    ui->progressClose();
}

TEST_F(QtUiTest, CallerWindowTakesNoInputWhileTheWindowIsUp) {
    const QPoint button = ownerbtn.geometry().center();
    ui->progressShow("out.pdf", 2);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    QTest::mouseClick(owner.windowHandle(), Qt::LeftButton, {}, button);
    EXPECT_EQ(ownerclicks, 0);
    ui->progressClose();
    QTest::mouseClick(owner.windowHandle(), Qt::LeftButton, {}, button);
    EXPECT_EQ(ownerclicks, 1);
}

TEST_F(QtUiTest, CancelDuringTheFirstPageSkipsTheRest) {
    TProgress& w = window();
    // Handled by the first pump, while page 0 is being announced.
    QTimer::singleShot(0, &w, [&w] { QTest::mouseClick(&w.cancelbtn, Qt::LeftButton); });
    EXPECT_EQ(save(4), std::vector<int>{0});
    EXPECT_TRUE(ui->cancelled());
    EXPECT_FALSE(w.cancelbtn.isEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // The next save starts afresh.
    EXPECT_EQ(save(3), (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(ui->cancelled());
    EXPECT_TRUE(w.cancelbtn.isEnabled());
}

TEST_F(QtUiTest, ShowingAgainWhileUpResetsTheWindowButNotTheCursorStack) {
    ui->progressShow("a.pdf", 2);
    QTest::mouseClick(&window().cancelbtn, Qt::LeftButton);
    ui->progressStep();
    ui->progressShow("b.pdf", 5);
    EXPECT_FALSE(ui->cancelled());
    EXPECT_TRUE(window().cancelbtn.isEnabled());
    EXPECT_EQ(window().statuspb.value(), 0);
    EXPECT_EQ(window().statuspb.maximum(), 5);
    ui->progressClose();
    // TearDown checks that a single close emptied the cursor stack.
}

TEST_F(QtUiTest, MessageIsAModalBoxOverTheCallersWindow) {
    QString title;
    QString text;
    QWidget* parent = nullptr;
    bool onlyok = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                title = box->windowTitle();
                text = box->text();
                parent = box->parentWidget();
                onlyok = box->buttons().size() == 1 && box->button(QMessageBox::Ok) != nullptr;
                box->button(QMessageBox::Ok)->click();
            }
        }
    });
    ui->message("Unable to remove corrupt pdf file /tmp/x.pdf");
    EXPECT_EQ(text, "Unable to remove corrupt pdf file /tmp/x.pdf");
    EXPECT_EQ(title, QCoreApplication::applicationName());
    EXPECT_EQ(parent, &owner);
    EXPECT_TRUE(onlyok);
}

TEST_F(QtUiTest, UnknownOwnerStillShowsTheWindowCentred) {
    ui = ovin::makeQtUi(0x7fff'fff0);
    ASSERT_NE(ui, nullptr);
    ui->progressShow("out.pdf", 1);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(window().windowHandle()->transientParent(), nullptr);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((window().geometry().center() - screen.center()).manhattanLength(), 2);
    ui->progressClose();
}

TEST_F(QtUiTest, CallsFromAnotherThreadLeaveTheWidgetsAlone) {
    std::thread other([this] {
        ui->progressShow("out.pdf", 1);
        ui->progressStatus("Adding text x");
        ui->message("never shown");
    });
    other.join();
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(window().status.text(), "PDF STATUS");
}

} // namespace
