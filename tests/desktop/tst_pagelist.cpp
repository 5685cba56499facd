// The page list's rules on the model alone: the order of a batch and where
// moved pages land. The main window's tests drive them through the window.
#include "pagelist.h"

#include <QTest>

namespace {

// Pages named by their starting rows: "0123".
QList<Page> numbered(int count) {
    QList<Page> pages;
    for (int i = 0; i < count; ++i) {
        Page page;
        page.file = QString::number(i);
        page.id = static_cast<quint64>(i + 1);
        pages << page;
    }
    return pages;
}

QString order(const QList<Page>& pages) {
    QString text;
    for (const Page& page : pages) {
        text += page.file;
    }
    return text;
}

} // namespace

class TestPageList : public QObject {
    Q_OBJECT

private slots:
    void batchFollowsFileManagerOrder();
    void selectedPagesMoveTogether_data();
    void selectedPagesMoveTogether();
};

void TestPageList::batchFollowsFileManagerOrder() {
    QStringList batch{"/s/Scan 10.jpg", "/s/scan 2.jpg", "/s/Scan 1.png",
                      "/s/b.tif",       "/s/A.tif",      "/s/scan 02b.jpg"};
    PageList::sortBatch(batch);
    QCOMPARE(batch, QStringList({"/s/A.tif", "/s/b.tif", "/s/Scan 1.png", "/s/scan 2.jpg",
                                 "/s/scan 02b.jpg", "/s/Scan 10.jpg"}));
}

void TestPageList::selectedPagesMoveTogether_data() {
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("target"); // a drop target, or a step for Move
    QTest::addColumn<bool>("drop");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one dropped on a later page lands after it")
        << QList<int>{0} << 2 << true << "1203";
    QTest::newRow("one dropped on an earlier page lands before it")
        << QList<int>{3} << 1 << true << "0312";
    QTest::newRow("two dropped later") << QList<int>{0, 1} << 3 << true << "2301";
    QTest::newRow("two apart dropped earlier") << QList<int>{1, 3} << 0 << true << "1302";
    QTest::newRow("dropped below the last") << QList<int>{1} << -1 << true << "0231";
    QTest::newRow("dropped on itself") << QList<int>{1, 2} << 2 << true << "0123";
    QTest::newRow("up one") << QList<int>{1, 2} << -1 << false << "1203";
    QTest::newRow("up with the first held") << QList<int>{0, 2} << -1 << false << "0213";
    QTest::newRow("down one") << QList<int>{1, 2} << 1 << false << "0312";
    QTest::newRow("down at the end") << QList<int>{3} << 1 << false << "0123";
    QTest::newRow("to the top") << QList<int>{1, 3} << -2 << false << "1302";
    QTest::newRow("to the bottom") << QList<int>{0, 2} << 2 << false << "1302";
}

void TestPageList::selectedPagesMoveTogether() {
    QFETCH(QList<int>, rows);
    QFETCH(int, target);
    QFETCH(bool, drop);
    QFETCH(QString, expected);
    const QList<Page> pages = numbered(4);
    QCOMPARE(
        order(drop ? PageList::moved(pages, rows, target) : PageList::stepped(pages, rows, target)),
        expected);
}

QTEST_GUILESS_MAIN(TestPageList)
#include "tst_pagelist.moc"
