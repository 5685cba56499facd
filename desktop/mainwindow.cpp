#include "mainwindow.h"

#include "aboutwindow.h"
#include "appinfo.h"
#include "creator.h"
#include "dialogs.h"
#include "filenames.h"
#include "fileslist.h"
#include "imaging.h"
#include "ovinpdf.h"
#include "pictures.h"
#include "previewfit.h"
#include "waitcursor.h"
#include "warningswindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>

namespace {

// The list's width and the preview panel's size when the window opens.
constexpr int kListWidth = 377;
constexpr QSize kPanelSize(517, 675);

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

// Where the window's own temporary folder is made: in the user's runtime
// folder, else in the system's temporary folder.
QString tempFolderTemplate() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty()) {
        base = QDir::tempPath();
    }
    return base + QStringLiteral("/zentropdf-XXXXXX");
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

TMain::TMain(Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), pages_(dialogs, this),
      tempdir_(tempFolderTemplate()) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QString::fromUtf8(zentro::kAppTitle));
    setWindowIcon(pictures::appIcon());
    buildMenu();
    buildToolBar();
    buildList();
    fitAroundPanel();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
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
    fileslb_->setModel(&pages_);
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
    setCentralWidget(Splitter1_);
}

void TMain::fitAroundPanel() {
    // The window is sized from the inside out: at start the list is
    // kListWidth wide and the preview panel kPanelSize, whatever height the
    // menu bar has here; the frame that the window manager adds comes on top.
    const QSize central(kListWidth + Splitter1_->handleWidth() + kPanelSize.width(),
                        kPanelSize.height());
    Splitter1_->setSizes({kListWidth, kPanelSize.width()});
    resize(central);
    layout()->activate();
    resize(size() + central - centralWidget()->size());
}

void TMain::setSecondaryWindows(Taboutfrm* aboutfrm, Twarningsfrm* warningsfrm) {
    aboutfrm_ = aboutfrm;
    warningsfrm_ = warningsfrm;
}

QString TMain::tempImagePath() const {
    return tempdir_.isValid() ? tempdir_.filePath(QString::fromUtf8(zentro::kTempImageName))
                              : QString();
}

// ---- start-up and shut-down -------------------------------------------

void TMain::FormCreate() {
    ImgInit();
    // The temporary image file lives in a folder of this window's own, so
    // that two running programs never meet in one file; the folder goes with
    // the window. Without it the library's own default applies.
    pdfinit(static_cast<uintptr_t>(winId()), tempImagePath().toUtf8().constData());
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
        pages_.clear();
        // Emptying the list is no selection by the user: the preview keeps
        // what it showed.
        previewPending_ = false;
    }
}

void TMain::createbtnClick() {
    createpdfs();
}

void TMain::addfiles(const QStringList& batch) {
    WaitCursor hourglass;
    pages_.add(batch);
}

void TMain::createpdfs() {
    if (creating_) {
        return;
    }
    if (pages_.count() == 0) {
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

    Creation creation;
    {
        // The save pumps events: a drop arriving then must not reach the
        // library (its type check would be refused as busy).
        const QScopedValueRollback<bool> busy(creating_, true);
        WaitCursor hourglass;
        const QStringList pages = pages_.entries();
        creation = createPdf(pages, filename);
        if (warningsfrm_ != nullptr) {
            warningsfrm_->clearLines();
            for (const QString& line : creation.warnings) {
                warningsfrm_->addLine(line);
            }
        }
    }
    // After a failure or a cancelled save the chosen file is as it was: the
    // library replaces it only with a complete PDF.
    dialogs_.message(this, creation.message);
    if (creation.succeeded() && !creation.warnings.isEmpty() && warningsfrm_ != nullptr) {
        dialogs_.runModal(*warningsfrm_);
    }
}

// ---- the list -----------------------------------------------------------

void TMain::fileslbKeyUp(int key) {
    if (key != Qt::Key_Delete) {
        return;
    }
    const QList<int> selected = fileslb_->selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    pages_.remove(selected);
    fileslbClick();
}

void TMain::fileslbStartDrag() {
    dragindex_ = fileslb_->currentIndex().row();
}

bool TMain::fileslbDragOver(const QObject* source, QPoint pos) {
    const bool accept =
        fileslb_->selectedRows().size() == 1 && source == fileslb_ && dragindex_ >= 0;
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
    if (fileslb_->selectedRows().size() != 1 || source != fileslb_) {
        return;
    }
    const QModelIndex under = fileslb_->indexAt(pos);
    const int target = under.isValid() ? under.row() : -1;
    // The entry keeps its selection as it moves.
    if (!pages_.move(dragindex_, target)) {
        return;
    }
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
    const QModelIndex focused = fileslb_->currentIndex();
    if (!focused.isValid() || fileslb_->selectedRows().size() != 1) {
        blankPreview();
        return;
    }
    const QString path = pages_.entries().at(focused.row());
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
