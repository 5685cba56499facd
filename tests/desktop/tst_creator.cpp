// The creator against the real library, without any window: which pages
// reach the library, the text to show and the warning lines.
#include "bmpwriter.h"
#include "creator.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestCreator : public QObject {
    Q_OBJECT

private slots:
    void createsAndReports_data();
    void createsAndReports();

private:
    QTemporaryDir dir_;
};

void TestCreator::createsAndReports_data() {
    QTest::addColumn<QStringList>("pages"); // file names in dir_; "-" names a missing file
    QTest::addColumn<QString>("message");   // "%1": the output, "%2": the first page
    QTest::addColumn<bool>("warned");
    QTest::newRow("success") << QStringList({"ok", "ok2"}) << "%1 created successfully (0 warnings)"
                             << false;
    QTest::newRow("warnings are counted")
        << QStringList({"low", "ok"}) << "%1 created successfully (%3 warnings)" << true;
    QTest::newRow("stops at the first failure, still warns")
        << QStringList({"low", "-1", "-2"}) << "ERROR : File Not Found (%2-1.bmp)" << true;
    QTest::newRow("same page twice")
        << QStringList({"ok", "ok"}) << "ERROR : Page already added (%2ok.bmp)" << false;
}

void TestCreator::createsAndReports() {
    QFETCH(QStringList, pages);
    QFETCH(QString, message);
    QFETCH(bool, warned);
    QVERIFY(dir_.isValid());
    QStringList files;
    for (const QString& name : pages) {
        files << dir_.filePath(name + ".bmp");
        if (!name.startsWith('-')) {
            QVERIFY(
                writeBmp(files.last(), 30, 20, Qt::blue, pixelsPerMetre(name == "low" ? 72 : 300)));
        }
    }
    const QString out = dir_.filePath(QTest::currentDataTag() + QString(".pdf"));

    const Creation creation = createPdf(files, out);
    QCOMPARE(creation.succeeded(), message.contains("success"));
    message.replace("%1", out).replace("%2", dir_.path() + '/');
    QCOMPARE(creation.message, message.replace("%3", QString::number(creation.warnings.size())));
    QCOMPARE(!creation.warnings.isEmpty(), warned);
    for (const QString& line : creation.warnings) {
        QVERIFY2(line.startsWith("WARNING : "), qPrintable(line));
    }
    QCOMPARE(QFile::exists(out), creation.succeeded());
}

QTEST_MAIN(TestCreator)
#include "tst_creator.moc"
