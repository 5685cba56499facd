// The about and warnings windows: texts, geometry, Esc, the web address and
// the cursor over it.
#include "aboutwindow.h"
#include "fakedialogs.h"
#include "warningswindow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

class TestSecondaryWindows : public QObject {
    Q_OBJECT

private slots:
    void aboutShowsNameVersionAndLogo();
    void aboutClosesWithEscAndOk();
    void webAddressOpensAndWindowStays();
    void handCursorOnlyOverTheAddress();
    void warningsListsLinesInOrder();
    void warningsClosesWithEscAndExit();
};

void TestSecondaryWindows::aboutShowsNameVersionAndLogo() {
    FakeDialogs dialogs;
    Taboutfrm about(dialogs);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.windowTitle(), QString("About"));
    QCOMPARE(about.size(), QSize(350, 187));
    QCOMPARE(about.proglab()->text(), QString("Zentro PDF"));
    QCOMPARE(about.verlab()->text(), QString("Version 1.0"));
    QCOMPARE(about.logo()->geometry(), QRect(16, 16, 200, 59));
    QVERIFY(!about.logo()->pixmap().isNull());
    QCOMPARE(about.okbtn()->size(), QSize(75, 25));
    QCOMPARE(about.okbtn()->y(), 152);
    QVERIFY(about.okbtn()->x() >= 138);
    QVERIFY(about.okbtn()->geometry().right() < about.width());
    QCOMPARE(about.okbtn()->text(), QString("&OK"));
    QCOMPARE(about.weblink()->pos(), QPoint(16, 160));
    QVERIFY(about.weblink()->font().underline());
    QCOMPARE(about.font().pixelSize(), 11);
    // The address and the button do not overlap.
    QVERIFY(!about.weblink()->geometry().intersects(about.okbtn()->geometry()));
}

void TestSecondaryWindows::aboutClosesWithEscAndOk() {
    FakeDialogs dialogs;
    Taboutfrm about(dialogs);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    // Esc reaches the window before the focused button.
    about.okbtn()->setFocus();
    QTest::keyClick(about.okbtn(), Qt::Key_Escape);
    QVERIFY(!about.isVisible());

    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::keyClick(&about, Qt::Key_A);
    QVERIFY(about.isVisible());
    QTest::mouseClick(about.okbtn(), Qt::LeftButton);
    QVERIFY(!about.isVisible());
}

void TestSecondaryWindows::webAddressOpensAndWindowStays() {
    FakeDialogs dialogs;
    Taboutfrm about(dialogs);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(about.weblink(), Qt::LeftButton);
    QCOMPARE(dialogs.openedUrls, QList<QUrl>({QUrl("http://www.zentropdf.example")}));
    QVERIFY(about.isVisible());
}

void TestSecondaryWindows::handCursorOnlyOverTheAddress() {
    FakeDialogs dialogs;
    Taboutfrm about(dialogs);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const Qt::CursorShape saved = about.savedcursor().shape();
    QCOMPARE(about.cursor().shape(), saved);

    QTest::mouseMove(about.weblink(), about.weblink()->rect().center());
    QTRY_COMPARE(about.cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(&about, QPoint(300, 20));
    QTRY_COMPARE(about.cursor().shape(), saved);

    // Closed while the hand is up, the window opens again with the normal
    // cursor.
    about.weblinkMouseMove(true);
    about.close();
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.cursor().shape(), Qt::ArrowCursor);
}

void TestSecondaryWindows::warningsListsLinesInOrder() {
    Twarningsfrm warnings;
    QCOMPARE(warnings.windowTitle(), QString("Errors / Warnings"));
    QCOMPARE(warnings.size(), QSize(721, 408));
    QCOMPARE(warnings.exitbtn()->text(), QString("      E&xit     "));
    QVERIFY(warnings.warns()->isReadOnly());
    QCOMPARE(warnings.warns()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(warnings.warns()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(warnings.warns()->palette().color(QPalette::Base),
             warnings.palette().color(QPalette::ToolTipBase));

    QCOMPARE(warnings.lineCount(), 0);
    warnings.addLine("WARNING : one");
    warnings.addLine("WARNING : two");
    warnings.addLine("WARNING : three");
    QCOMPARE(warnings.lineCount(), 3);
    QCOMPARE(warnings.lines(), QStringList({"WARNING : one", "WARNING : two", "WARNING : three"}));
    warnings.clearLines();
    QCOMPARE(warnings.lineCount(), 0);
    QVERIFY(warnings.lines().isEmpty());
}

void TestSecondaryWindows::warningsClosesWithEscAndExit() {
    Twarningsfrm warnings;
    warnings.show();
    QVERIFY(QTest::qWaitForWindowExposed(&warnings));
    QTest::keyClick(warnings.warns(), Qt::Key_Escape);
    QVERIFY(!warnings.isVisible());

    warnings.show();
    QVERIFY(QTest::qWaitForWindowExposed(&warnings));
    QTest::mouseClick(warnings.exitbtn(), Qt::LeftButton);
    QVERIFY(!warnings.isVisible());
}

QTEST_MAIN(TestSecondaryWindows)
#include "tst_secondary.moc"
