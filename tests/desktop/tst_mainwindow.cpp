// The main window driven as a person would, with real files of several
// kinds read through the library and PDFs checked with poppler's pdfinfo;
// every box and dialog is answered by FakeDialogs. The list's own rules
// are tested on PageList itself.
#include "aboutwindow.h"
#include "creator.h"
#include "fakedialogs.h"
#include "fileslist.h"
#include "jpegfixtures.h"
#include "mainwindow.h"
#include "ocrlanguages.h"
#include "ovinpdf.h"
#include "pagereader.h"
#include "pdfacheck.h"
#include "pdftools.h"
#include "pngfixtures.h"
#include "textscan.h"
#include "tifffixtures.h"
#include "warningswindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QUndoStack>

#include <memory>

namespace {

struct PdfPage {
    double width = 0;
    double height = 0;
    int rotation = 0;
};

// Each page's size in points and its /Rotate, as poppler reads them.
QList<PdfPage> pdfPages(const QString& file) {
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {"-f", "1", "-l", "999", file});
    pdfinfo.waitForFinished(30000);
    QList<PdfPage> pages;
    const QString report = QString::fromUtf8(pdfinfo.readAllStandardOutput());
    static const QRegularExpression size(R"(Page +\d+ size: +([\d.]+) x ([\d.]+))");
    static const QRegularExpression rot(R"(Page +\d+ rot: +(\d+))");
    for (auto it = size.globalMatch(report); it.hasNext();) {
        const auto m = it.next();
        pages << PdfPage{m.captured(1).toDouble(), m.captured(2).toDouble(), 0};
    }
    qsizetype i = 0;
    for (auto it = rot.globalMatch(report); it.hasNext() && i < pages.size(); ++i) {
        pages[i].rotation = it.next().captured(1).toInt();
    }
    return pages;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void filesAreReadByContentAndBadOnesMarked();
    void sidewaysPhotoPreviewsAndSavesUpright();
    void turnedPagesAndDuplicatesReachThePdf();
    void pageSetupReachesTheMediaBox_data();
    void pageSetupReachesTheMediaBox();
    void pageSetupIsKeptBetweenRuns();
    void switchesReachThePdf_data();
    void switchesReachThePdf();
    void batchIsInFileManagerOrder();
    void folderGivesItsImagesInNaturalOrder();
    void everyListChangeUndoes();
    void selectedPagesAreDraggedTogether();
    void closingWithUnsavedPagesAsks();
    void creationReportsEachPageAndCanBeCancelled();
    void tabReachesEveryControl();

private:
    QString path(const QString& name) const { return dir_.filePath(name); }
    void add(const QStringList& names);
    QString create();
    QStringList listed() const;

    QTemporaryDir dir_;
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<TMain> main_;
    std::unique_ptr<Taboutfrm> about_;
    std::unique_ptr<Twarningsfrm> warnings_;
};

void TestMainWindow::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(dir_.isValid());
    // A photo stored sideways, left half red and right half blue, that its
    // EXIF orientation 6 turns a quarter clockwise.
    std::vector<uint8_t> halves;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            halves.insert(halves.end(), x < 32 ? std::initializer_list<uint8_t>{220, 0, 0}
                                               : std::initializer_list<uint8_t>{0, 0, 220});
        }
    }
    ovintest::jpegoptions sideways;
    sideways.extra = {{0xE1, ovintest::exifpayload({6, 0, 0, 0, true})}};
    QVERIFY(ovintest::savejpeg(path("phone.jpg").toStdString(),
                               ovintest::makejpeg(64, 48, halves, sideways)));
    const std::vector<uint8_t> photo = ovintest::makejpeg(64, 48, ovintest::jpegpattern(64, 48, 3));
    QVERIFY(ovintest::savejpeg(path("photo.jpeg").toStdString(), photo));
    // Cut short: the library would embed it and a reader draw a part.
    QVERIFY(ovintest::savejpeg(
        path("cut.jpg").toStdString(),
        {photo.begin(), photo.begin() + static_cast<long>(photo.size() * 2 / 3)}));
    const std::vector<uint8_t> png = ovintest::makepng({});
    QFile noname(path("picture"));
    QVERIFY(noname.open(QIODevice::WriteOnly));
    noname.write(reinterpret_cast<const char*>(png.data()), static_cast<qint64>(png.size()));
    noname.close();
    ovintest::writetiff(path("three.TIFF").toStdString(),
                        {ovintest::greypage(40, 30, 1, 1), ovintest::greypage(40, 30, 1, 2),
                         ovintest::greypage(40, 30, 1, 3)});
    // A scanned line of known words, for text recognition.
    const ovintest::textscan scan =
        ovintest::scantext({"Please find the invoice enclosed"}, 300, 12, 595.28, 150, 40);
    ovintest::tiffpage letter;
    letter.width = static_cast<uint32_t>(scan.width);
    letter.height = static_cast<uint32_t>(scan.height);
    letter.bits = 8;
    letter.photometric = 1;
    letter.pixels = scan.grey;
    ovintest::writetiff(path("letter.tif").toStdString(), {letter});
    QFile text(path("notes.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture\n");
}

void TestMainWindow::init() {
    dialogs_ = std::make_unique<FakeDialogs>();
    main_ = std::make_unique<TMain>(*dialogs_);
    about_ = std::make_unique<Taboutfrm>(*dialogs_);
    warnings_ = std::make_unique<Twarningsfrm>();
    main_->setSecondaryWindows(about_.get(), warnings_.get());
    main_->setPageSetup({});
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
}

void TestMainWindow::cleanup() {
    main_.reset();
    about_.reset();
    warnings_.reset();
    dialogs_.reset();
}

void TestMainWindow::add(const QStringList& names) {
    QStringList files;
    for (const QString& name : names) {
        files << path(name);
    }
    main_->addfiles(files);
    main_->reader().waitForIdle();
}

QString TestMainWindow::create() {
    const QString out = path(QStringLiteral("out.pdf"));
    QFile::remove(out);
    dialogs_->saveAs = QStringList{out};
    dialogs_->saveRequests.clear();
    main_->createpdfs();
    return out;
}

// The list as "name:page" entries, a file that cannot be used as "name:!".
QStringList TestMainWindow::listed() const {
    QStringList entries;
    for (const Page& page : main_->pages().pages()) {
        entries << page.file.section(QLatin1Char('/'), -1) + QLatin1Char(':') +
                       (page.usable() ? QString::number(page.page) : QStringLiteral("!"));
    }
    return entries;
}

void TestMainWindow::filesAreReadByContentAndBadOnesMarked() {
    add({"picture", "three.TIFF", "cut.jpg", "notes.txt"});
    QCOMPARE(listed(), QStringList({"cut.jpg:!", "notes.txt:!", "picture:1", "three.TIFF:1",
                                    "three.TIFF:2", "three.TIFF:3"}));
    // Each marked file says which it is and why.
    const QList<Page>& pages = main_->pages().pages();
    QVERIFY2(pages.at(0).problem.contains("cut.jpg") && pages.at(0).problem.contains("ends early"),
             qPrintable(pages.at(0).problem));
    QVERIFY2(pages.at(1).problem.contains("notes.txt") &&
                 pages.at(1).problem.contains("is not a JPEG"),
             qPrintable(pages.at(1).problem));
    QCOMPARE(main_->pageCount()->text(), QStringLiteral("Pages: 6, of which 2 cannot be used"));

    // Create leaves them out, says so, and does not fail.
    dialogs_->choice = 2;
    const QString out = create();
    QCOMPARE(pdfPages(out).size(), 4);
    QVERIFY(dialogs_->messages.last().contains("created successfully"));
    const QStringList lines = warnings_->lines();
    QVERIFY(lines.size() >= 2);
    QVERIFY(lines.at(0).endsWith("cut.jpg was left out: " + pages.at(0).problem));
    QVERIFY(lines.at(1).contains("notes.txt was left out"));
    QCOMPARE(dialogs_->choices.last(), QStringList({"Open PDF", "Show in Folder", "OK"}));
    QCOMPARE(dialogs_->modalWindows, QStringList{"warningsfrm"});
}

void TestMainWindow::sidewaysPhotoPreviewsAndSavesUpright() {
    add({"phone.jpg"});
    main_->selectRows({0});
    main_->fileslbClick();
    main_->reader().waitForIdle();
    const QImage shown = main_->img()->pixmap().toImage();
    QVERIFY(!shown.isNull());
    QVERIFY2(shown.height() > shown.width(), "the preview stands upright");
    // The stored left half (red) is the top once turned.
    const QColor top = shown.pixelColor(shown.width() / 2, shown.height() / 4);
    const QColor bottom = shown.pixelColor(shown.width() / 2, shown.height() * 3 / 4);
    QVERIFY(top.red() > 150 && top.blue() < 80);
    QVERIFY(bottom.blue() > 150 && bottom.red() < 80);
    // Centred in the panel.
    const QRect panel = main_->Panel1()->contentsRect();
    QVERIFY(qAbs(main_->img()->geometry().center().x() - panel.center().x()) <= 1);

    dialogs_->choice = 0; // Open PDF
    const QString out = create();
    const QList<PdfPage> pages = pdfPages(out);
    QCOMPARE(pages.size(), 1);
    // Upright as shown: a page turned a quarter shows its media box across.
    QVERIFY((pages.at(0).height > pages.at(0).width) == (pages.at(0).rotation % 180 == 0));
    QCOMPARE(dialogs_->openedUrls, QList<QUrl>{QUrl::fromLocalFile(out)});
}

void TestMainWindow::turnedPagesAndDuplicatesReachThePdf() {
    add({"photo.jpeg"});
    add({"photo.jpeg"});
    QCOMPARE(listed(), QStringList({"photo.jpeg:1", "photo.jpeg:1"}));
    main_->selectRows({1});
    QTest::keyClick(main_.get(), Qt::Key_R, Qt::ControlModifier);
    main_->selectRows({0});
    QTest::keyClick(main_.get(), Qt::Key_L, Qt::ControlModifier);
    QTest::keyClick(main_.get(), Qt::Key_L, Qt::ControlModifier);
    const QList<PdfPage> pages = pdfPages(create());
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages.at(0).rotation, 180);
    QCOMPARE(pages.at(1).rotation, 90);
}

void TestMainWindow::pageSetupReachesTheMediaBox_data() {
    QTest::addColumn<QString>("size");
    QTest::addColumn<int>("fit");
    QTest::addColumn<double>("margin");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    // The photo is 64 x 48 pixels at 300 dpi.
    QTest::newRow("as the image") << QString() << 0 << 0.0 << 15.36 << 11.52;
    QTest::newRow("A4, turned to the picture") << "A4" << 0 << 10.0 << 841.89 << 595.28;
    QTest::newRow("Letter, filled") << "Letter" << 1 << 0.0 << 792.0 << 612.0;
}

void TestMainWindow::pageSetupReachesTheMediaBox() {
    QFETCH(QString, size);
    QFETCH(int, fit);
    QFETCH(double, margin);
    QFETCH(double, width);
    QFETCH(double, height);
    main_->setPageSetup({size, fit, margin, "A title", "An author", false, {}, false, false});
    add({"photo.jpeg"});
    const QList<PdfPage> pages = pdfPages(create());
    QVERIFY2(pages.size() == 1, qPrintable(dialogs_->messages.join('\n')));
    QVERIFY2(qAbs(pages.at(0).width - width) < 0.02 && qAbs(pages.at(0).height - height) < 0.02,
             qPrintable(QString("%1 x %2").arg(pages.at(0).width).arg(pages.at(0).height)));
}

void TestMainWindow::pageSetupIsKeptBetweenRuns() {
    // Set in the dialog, whose OK takes only languages the library takes.
    main_->setPageSetup({"A4", 3, 12.5, "Scans", "Me", false, {}, false, false});
    dialogs_->whileModal = [](QDialog& dialog) {
        dialog.findChild<QComboBox*>("size")->setCurrentIndex(2);
        for (const char* name : {"ocr", "ocrorient", "pdfa"}) {
            dialog.findChild<QCheckBox*>(name)->setChecked(true);
        }
        auto* languages = dialog.findChild<QComboBox*>("ocrlanguages");
        QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        languages->setEditText("eng deu");
        QVERIFY(!ok->isEnabled());
        languages->setEditText("eng+deu");
        ok->click();
    };
    main_->pageSetupClick();
    const PageSetup setup{"Letter", 3, 12.5, "Scans", "Me", true, "eng+deu", true, true};
    QCOMPARE(main_->pageSetup(), setup);
    QCOMPARE(TMain(*dialogs_).pageSetup(), setup);
    // What is kept is checked as any input: an unknown size and languages
    // the library would refuse fall back.
    QSettings().setValue("page/size", "Napkin");
    QSettings().setValue("document/ocr-languages", "eng deu;x");
    const PageSetup kept = TMain(*dialogs_).pageSetup();
    QCOMPARE(kept.size, QString());
    QCOMPARE(kept.recognition(), defaultOcrLanguage());
}

void TestMainWindow::switchesReachThePdf_data() {
    QTest::addColumn<QString>("languages");
    QTest::addColumn<bool>("pdfa");
    QTest::addColumn<bool>("cancel"); // while a page is recognised
    QTest::addColumn<QString>("failure");
    QTest::newRow("text recognised") << "eng" << false << false << QString();
    QTest::newRow("PDF/A with text") << "eng" << true << false << QString();
    QTest::newRow("cancelled") << "eng" << false << true << "cancelled";
    QTest::newRow("language not installed")
        << "eng+zz_qq" << false << false << "tesseract-ocr-zz-qq";
}

void TestMainWindow::switchesReachThePdf() {
    QFETCH(QString, languages);
    QFETCH(bool, pdfa);
    QFETCH(bool, cancel);
    QFETCH(QString, failure);
    const PageSetup setup{{}, 0, 0, {}, {}, true, languages, false, pdfa};
    Page page;
    page.file = path("letter.tif");
    const QString out = path("switches.pdf");
    QFile::remove(out);
    QStringList statuses;
    const Creation done =
        createPdf({page}, setup, out, {}, [&](quint32, quint32, const QString& status) {
            statuses << status;
            return !(cancel && status.startsWith("Recognising"));
        });
    if (!failure.isEmpty()) {
        QVERIFY2(done.message.contains(failure), qPrintable(done.message));
        QVERIFY(!QFile::exists(out));
        return;
    }
    QVERIFY2(done.succeeded(), qPrintable(done.message));
    QVERIFY2(statuses.contains("Recognising page 1 of 1"), qPrintable(statuses.join('\n')));
    QVERIFY(ovintest::pdftotext(out.toStdString()).find("invoice enclosed") != std::string::npos);
    const std::vector<std::string> problems = ovintest::pdfaproblems(out.toStdString());
    QVERIFY2(problems.empty() == pdfa, problems.empty() ? "" : problems.front().c_str());
}

void TestMainWindow::batchIsInFileManagerOrder() {
    for (const char* name : {"Scan 10.jpg", "scan 2.jpg", "Scan 1.jpg"}) {
        QFile::remove(path(name));
        QVERIFY(QFile::copy(path("photo.jpeg"), path(name)));
    }
    add({"Scan 10.jpg", "scan 2.jpg", "Scan 1.jpg"});
    QCOMPARE(listed(), QStringList({"Scan 1.jpg:1", "scan 2.jpg:1", "Scan 10.jpg:1"}));
}

void TestMainWindow::folderGivesItsImagesInNaturalOrder() {
    // Hidden files, subfolders and files that are no images are no pages.
    QVERIFY(QDir(dir_.path()).mkpath("scans/sub"));
    for (const char* name : {"p10.jpg", "p2.jpg", "P1.jpg", ".hidden.jpg", "sub/p3.jpg"}) {
        QVERIFY(QFile::copy(path("photo.jpeg"), path("scans/") + name));
    }
    QVERIFY(QFile::copy(path("notes.txt"), path("scans/Thumbs.db")));
    add({"scans", "cut.jpg"});
    QCOMPARE(listed(), QStringList({"cut.jpg:!", "P1.jpg:1", "p2.jpg:1", "p10.jpg:1"}));
}

void TestMainWindow::everyListChangeUndoes() {
    add({"three.TIFF"});
    const QStringList full = listed();
    QUndoStack& undo = main_->undoStack();
    // Delete, Move down, Clear: each undone and done again.
    main_->selectRows({0});
    QTest::keyClick(main_->fileslb(), Qt::Key_Delete);
    QCOMPARE(listed(), QStringList({"three.TIFF:2", "three.TIFF:3"}));
    QTest::keyClick(main_.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(listed(), full);
    QCOMPARE(main_->selectedRows(), QList<int>{0});
    QTest::keyClick(main_.get(), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(listed(), QStringList({"three.TIFF:2", "three.TIFF:1", "three.TIFF:3"}));
    QCOMPARE(main_->selectedRows(), QList<int>{1});
    undo.undo();
    QCOMPARE(listed(), full);
    dialogs_->answer = true;
    main_->clearbtnClick();
    QCOMPARE(listed(), QStringList());
    QTest::keyClick(main_.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(listed(), full);
    QTest::keyClick(main_.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(listed(), QStringList());
}

void TestMainWindow::selectedPagesAreDraggedTogether() {
    add({"three.TIFF", "photo.jpeg"});
    QWidget* view = main_->fileslb()->viewport();
    const auto centre = [&](int row) {
        return main_->fileslb()->visualRect(main_->pages().index(row)).center();
    };
    // Pressed on a selected page, carried onto the last one and let go.
    main_->selectRows({0, 1});
    QTest::mousePress(view, Qt::LeftButton, {}, centre(0));
    QTest::mouseMove(view, centre(2));
    QTest::mouseMove(view, centre(3));
    QVERIFY(main_->fileslb()->moving());
    QTest::mouseRelease(view, Qt::LeftButton, {}, centre(3));
    QCOMPARE(listed(),
             QStringList({"three.TIFF:2", "three.TIFF:3", "photo.jpeg:1", "three.TIFF:1"}));
    QCOMPARE(main_->selectedRows(), QList<int>({2, 3}));
    // A click on a selected page without moving selects it alone.
    QTest::mouseClick(view, Qt::LeftButton, {}, centre(3));
    QCOMPARE(main_->selectedRows(), QList<int>{3});
    QCOMPARE(listed().size(), 4);
}

void TestMainWindow::closingWithUnsavedPagesAsks() {
    add({"photo.jpeg"});
    dialogs_->answer = false;
    QVERIFY(!main_->close());
    QCOMPARE(dialogs_->questions.size(), 1);
    dialogs_->choice = 2;
    create();
    QVERIFY(main_->close());
    QCOMPARE(dialogs_->questions.size(), 1);
}

void TestMainWindow::creationReportsEachPageAndCanBeCancelled() {
    Page page;
    page.file = path("photo.jpeg");
    const QString out = path("progress.pdf");
    QList<QPair<quint32, quint32>> steps;
    const Creation done = createPdf({page, page}, {}, out, {}, [&](quint32 n, quint32 of, auto&) {
        steps << qMakePair(n, of);
        return true;
    });
    QVERIFY(done.succeeded());
    QCOMPARE(steps, (QList<QPair<quint32, quint32>>{{1, 2}, {2, 2}}));
    // Cancelled at the first page: no file, and the person is told.
    QVERIFY(QFile::remove(out));
    const Creation cancelled =
        createPdf({page, page}, {}, out, {}, [](quint32, quint32, auto&) { return false; });
    QCOMPARE(cancelled.code, OVINPDF_CANCELLED);
    QVERIFY(cancelled.message.contains("cancelled"));
    QVERIFY(!QFile::exists(out));
}

void TestMainWindow::tabReachesEveryControl() {
    add({"photo.jpeg", "photo.jpeg"});
    main_->activateWindow();
    main_->fileslb()->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(main_.get()));
    // The list, not page by page, then the preview, each toolbar button
    // and round to the list.
    QStringList reached;
    for (int i = 0; i < 9; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QString name = QApplication::focusWidget()->objectName();
        for (QAction* a : main_->ToolBar1()->actions()) {
            if (main_->ToolBar1()->widgetForAction(a) == QApplication::focusWidget()) {
                name = a->objectName();
            }
        }
        reached << name;
    }
    QCOMPARE(reached, QStringList({"Panel1", "openbtn", "clearbtn", "createbtn", "rotateleftbtn",
                                   "rotaterightbtn", "aboutbtn", "fileslb", "Panel1"}));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
