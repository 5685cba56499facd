// The main window on the screen the test runs with (a 1366 x 768 screen at
// scale 1 and at scale 2, see CMakeLists.txt): it opens within the
// available area, even when a larger size was kept from an earlier run.
#include "fakedialogs.h"
#include "fileslist.h"
#include "mainwindow.h"

#include <QFrame>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

class TestWindowFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void windowFitsTheScreen_data();
    void windowFitsTheScreen();
};

void TestWindowFit::windowFitsTheScreen_data() {
    QTest::addColumn<QRect>("kept");
    QTest::newRow("first run") << QRect();
    QTest::newRow("kept larger than the screen") << QRect(-50, -80, 3000, 2000);
}

void TestWindowFit::windowFitsTheScreen() {
    QFETCH(QRect, kept);
    FakeDialogs dialogs;
    {
        QSettings settings;
        settings.clear();
        if (kept.isValid()) {
            TMain earlier(dialogs);
            earlier.setGeometry(kept);
            settings.setValue("window/geometry", earlier.saveGeometry());
        }
    }
    TMain main(dialogs);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const QRect area = main.screen()->availableGeometry();
    QVERIFY2(area.contains(main.frameGeometry()), qPrintable(QString("%1,%2 %3x%4 in %5x%6")
                                                                 .arg(main.frameGeometry().x())
                                                                 .arg(main.frameGeometry().y())
                                                                 .arg(main.frameGeometry().width())
                                                                 .arg(main.frameGeometry().height())
                                                                 .arg(area.width())
                                                                 .arg(area.height())));
    // The list and the preview still have room.
    QVERIFY(main.fileslb()->height() > 50);
    QVERIFY(main.Panel1()->width() > 50);
}

QTEST_MAIN(TestWindowFit)
#include "tst_windowfit.moc"
