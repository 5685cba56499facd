#include "mainwindow.h"

#include "appinfo.h"
#include "dialogs.h"
#include "filenames.h"
#include "fileslist.h"
#include "imaging.h"
#include "ovinpdf.h"
#include "aboutwindow.h"
#include "warningswindow.h"
#include "pictures.h"
#include "previewfit.h"
#include "waitcursor.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

// An open imaging handle, closed when it goes out of scope.
class ImageHandle {
public:
    explicit ImageHandle(ImgHandle handle) : handle_(handle) {}
    ~ImageHandle() {
        if (handle_ != 0) {
            ImgClose(handle_);
        }
    }
    ImageHandle(const ImageHandle&) = delete;
    ImageHandle& operator=(const ImageHandle&) = delete;
    ImgHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }

private:
    ImgHandle handle_;
};

QString errorText(int32_t code) {
    const std::unique_ptr<char, decltype(&std::free)> text(geterror(code), &std::free);
    return text ? QString::fromUtf8(text.get()) : QString();
}

void addWarningLine(void* list, const char* line) {
    static_cast<Twarningsfrm*>(list)->addLine(QString::fromUtf8(line != nullptr ? line : ""));
}

// The open dialog's filters; the fourth is preselected.
QStringList openFilters() {
    return {
        QStringLiteral("JPEG Image (*.jpg)"),
        QStringLiteral("Windows Bitmap (*.bmp)"),
        QStringLiteral("TIFF Image (*.tif)"),
        QStringLiteral("All supported image types (*.jpg *.tif *.bmp)"),
    };
}

} // namespace

TMain::TMain(Dialogs& dialogs, QWidget* parent) : QMainWindow(parent), dialogs_(dialogs) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QString::fromUtf8(zentro::kAppTitle));
    setWindowIcon(pictures::appIcon());
    resize(905, 749);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    buildMenu();
    buildToolBar();
    buildList();
    FormCreate();
}

TMain::~TMain() = default;

void TMain::buildMenu() {
    QMenu* filemenu = menuBar()->addMenu(tr("&File"));
    filemenu->setObjectName(QStringLiteral("filemenu"));
    QAction* clearmenu = filemenu->addAction(pictures::toolIcon(pictures::Tool::Clear),
                                             tr("&Clear Selection"), this, &TMain::clearmenuClick);
    clearmenu->setObjectName(QStringLiteral("clearmenu"));
    QAction* openmenu = filemenu->addAction(pictures::toolIcon(pictures::Tool::Open),
                                            tr("&Open..."), this, &TMain::openmenuClick);
    openmenu->setObjectName(QStringLiteral("openmenu"));
    filemenu->addSeparator()->setObjectName(QStringLiteral("N1"));
    QAction* exitmenu = filemenu->addAction(tr("E&xit"), this, &TMain::exitmenuClick);
    exitmenu->setObjectName(QStringLiteral("exitmenu"));

    QMenu* pagesmenu = menuBar()->addMenu(tr("&Images"));
    pagesmenu->setObjectName(QStringLiteral("pagesmenu"));
    QAction* pdfmenu = pagesmenu->addAction(pictures::toolIcon(pictures::Tool::CreatePdf),
                                            tr("Create &PDF"), this, &TMain::createbtnClick);
    pdfmenu->setObjectName(QStringLiteral("pdfmenu"));

    QMenu* helpmenu = menuBar()->addMenu(tr("&Help"));
    helpmenu->setObjectName(QStringLiteral("helpmenu"));
    QAction* aboutmenu = helpmenu->addAction(pictures::toolIcon(pictures::Tool::About),
                                             tr("&About..."), this, &TMain::aboutmenuClick);
    aboutmenu->setObjectName(QStringLiteral("aboutmenu"));
}

void TMain::buildToolBar() {
    ToolBar1_ = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1_->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1_->setMovable(false);
    ToolBar1_->setFloatable(false);
    ToolBar1_->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1_->setIconSize(QSize(16, 16));
    ToolBar1_->setFixedHeight(28);

    const auto button = [this](pictures::Tool picture, const QString& name, const QString& hint,
                               void (TMain::*handler)()) {
        QAction* action = ToolBar1_->addAction(pictures::toolIcon(picture), hint, this, handler);
        action->setObjectName(name);
        action->setToolTip(hint);
    };
    button(pictures::Tool::Open, QStringLiteral("openbtn"), tr("Open Images"),
           &TMain::openbtnClick);
    button(pictures::Tool::Clear, QStringLiteral("clearbtn"), tr("Clear Selection"),
           &TMain::clearbtnClick);
    button(pictures::Tool::CreatePdf, QStringLiteral("createbtn"), tr("Create PDF"),
           &TMain::createbtnClick);

    // A wide gap with a separator line in its middle.
    auto* gap = new QWidget(ToolBar1_);
    gap->setObjectName(QStringLiteral("ToolButton3"));
    gap->setFixedWidth(33);
    auto* line = new QFrame(gap);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(15, 3, 3, 20);
    ToolBar1_->addWidget(gap);

    button(pictures::Tool::About, QStringLiteral("aboutbtn"), tr("About"), &TMain::aboutmenuClick);
}

void TMain::buildList() {
    Splitter1_ = new QSplitter(Qt::Horizontal, this);
    Splitter1_->setObjectName(QStringLiteral("Splitter1"));
    Splitter1_->setHandleWidth(3);
    Splitter1_->setChildrenCollapsible(false);

    fileslb_ = new FilesList(Splitter1_);
    fileslb_->setObjectName(QStringLiteral("fileslb"));
    QPalette listPalette = fileslb_->palette();
    listPalette.setColor(QPalette::Base, QColor(221, 238, 237));
    fileslb_->setPalette(listPalette);
    QFont listFont = QApplication::font();
    listFont.setPixelSize(13);
    fileslb_->setFont(listFont);
    fileslb_->setHooks(FilesList::Hooks{
        [this](int key) { fileslbKeyUp(key); },
        [this] { fileslbStartDrag(); },
        [this](const QObject* source, QPoint pos) { return fileslbDragOver(source, pos); },
        [this](const QObject* source, QPoint pos) { fileslbDragDrop(source, pos); },
        [this](const QMimeData* mime) { return AppMessage(mime); },
    });
    connect(fileslb_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMain::schedulePreview);
    connect(fileslb_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TMain::schedulePreview);

    Panel1_ = new QFrame(Splitter1_);
    Panel1_->setObjectName(QStringLiteral("Panel1"));
    Panel1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1_->setLineWidth(1);
    img_ = new QLabel(Panel1_);
    img_->setObjectName(QStringLiteral("img"));
    img_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    img_->move(Panel1_->contentsRect().topLeft());
    img_->resize(0, 0);

    Splitter1_->addWidget(fileslb_);
    Splitter1_->addWidget(Panel1_);
    Splitter1_->setStretchFactor(0, 0);
    Splitter1_->setStretchFactor(1, 1);
    Splitter1_->setSizes({377, width() - 377 - Splitter1_->handleWidth()});
    setCentralWidget(Splitter1_);
}

void TMain::setSecondaryWindows(Taboutfrm* aboutfrm, Twarningsfrm* warningsfrm) {
    aboutfrm_ = aboutfrm;
    warningsfrm_ = warningsfrm;
}

QStringList TMain::entries() const {
    QStringList names;
    for (int i = 0; i < fileslb_->count(); ++i) {
        names << fileslb_->item(i)->text();
    }
    return names;
}

// ---- start-up and shut-down -------------------------------------------

void TMain::FormCreate() {
    ImgInit();
    // The temporary image file lives in the user's runtime folder: the
    // program's own folder is not writable once installed.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString tempimg =
        runtime.isEmpty() ? QString() : runtime + QLatin1Char('/') + zentro::kTempImageName;
    pdfinit(static_cast<uintptr_t>(winId()), tempimg.toUtf8().constData());
    setpdfmaker(zentro::kMakerWeb);
}

void TMain::FormShow() {
    setWindowTitle(QString::fromUtf8(zentro::kMainCaption));
    setAcceptDrops(true);
}

void TMain::FormClose() {
    if (!imagingDown_) {
        imagingDown_ = true;
        ImgShutdown();
    }
}

void TMain::showEvent(QShowEvent* event) {
    FormShow();
    QMainWindow::showEvent(event);
}

void TMain::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

// ---- commands -----------------------------------------------------------

void TMain::exitmenuClick() {
    close();
}

void TMain::aboutmenuClick() {
    if (aboutfrm_ != nullptr) {
        dialogs_.runModal(*aboutfrm_);
    }
}

void TMain::openbtnClick() {
    openmenuClick();
}

void TMain::openmenuClick() {
    FileDialogRequest addfdlg;
    addfdlg.title = tr("Add image files");
    addfdlg.filters = openFilters();
    addfdlg.selectedFilter = addfdlg.filters.at(3);
    const QStringList chosen = dialogs_.openFiles(this, addfdlg);
    if (!chosen.isEmpty()) {
        addfiles(chosen);
    }
}

void TMain::clearmenuClick() {
    clearbtnClick();
}

void TMain::clearbtnClick() {
    if (dialogs_.confirm(this, tr("Confirm"), tr("Clear current file selection?"))) {
        fileslb_->clear();
        // Emptying the list is no selection by the user: the preview keeps
        // what it showed.
        previewPending_ = false;
    }
}

void TMain::createbtnClick() {
    createpdfs();
}

void TMain::addfiles(QStringList batch) {
    WaitCursor hourglass;
    std::stable_sort(batch.begin(), batch.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    for (const QString& name : batch) {
        const QString ext = upperExtension(name);
        if (validfext(ext.toUtf8().constData())) {
            fileslb_->addItem(name);
        } else {
            dialogs_.message(this, tr("Unsupported image type ") + ext);
        }
    }
}

void TMain::createpdfs() {
    if (creating_) {
        return;
    }
    if (fileslb_->count() == 0) {
        dialogs_.message(this, tr("You must add images before creating a PDF"));
        return;
    }
    FileDialogRequest savedlg;
    savedlg.title = tr("Save PDF As");
    savedlg.filters = QStringList{QStringLiteral("PDF Document (*.pdf)")};
    savedlg.selectedFilter = savedlg.filters.first();
    savedlg.defaultSuffix = QStringLiteral("pdf");
    const QString filename = dialogs_.saveFile(this, savedlg);
    if (filename.isEmpty()) {
        return;
    }

    int32_t code = 0;
    int warningcount = 0;
    {
        // The save pumps events: a drop arriving then must not reach the
        // library (its type check would be refused as busy).
        const QScopedValueRollback<bool> busy(creating_, true);
        WaitCursor hourglass;
        pdfclear();
        for (int i = 0; i < fileslb_->count() && code == 0; ++i) {
            code = pdfaddimage(fileslb_->item(i)->text().toUtf8().constData());
        }
        if (code == 0) {
            code = pdfsave(filename.toUtf8().constData());
        }
        if (warningsfrm_ != nullptr) {
            warningsfrm_->clearLines();
            const ovinpdf_lines lines{warningsfrm_, &addWarningLine};
            getwarnings(&lines);
            warningcount = warningsfrm_->lineCount();
        }
    }

    if (code == 0) {
        dialogs_.message(this, filename + tr(" created successfully (") +
                                   QString::number(warningcount) + tr(" warnings)"));
        if (warningcount > 0 && warningsfrm_ != nullptr) {
            dialogs_.runModal(*warningsfrm_);
        }
        return;
    }
    if (QFile::exists(filename)) {
        QFile::remove(filename);
    }
    dialogs_.message(this, errorText(code));
}

// ---- the list -----------------------------------------------------------

void TMain::fileslbKeyUp(int key) {
    if (key != Qt::Key_Delete || fileslb_->selectedItems().isEmpty()) {
        return;
    }
    for (int i = fileslb_->count() - 1; i >= 0; --i) {
        if (fileslb_->item(i)->isSelected()) {
            const std::unique_ptr<QListWidgetItem> removed(fileslb_->takeItem(i));
        }
    }
    fileslbClick();
}

void TMain::fileslbStartDrag() {
    dragindex_ = fileslb_->currentRow();
}

bool TMain::fileslbDragOver(const QObject* source, QPoint pos) {
    const bool accept =
        fileslb_->selectedItems().size() == 1 && source == fileslb_ && dragindex_ >= 0;
    if (accept) {
        const QModelIndex under = fileslb_->indexAt(pos);
        if (under.isValid()) {
            // The focus mark shows where the entry will land.
            setFocusedQuietly(under.row());
        }
    }
    return accept;
}

void TMain::fileslbDragDrop(const QObject* source, QPoint pos) {
    // Only a drag that was accepted while moving ends in a drop.
    if (fileslb_->selectedItems().size() != 1 || source != fileslb_) {
        return;
    }
    const QModelIndex under = fileslb_->indexAt(pos);
    const int target = under.isValid() ? under.row() : -1;
    const int from = dragindex_;
    if (target < 0 || target == from || from < 0 || from >= fileslb_->count()) {
        return;
    }
    // Taken out and put back at the target's index; the model move keeps the
    // entry's selection with it.
    fileslb_->model()->moveRow(QModelIndex(), from, QModelIndex(),
                               target > from ? target + 1 : target);
    setFocusedQuietly(target);
    fileslbClick();
}

void TMain::setFocusedQuietly(int row) {
    quietFocus_ = true;
    fileslb_->selectionModel()->setCurrentIndex(fileslb_->model()->index(row, 0),
                                                QItemSelectionModel::NoUpdate);
    quietFocus_ = false;
}

void TMain::schedulePreview() {
    if (quietFocus_ || previewPending_) {
        return;
    }
    // A click changes both the selection and the focus mark; one preview
    // follows both.
    previewPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (previewPending_) {
            fileslbClick();
        }
    });
}

// ---- the preview --------------------------------------------------------

void TMain::fileslbClick() {
    previewPending_ = false;
    const QListWidgetItem* focused = fileslb_->currentItem();
    if (focused == nullptr || fileslb_->selectedItems().size() != 1) {
        blankPreview();
        return;
    }
    const QString path = focused->text();
    const QString type = upperExtension(path).mid(1);
    const ImageHandle image(ImgOpenSolo(path.toUtf8().constData(), type.toUtf8().constData()));
    if (!image) {
        dialogs_.message(this, tr("Unable to open image ") + path);
        blankPreview();
        return;
    }
    int32_t flags = 0;
    const ImgInfo* info = ImgGetInfo(image.get(), &flags);
    if (info == nullptr || info->width <= 0 || info->height <= 0) {
        blankPreview();
        return;
    }
    const QSize size = previewSize(info->width, info->height, Panel1_->width(), Panel1_->height());
    QImage bitmap(size, QImage::Format_RGB32);
    if (bitmap.isNull()) {
        blankPreview();
        return;
    }
    bitmap.fill(Qt::white);
    ImgSurface surface{reinterpret_cast<uint32_t*>(bitmap.bits()), size.width(), size.height(),
                       static_cast<int32_t>(bitmap.bytesPerLine())};
    const ImgRect rect{0, 0, size.width(), size.height()};
    const ImageHandle copy(ImgCopy(image.get(), size.width(), size.height(), 0, 16));
    ImgDrawImage(copy ? copy.get() : image.get(), &surface, &rect, 0);
    showBitmap(bitmap);
}

void TMain::blankPreview() {
    QImage bitmap(Panel1_->contentsRect().size(), QImage::Format_RGB32);
    bitmap.fill(QColor(192, 192, 192));
    showBitmap(bitmap);
}

void TMain::showBitmap(const QImage& bitmap) {
    img_->move(Panel1_->contentsRect().topLeft());
    img_->resize(bitmap.size());
    img_->setPixmap(QPixmap::fromImage(bitmap));
    img_->repaint();
}

// ---- files dropped from outside -----------------------------------------

void TMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!FilesList::localPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        QMainWindow::dragEnterEvent(event);
    }
}

void TMain::dragMoveEvent(QDragMoveEvent* event) {
    if (!FilesList::localPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        QMainWindow::dragMoveEvent(event);
    }
}

void TMain::dropEvent(QDropEvent* event) {
    if (AppMessage(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        QMainWindow::dropEvent(event);
    }
}

bool TMain::AppMessage(const QMimeData* mime) {
    const QStringList paths = FilesList::localPaths(mime);
    if (paths.isEmpty() || creating_) {
        return false;
    }
    addfiles(paths);
    return true;
}
