#include "qt/progresswindow.h"

#include "qtapp.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using ovin::TProgress;

class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
    void TearDown() override {
        while (QGuiApplication::overrideCursor() != nullptr) {
            QGuiApplication::restoreOverrideCursor();
        }
    }
};

Qt::CursorShape overrideShape() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr ? cursor->shape() : Qt::BlankCursor;
}

TEST_F(ProgressWindow, HasTheDesignedLayout) {
    TProgress w;
    EXPECT_EQ(w.windowTitle(), "Saving PDF...");
    EXPECT_EQ(w.size(), QSize(370, 153));
    EXPECT_EQ(w.minimumSize(), QSize(370, 153));
    EXPECT_EQ(w.maximumSize(), QSize(370, 153));

    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    for (Qt::WindowType button : {Qt::WindowSystemMenuHint, Qt::WindowCloseButtonHint,
                                  Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint}) {
        EXPECT_FALSE(flags.testFlag(button)) << button;
    }
    EXPECT_EQ(w.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(w.font().pixelSize(), 11);

    EXPECT_EQ(w.pdf.pos(), QPoint(24, 16));
    EXPECT_EQ(w.pdf.font().pixelSize(), 13);
    EXPECT_EQ(w.statuspb.geometry(), QRect(35, 48, 300, 17));
    EXPECT_EQ(w.statuspb.minimum(), 0);
    EXPECT_EQ(w.statuspb.maximum(), 100);
    EXPECT_FALSE(w.statuspb.isTextVisible());
    EXPECT_EQ(w.status.pos(), QPoint(24, 88));
    EXPECT_EQ(w.status.font().pixelSize(), 13);
    EXPECT_EQ(w.status.text(), "PDF STATUS");
    // The label grows with its text instead of cutting it at a default width.
    EXPECT_GE(w.status.width(), w.status.sizeHint().width());
    EXPECT_EQ(w.cancelbtn.geometry(), QRect(147, 120, 75, 25));
    EXPECT_EQ(w.cancelbtn.text(), "Cancel");
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ProgressWindow, CancelIsTakenOnceAndClearedByTheNextShow) {
    TProgress w;
    w.show();
    EXPECT_FALSE(w.cancelled);
    EXPECT_TRUE(w.cancelbtn.isEnabled());

    QTest::mouseClick(&w.cancelbtn, Qt::LeftButton);
    EXPECT_TRUE(w.cancelled);
    EXPECT_FALSE(w.cancelbtn.isEnabled());
    QTest::mouseClick(&w.cancelbtn, Qt::LeftButton);
    EXPECT_TRUE(w.cancelled);

    w.hide();
    EXPECT_TRUE(w.cancelled); // the writer still reads it after the window is gone
    w.show();
    EXPECT_FALSE(w.cancelled);
    EXPECT_TRUE(w.cancelbtn.isEnabled());
    w.hide();
}

TEST_F(ProgressWindow, WaitCursorWhileShownAndTheEarlierCursorAfterwards) {
    TProgress w;
    w.show();
    EXPECT_EQ(overrideShape(), Qt::WaitCursor);
    EXPECT_FALSE(w.savedcursor.has_value());
    w.hide();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // The caller had a cursor of its own up: it comes back, and only our
    // wait cursor leaves the stack.
    QGuiApplication::setOverrideCursor(Qt::PointingHandCursor);
    w.show();
    EXPECT_EQ(overrideShape(), Qt::WaitCursor);
    ASSERT_TRUE(w.savedcursor.has_value());
    EXPECT_EQ(w.savedcursor->shape(), Qt::PointingHandCursor);
    w.hide();
    EXPECT_EQ(overrideShape(), Qt::PointingHandCursor);
    QGuiApplication::restoreOverrideCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // A hide without a show before it takes nothing off the stack.
    QGuiApplication::setOverrideCursor(Qt::IBeamCursor);
    w.FormHide();
    EXPECT_EQ(overrideShape(), Qt::IBeamCursor);
}

TEST_F(ProgressWindow, RefusesCloseRequestsAndGivesTheCursorBackWhenDestroyed) {
    {
        TProgress w;
        w.show();
        EXPECT_FALSE(w.close());
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(overrideShape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
