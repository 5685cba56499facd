// The main window driven as a person would: batches, dragging in the list,
// the preview, deleting and clearing, and PDF creation through the real
// library, with every box and dialog answered by FakeDialogs. The list's own
// rules are tested on PageList itself.
#include "aboutwindow.h"
#include "bmpfixtures.h"
#include "fakedialogs.h"
#include "fileslist.h"
#include "mainwindow.h"
#include "previewfit.h"
#include "warningswindow.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include <memory>

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void batchesComeFromTheOpenDialog();
    void refusedExtensionsAreReportedUnderTheHourglass();
    void droppedFilesFormABatchWithFullNames();
    void dragIsRefusedUnlessExactlyOneEntryIsSelected();
    void dragMovesOneEntry_data();
    void dragMovesOneEntry();
    void previewFitsThePanel_data();
    void previewFitsThePanel();
    void previewSizeEdges();
    void panelIsSilverWithoutExactlyOneSelection();
    void unreadableImageIsReportedAndBlanked();
    void deleteKeyRemovesSelectedEntries();
    void clearingAsksFirst();
    void emptyListIsNotCreated();
    void successWithoutWarningsShowsNoWarningsWindow();
    void saveDialogRefusesAMissingFolder();
    void creationNeverDeletesTheChosenFile_data();
    void creationNeverDeletesTheChosenFile();
    void createdPdfFollowsTheListOrder();
    void temporaryFileIsInAPrivateFolder();

private:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString makeBmp(const QString& name, int w, int h, QColor colour, int dpi);
    QPoint entryCentre(int row) const;
    void selectOnly(int row);
    void alsoSelect(int row);
    static QColor pixelAt(const QLabel* label, QPoint at);
    static bool allSilver(const QLabel* label);

    QTemporaryDir dir_;
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<TMain> main_;
    std::unique_ptr<Taboutfrm> about_;
    std::unique_ptr<Twarningsfrm> warnings_;
};

void TestMainWindow::initTestCase() {
    QVERIFY(dir_.isValid());
}

void TestMainWindow::init() {
    dialogs_ = std::make_unique<FakeDialogs>();
    main_ = std::make_unique<TMain>(*dialogs_);
    about_ = std::make_unique<Taboutfrm>(*dialogs_);
    warnings_ = std::make_unique<Twarningsfrm>();
    main_->setSecondaryWindows(about_.get(), warnings_.get());
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
}

void TestMainWindow::cleanup() {
    main_.reset();
    about_.reset();
    warnings_.reset();
    dialogs_.reset();
}

QString TestMainWindow::makeBmp(const QString& name, int w, int h, QColor colour, int dpi) {
    const QString file = path(name);
    ovintest::bmpoptions bmp;
    bmp.width = w;
    bmp.height = h;
    // Pixels per metre, as a bitmap stores a resolution; 0 gives none.
    bmp.xppm = bmp.yppm = static_cast<uint32_t>(std::lround(std::max(dpi, 0) / 0.0254));
    for (int i = 0; i < w * h; ++i) {
        bmp.pixels.insert(bmp.pixels.end(),
                          {static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
                           static_cast<uint8_t>(colour.blue())});
    }
    if (!ovintest::savebmp(file.toStdString(), ovintest::makebmp(bmp))) {
        qFatal("cannot write %s", qPrintable(file));
    }
    return file;
}

QPoint TestMainWindow::entryCentre(int row) const {
    return main_->fileslb()->visualRect(main_->pages().index(row)).center();
}

void TestMainWindow::selectOnly(int row) {
    // What a press on the entry does: it alone is selected and focused.
    main_->fileslb()->selectionModel()->setCurrentIndex(main_->pages().index(row),
                                                        QItemSelectionModel::ClearAndSelect);
}

void TestMainWindow::alsoSelect(int row) {
    main_->fileslb()->selectionModel()->select(main_->pages().index(row),
                                               QItemSelectionModel::Select);
}

QColor TestMainWindow::pixelAt(const QLabel* label, QPoint at) {
    return label->pixmap().toImage().pixelColor(at);
}

bool TestMainWindow::allSilver(const QLabel* label) {
    const QImage image = label->pixmap().toImage();
    if (image.isNull()) {
        return false;
    }
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != QColor(192, 192, 192)) {
                return false;
            }
        }
    }
    return true;
}

void TestMainWindow::batchesComeFromTheOpenDialog() {
    dialogs_->filesToOpen = {"/scans/b.bmp", "/scans/A.bmp"};
    main_->openmenuClick();
    QCOMPARE(dialogs_->openRequests.size(), 1);
    QCOMPARE(dialogs_->openRequests[0].title, QString("Add image files"));
    QCOMPARE(dialogs_->openRequests[0].selectedFilter, dialogs_->openRequests[0].filters.value(3));
    QCOMPARE(main_->entries(), QStringList({"/scans/A.bmp", "/scans/b.bmp"}));

    dialogs_->filesToOpen.clear(); // a cancelled dialog adds nothing
    main_->openbtnClick();
    QCOMPARE(main_->pages().count(), 2);
}

void TestMainWindow::refusedExtensionsAreReportedUnderTheHourglass() {
    main_->addfiles({"/t/page.png", "/t/Scan.JpG", "/t/noext"});
    QCOMPARE(main_->entries(), QStringList({"/t/Scan.JpG"}));
    QCOMPARE(dialogs_->messages,
             QStringList({"Unsupported image type ", "Unsupported image type .PNG"}));
    QCOMPARE(dialogs_->waitCursorAtMessage, QList<bool>(2, true));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestMainWindow::droppedFilesFormABatchWithFullNames() {
    const QString longDir = "/" + QString(120, 'd') + "/" + QString(120, 'e') + "/";
    const QString longName = longDir + QString(100, 'f') + ".tif";
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/in/z.bmp"), QUrl::fromLocalFile(longName),
                  QUrl("http://example.invalid/remote.jpg"), QUrl::fromLocalFile("/in/a.jpg")});
    QVERIFY(main_->AppMessage(&data));
    QCOMPARE(main_->entries(), QStringList({longName, "/in/a.jpg", "/in/z.bmp"}));
    QVERIFY(longName.size() > 254);

    QMimeData text;
    text.setText("not a file");
    QVERIFY(!main_->AppMessage(&text));
    QCOMPARE(main_->pages().count(), 3);
}

void TestMainWindow::dragIsRefusedUnlessExactlyOneEntryIsSelected() {
    main_->addfiles({"/d/e1.bmp", "/d/e2.bmp", "/d/e3.bmp", "/d/e4.bmp"});
    const QStringList before = main_->entries();
    FilesList* list = main_->fileslb();
    selectOnly(0);
    alsoSelect(1);
    main_->fileslbStartDrag();
    QCOMPARE(main_->dragindex(), 0);
    QVERIFY(!main_->fileslbDragOver(list, entryCentre(2)));
    main_->fileslbDragDrop(list, entryCentre(2));
    QCOMPARE(main_->entries(), before);

    // Something dragged from elsewhere is not an entry to move.
    selectOnly(0);
    main_->fileslbStartDrag();
    QVERIFY(!main_->fileslbDragOver(main_.get(), entryCentre(2)));
    main_->fileslbDragDrop(main_.get(), entryCentre(2));
    QCOMPARE(main_->entries(), before);
}

void TestMainWindow::dragMovesOneEntry_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("onto"); // -1: below the last entry
    QTest::addColumn<QStringList>("result");
    QTest::newRow("E1 onto E3") << 0 << 2 << QStringList({"E2", "E3", "E1", "E4"});
    QTest::newRow("E4 onto E2") << 3 << 1 << QStringList({"E1", "E4", "E2", "E3"});
    QTest::newRow("E1 below E4") << 0 << -1 << QStringList({"E1", "E2", "E3", "E4"});
}

void TestMainWindow::dragMovesOneEntry() {
    QFETCH(int, from);
    QFETCH(int, onto);
    QFETCH(QStringList, result);
    main_->addfiles({"/d/E1.bmp", "/d/E2.bmp", "/d/E3.bmp", "/d/E4.bmp"});
    FilesList* list = main_->fileslb();
    selectOnly(from);
    main_->fileslbStartDrag();
    QCOMPARE(main_->dragindex(), from);

    const QPoint pos = onto >= 0 ? entryCentre(onto)
                                 : QPoint(entryCentre(3).x(),
                                          list->visualRect(main_->pages().index(3)).bottom() + 20);
    QVERIFY(list->viewport()->rect().contains(pos));
    QVERIFY(main_->fileslbDragOver(list, pos));
    if (onto >= 0) {
        QCOMPARE(list->currentIndex().row(), onto); // the focus marks the drop place
    }
    main_->fileslbDragDrop(list, pos);

    QStringList names;
    for (const QString& entry : main_->entries()) {
        names << entry.mid(3, 2);
    }
    QCOMPARE(names, result);
    if (onto >= 0) {
        // The moved entry keeps its selection and holds the focus.
        QCOMPARE(list->selectedRows(), QList<int>({onto}));
        QCOMPARE(list->currentIndex().row(), onto);
        QCOMPARE(list->currentIndex().data().toString(), QString("/d/E%1.bmp").arg(from + 1));
    }
}

void TestMainWindow::previewFitsThePanel_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("smaller: own size") << 400 << 300 << QSize(400, 300);
    QTest::newRow("wide") << 2000 << 1000 << QSize(507, 254);
    QTest::newRow("tall") << 1000 << 2000 << QSize(332, 665);
}

void TestMainWindow::previewFitsThePanel() {
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QSize, shown);
    const QString file =
        makeBmp(QString("fit%1x%2.bmp").arg(w).arg(h), w, h, QColor(200, 30, 60), 200);
    // The window opens with this panel beside a list 377 wide, whatever its
    // frame and menu bar take.
    QCOMPARE(main_->Panel1()->size(), QSize(517, 675));
    QCOMPARE(main_->fileslb()->width(), 377);
    QCOMPARE(main_->Splitter1()->handleWidth(), 3);

    main_->addfiles({file});
    selectOnly(0);
    main_->fileslbClick();
    QVERIFY(dialogs_->messages.isEmpty());
    QCOMPARE(main_->img()->size(), shown);
    QCOMPARE(main_->img()->pixmap().size(), shown);
    QCOMPARE(main_->img()->pos(), main_->Panel1()->contentsRect().topLeft());
    // The picture itself was drawn into the bitmap.
    QCOMPARE(pixelAt(main_->img(), QPoint(shown.width() / 2, shown.height() / 2)),
             QColor(200, 30, 60));
}

void TestMainWindow::previewSizeEdges() {
    // A ratio equal to the panel's fits the height.
    QCOMPARE(previewSize(1034, 1350, 517, 675).height(), 665);
    // Exactly the panel's size is not shrunk.
    QCOMPARE(previewSize(517, 675, 517, 675), QSize(517, 675));
    // A hairline still gets a one-pixel bitmap.
    QCOMPARE(previewSize(100000, 1, 517, 675), QSize(507, 1));
    QCOMPARE(previewSize(5, 5, 0, 0), QSize(1, 1));
}

void TestMainWindow::panelIsSilverWithoutExactlyOneSelection() {
    const QString a = makeBmp("silver-a.bmp", 40, 30, Qt::blue, 200);
    const QString b = makeBmp("silver-b.bmp", 40, 30, Qt::green, 200);
    main_->addfiles({a, b});
    selectOnly(0);
    main_->fileslbClick();
    QCOMPARE(pixelAt(main_->img(), QPoint(5, 5)), QColor(Qt::blue));

    alsoSelect(1);
    main_->fileslbClick();
    QVERIFY(allSilver(main_->img()));
    QCOMPARE(main_->img()->size(), main_->Panel1()->contentsRect().size());

    main_->fileslb()->clearSelection();
    selectOnly(1);
    main_->fileslbClick();
    QCOMPARE(pixelAt(main_->img(), QPoint(5, 5)), QColor(Qt::green));
    main_->fileslb()->clearSelection();
    main_->fileslbClick();
    QVERIFY(allSilver(main_->img()));

    // Selection changes made with the mouse refresh the preview by themselves.
    QTest::mouseClick(main_->fileslb()->viewport(), Qt::LeftButton, Qt::NoModifier, entryCentre(0));
    QTRY_COMPARE(pixelAt(main_->img(), QPoint(5, 5)), QColor(Qt::blue));
    // The keyboard moves the focus after the selection; the preview follows
    // the entry that ends up focused.
    QTest::keyClick(main_->fileslb(), Qt::Key_Down);
    QTRY_COMPARE(pixelAt(main_->img(), QPoint(5, 5)), QColor(Qt::green));
}

void TestMainWindow::unreadableImageIsReportedAndBlanked() {
    const QString bad = path("broken.bmp");
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is not a bitmap");
    file.close();
    main_->addfiles({bad});
    selectOnly(0);
    main_->fileslbClick();
    QCOMPARE(dialogs_->messages, QStringList({"Unable to open image " + bad}));
    QVERIFY(allSilver(main_->img()));
}

void TestMainWindow::deleteKeyRemovesSelectedEntries() {
    const QString a = makeBmp("del-a.bmp", 20, 20, Qt::red, 200);
    main_->addfiles({a});
    main_->addfiles({"/d/b.bmp", "/d/c.bmp", "/d/e.bmp"});
    FilesList* list = main_->fileslb();
    selectOnly(0);
    main_->fileslbClick();
    const qint64 shownKey = main_->img()->pixmap().cacheKey();

    list->clearSelection();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(main_->pages().count(), 4);
    QCOMPARE(main_->img()->pixmap().cacheKey(), shownKey);

    // Other keys do nothing.
    list->selectAll();
    main_->fileslbKeyUp(Qt::Key_Backspace);
    QCOMPARE(main_->pages().count(), 4);

    list->clearSelection();
    alsoSelect(1);
    alsoSelect(3);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(main_->entries(), QStringList({a, "/d/c.bmp"}));

    list->selectAll();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(main_->pages().count(), 0);
    QVERIFY(allSilver(main_->img()));
}

void TestMainWindow::clearingAsksFirst() {
    const QString a = makeBmp("clear-a.bmp", 20, 20, Qt::red, 200);
    main_->addfiles({a});
    main_->addfiles({"/d/b.bmp"});
    selectOnly(0);
    main_->fileslbClick();
    const qint64 shownKey = main_->img()->pixmap().cacheKey();

    dialogs_->answer = false;
    main_->clearmenuClick();
    QCOMPARE(dialogs_->questions.size(), 1);
    QCOMPARE(dialogs_->questions[0].caption, QString("Confirm"));
    QCOMPARE(dialogs_->questions[0].text, QString("Clear current file selection?"));
    QCOMPARE(main_->pages().count(), 2);

    dialogs_->answer = true;
    main_->clearbtnClick();
    QCOMPARE(main_->pages().count(), 0);
    QTest::qWait(20); // let any queued preview run
    QCOMPARE(main_->img()->pixmap().cacheKey(), shownKey);
}

void TestMainWindow::emptyListIsNotCreated() {
    dialogs_->saveAs = {path("never.pdf")};
    main_->createbtnClick();
    QCOMPARE(dialogs_->messages, QStringList({"You must add images before creating a PDF"}));
    QVERIFY(dialogs_->saveRequests.isEmpty());
    QVERIFY(!QFile::exists(path("never.pdf")));
}

void TestMainWindow::successWithoutWarningsShowsNoWarningsWindow() {
    main_->addfiles(
        {makeBmp("ok-a.bmp", 60, 40, Qt::red, 200), makeBmp("ok-b.bmp", 80, 40, Qt::green, 300)});
    const QString out = path("ok.pdf");
    dialogs_->saveAs = {out};
    main_->createpdfs();
    QCOMPARE(dialogs_->saveRequests.size(), 1);
    QCOMPARE(dialogs_->saveRequests[0].title, QString("Save PDF As"));
    QCOMPARE(dialogs_->saveRequests[0].defaultSuffix, QString("pdf"));
    QCOMPARE(dialogs_->messages, QStringList({out + " created successfully (0 warnings)"}));
    QCOMPARE(dialogs_->waitCursorAtMessage, QList<bool>({false}));
    QVERIFY(dialogs_->modalWindows.isEmpty());
    QVERIFY(QFile::exists(out));
    QCOMPARE(warnings_->lineCount(), 0);

    // A cancelled save dialog does nothing at all.
    QVERIFY(QFile::remove(out));
    dialogs_->saveAs.clear();
    main_->createpdfs();
    QCOMPARE(dialogs_->messages.size(), 1);
    QVERIFY(!QFile::exists(out));
}

void TestMainWindow::saveDialogRefusesAMissingFolder() {
    // Probing this page would fail with its own message.
    main_->addfiles({path("absent.bmp")});
    const QString out = path("refused.pdf");
    dialogs_->saveAs = {path("no-such-folder/out.pdf"), out};
    main_->createpdfs();
    QCOMPARE(dialogs_->saveRequests.size(), 2);
    QCOMPARE(dialogs_->messages,
             QStringList({"The folder " + path("no-such-folder") + " does not exist.",
                          "ERROR : File Not Found (" + path("absent.bmp") + ")"}));
}

void TestMainWindow::creationNeverDeletesTheChosenFile_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("existing"); // the chosen file is there before
    QTest::newRow("missing page over a file") << "missing" << true;
    QTest::newRow("same page twice, new name") << "twice" << false;
    QTest::newRow("cancelled over a file") << "cancel" << true;
    QTest::newRow("cancelled, new name") << "cancel" << false;
}

void TestMainWindow::creationNeverDeletesTheChosenFile() {
    QFETCH(QString, failure);
    QFETCH(bool, existing);
    const QString first = makeBmp("first.bmp", 20, 20, Qt::red, 200);
    QStringList pages{first,
                      failure == "twice" ? first : makeBmp("second.bmp", 20, 20, Qt::red, 200)};
    if (failure == "missing") {
        QVERIFY(QFile::remove(pages[1]));
        pages << path("third.bmp"); // never reached: the first failure ends the adding
    }
    main_->addfiles(pages);
    const QString out = path("kept.pdf");
    QFile::remove(out);
    const QByteArray before("%PDF-1.4 the PDF the user already had");
    QFile file(out);
    QVERIFY(!existing || (file.open(QIODevice::WriteOnly) && file.write(before) == before.size()));
    file.close();
    // Cancel is pressed on the library's progress window once it is up.
    QTimer presser;
    connect(&presser, &QTimer::timeout, &presser, [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* button = window->findChild<QPushButton*>();
            if (button != nullptr && window->isVisible() &&
                window->windowTitle() == "Saving PDF...") {
                button->click();
            }
        }
    });
    if (failure == "cancel") {
        presser.start(0);
    }

    dialogs_->saveAs = {out};
    main_->createpdfs();
    const QString message = failure == "cancel"  ? "ERROR : PDF Save Cancelled By User"
                            : failure == "twice" ? "ERROR : Page already added (" + first + ")"
                                                 : "ERROR : File Not Found (" + pages[1] + ")";
    QCOMPARE(dialogs_->messages, QStringList({message}));
    QVERIFY(dialogs_->modalWindows.isEmpty());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(file.exists(), existing);
    QVERIFY(!existing || (file.open(QIODevice::ReadOnly) && file.readAll() == before));
}

void TestMainWindow::createdPdfFollowsTheListOrder() {
    // A low resolution raises warnings, so the warnings window follows the
    // success message.
    const QString a = makeBmp("order-a.bmp", 100, 50, Qt::red, 150);
    const QString b = makeBmp("order-b.bmp", 200, 50, Qt::green, 150);
    const QString c = makeBmp("order-c.bmp", 300, 50, Qt::blue, 150);
    main_->addfiles({c, a, b});
    QCOMPARE(main_->entries(), QStringList({a, b, c}));

    // Drag c onto a: c, a, b.
    FilesList* list = main_->fileslb();
    selectOnly(2);
    main_->fileslbStartDrag();
    QVERIFY(main_->fileslbDragOver(list, entryCentre(0)));
    main_->fileslbDragDrop(list, entryCentre(0));
    QCOMPARE(main_->entries(), QStringList({c, a, b}));

    const QString out = path("order.pdf");
    dialogs_->saveAs = {out};
    QStringList linesWhileShown;
    dialogs_->whileModal = [&](QDialog& dialog) {
        linesWhileShown = static_cast<Twarningsfrm&>(dialog).lines();
    };
    main_->createbtnClick();

    QCOMPARE(dialogs_->messages.size(), 1);
    const int count = warnings_->lineCount();
    QVERIFY(count > 0);
    QCOMPARE(dialogs_->messages[0],
             out + " created successfully (" + QString::number(count) + " warnings)");
    QCOMPARE(dialogs_->modalWindows, QStringList({"warningsfrm"}));
    QCOMPARE(linesWhileShown.size(), count);
    for (const QString& line : linesWhileShown) {
        QVERIFY2(line.startsWith("WARNING : "), qPrintable(line));
    }
    QVERIFY(linesWhileShown.join('\n').contains(c));

    QProcess pdfinfo;
    pdfinfo.start("pdfinfo", {"-f", "1", "-l", "3", out});
    QVERIFY(pdfinfo.waitForFinished(30000));
    QCOMPARE(pdfinfo.exitCode(), 0);
    const QString report = QString::fromUtf8(pdfinfo.readAllStandardOutput());
    QVERIFY2(report.contains(QRegularExpression("Pages:\\s+3\\b")), qPrintable(report));
    QList<double> widths;
    const QRegularExpression size("Page\\s+\\d+ size:\\s+([0-9.]+) x ([0-9.]+) pts");
    for (auto it = size.globalMatch(report); it.hasNext();) {
        widths << it.next().captured(1).toDouble();
    }
    QCOMPARE(widths.size(), 3);
    // Widths in the order c (300 px), a (100 px), b (200 px).
    QVERIFY2(widths[0] > widths[2] && widths[2] > widths[1], qPrintable(report));
    QCOMPARE(widths[0] / widths[1], 3.0);
}

void TestMainWindow::temporaryFileIsInAPrivateFolder() {
    const QFileInfo file(main_->tempImagePath());
    const QFileInfo folder(file.absolutePath());
    QCOMPARE(file.fileName(), QString("OVINPDF.TMP"));
    QCOMPARE(folder.absolutePath(),
             QFileInfo(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
                 .absoluteFilePath());
    QCOMPARE(folder.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A second program never shares it; each folder goes with its window.
    auto other = std::make_unique<TMain>(*dialogs_);
    const QString otherFolder = QFileInfo(other->tempImagePath()).absolutePath();
    QVERIFY(otherFolder != folder.absoluteFilePath());
    other.reset();
    main_.reset();
    QVERIFY(!QFileInfo::exists(otherFolder));
    QVERIFY(!QFileInfo::exists(folder.absoluteFilePath()));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
