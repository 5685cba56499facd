// The page list's rules on the model alone: batches, removal and the drop
// rule. The main window's tests drive the same rules through the list view.
#include "fakedialogs.h"
#include "pagelist.h"

#include <QPersistentModelIndex>
#include <QTest>

class TestPageList : public QObject {
    Q_OBJECT

private slots:
    void batchesAreSortedEachAndRefusedTypesReported();
    void removeTakesTheGivenRows();
    void moveFollowsTheDropRule_data();
    void moveFollowsTheDropRule();
};

void TestPageList::batchesAreSortedEachAndRefusedTypesReported() {
    FakeDialogs dialogs;
    PageList pages(dialogs);
    pages.add({"/s/b.bmp", "/s/x.bmp", "/t/photo.jpeg", "/s/A.bmp", "/t/noext", "/s/X.bmp",
               "/t/dir.d/name", "/s/c.BMP", "/t/scan.tiff", "/t/Scan.JpG"});
    pages.add({"/s/a2.jpg", "/s/0.tif"});
    // Equal names but for case keep the order they came in; the second batch
    // follows the whole of the first.
    QCOMPARE(pages.entries(), QStringList({"/s/A.bmp", "/s/b.bmp", "/s/c.BMP", "/s/x.bmp",
                                           "/s/X.bmp", "/t/Scan.JpG", "/s/0.tif", "/s/a2.jpg"}));
    QCOMPARE(dialogs.messages,
             QStringList({"Unsupported image type ", "Unsupported image type ",
                          "Unsupported image type .JPEG", "Unsupported image type .TIFF"}));
}

void TestPageList::removeTakesTheGivenRows() {
    FakeDialogs dialogs;
    PageList pages(dialogs);
    pages.add({"/r/1.bmp", "/r/2.bmp", "/r/3.bmp", "/r/4.bmp", "/r/5.bmp"});
    pages.remove({3, 1, 3, 7, -1});
    QCOMPARE(pages.entries(), QStringList({"/r/1.bmp", "/r/3.bmp", "/r/5.bmp"}));
}

void TestPageList::moveFollowsTheDropRule_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("target"); // -1: below the last entry
    QTest::addColumn<QString>("result");
    QTest::newRow("E1 onto E3") << 0 << 2 << "2314";
    QTest::newRow("E4 onto E2") << 3 << 1 << "1423";
    QTest::newRow("E3 onto E4") << 2 << 3 << "1243";
    QTest::newRow("onto itself") << 1 << 1 << "1234";
    QTest::newRow("below E4") << 0 << -1 << "1234";
    QTest::newRow("past the end") << 0 << 4 << "1234";
    QTest::newRow("no drag") << -1 << 2 << "1234";
}

void TestPageList::moveFollowsTheDropRule() {
    QFETCH(int, from);
    QFETCH(int, target);
    QFETCH(QString, result);
    FakeDialogs dialogs;
    PageList pages(dialogs);
    pages.add({"/E1.bmp", "/E2.bmp", "/E3.bmp", "/E4.bmp"});
    // A view's selection follows the entry through the model's move.
    const QPersistentModelIndex dragged(pages.index(from));
    const bool moved = result != "1234";
    QCOMPARE(pages.move(from, target), moved);
    QString order;
    for (const QString& entry : pages.entries()) {
        order += entry.at(2);
    }
    QCOMPARE(order, result);
    if (moved) {
        QCOMPARE(dragged.row(), target);
    }
}

QTEST_MAIN(TestPageList)
#include "tst_pagelist.moc"
