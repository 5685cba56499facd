#include "mainwindow.h"

#include "aboutwindow.h"
#include "appinfo.h"
#include "creator.h"
#include "dialogs.h"
#include "fileslist.h"
#include "folderfiles.h"
#include "ovinpdf.h"
#include "pagereader.h"
#include "pictures.h"
#include "previewfit.h"
#include "thumbnails.h"
#include "waitcursor.h"
#include "warningswindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTransform>
#include <QUndoCommand>
#include <QUndoStack>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <string>

namespace {

// The window's size at the start when the screen has room for it, and the
// list's share of it.
constexpr QSize kDesignSize(905, 749);
constexpr int kListWidth = 377;
// Thumbnails at their longer side, and how many bytes of them are kept.
constexpr int kThumbnailSide = 112;
constexpr qint64 kThumbnailBudget = qint64{96} << 20;
// The preview is read at most this large and reduced to the panel.
constexpr int kPreviewSide = 1600;

const QString kGeometryKey = QStringLiteral("window/geometry");

// Where the window's own temporary folder is made: in the user's runtime
// folder, else in the system's temporary folder.
QString tempFolderTemplate() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty()) {
        base = QDir::tempPath();
    }
    return base + QStringLiteral("/zentropdf-XXXXXX");
}

// The open dialog's filters; the first is preselected.
QStringList openFilters() {
    return {
        QCoreApplication::translate(
            "TMain",
            "All supported image types (*.jpg *.jpeg *.jpe *.tif *.tiff *.png *.bmp "
            "*.pbm *.pgm *.ppm *.pnm *.jp2 *.j2k *.webp *.gif *.heic *.heif *.avif *.jxl)"),
        QCoreApplication::translate("TMain", "JPEG Image (*.jpg *.jpeg *.jpe)"),
        QCoreApplication::translate("TMain", "TIFF Image (*.tif *.tiff)"),
        QCoreApplication::translate("TMain", "PNG Image (*.png)"),
        QCoreApplication::translate("TMain", "Windows Bitmap (*.bmp)"),
        QCoreApplication::translate("TMain", "All files (*)"),
    };
}

// One change of the list: the list before and after it, with the pages
// selected in each.
class ListChange final : public QUndoCommand {
public:
    using Apply = std::function<void(const QList<Page>&, const QList<quint64>&)>;
    ListChange(Apply apply, QList<Page> before, QList<quint64> selectedBefore, QList<Page> after,
               QList<quint64> selectedAfter, const QString& what)
        : QUndoCommand(what), apply_(std::move(apply)), before_(std::move(before)),
          selectedBefore_(std::move(selectedBefore)), after_(std::move(after)),
          selectedAfter_(std::move(selectedAfter)) {}
    void undo() override { apply_(before_, selectedBefore_); }
    void redo() override { apply_(after_, selectedAfter_); }

private:
    Apply apply_;
    QList<Page> before_;
    QList<quint64> selectedBefore_;
    QList<Page> after_;
    QList<quint64> selectedAfter_;
};

QIcon themed(const char* name, pictures::Tool fallback) {
    return QIcon::fromTheme(QString::fromLatin1(name), pictures::toolIcon(fallback));
}

} // namespace

TMain::TMain(Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), pages_(this), tempdir_(tempFolderTemplate()) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(tr("Zentro PDF - Version 1.0"));
    setWindowIcon(pictures::appIcon());
    reader_ = new PageReader(this);
    thumbnails_ = new ThumbnailCache(*reader_, kThumbnailSide, kThumbnailBudget, this);
    pages_.setThumbnails(thumbnails_);
    connect(thumbnails_, &ThumbnailCache::ready, &pages_, &PageList::thumbnailReady);
    undo_ = new QUndoStack(this);
    QSettings settings;
    setup_ = PageSetup::load(settings);
    buildList();
    buildActions();
    buildToolBar();
    pageCount_ = new QLabel(this);
    pageCount_->setObjectName(QStringLiteral("pagecount"));
    reading_ = new QLabel(this);
    reading_->setObjectName(QStringLiteral("reading"));
    statusBar()->addWidget(pageCount_);
    statusBar()->addPermanentWidget(reading_);
    updateCounts();
    connect(reader_, &PageReader::idleChanged, this,
            [this](bool idle) { reading_->setText(idle ? QString() : tr("Reading pages...")); });
    resize(kDesignSize);
    Splitter1_->setSizes({kListWidth, kDesignSize.width() - kListWidth});
    restoreGeometry(settings.value(kGeometryKey).toByteArray());
    fitToScreen();
    setAcceptDrops(true);
}

TMain::~TMain() = default;

void TMain::buildActions() {
    const auto action = [this](QMenu* menu, const QString& name, const QString& text,
                               const QKeySequence& keys, auto handler) {
        QAction* a = menu->addAction(text, this, handler);
        a->setObjectName(name);
        a->setShortcut(keys);
        return a;
    };
    QMenu* filemenu = menuBar()->addMenu(tr("&File"));
    filemenu->setObjectName(QStringLiteral("filemenu"));
    action(filemenu, QStringLiteral("openmenu"), tr("&Open..."), QKeySequence::Open,
           &TMain::openmenuClick)
        ->setIcon(themed("document-open", pictures::Tool::Open));
    action(filemenu, QStringLiteral("clearmenu"), tr("&Clear Selection"), QKeySequence(),
           &TMain::clearbtnClick)
        ->setIcon(themed("edit-clear", pictures::Tool::Clear));
    action(filemenu, QStringLiteral("pagesetupmenu"), tr("Page &Setup..."), QKeySequence(),
           &TMain::pageSetupClick);
    filemenu->addSeparator()->setObjectName(QStringLiteral("N1"));
    action(filemenu, QStringLiteral("exitmenu"), tr("E&xit"), QKeySequence::Quit,
           &TMain::exitmenuClick);

    QMenu* editmenu = menuBar()->addMenu(tr("&Edit"));
    editmenu->setObjectName(QStringLiteral("editmenu"));
    QAction* undo = undo_->createUndoAction(this, tr("&Undo"));
    undo->setObjectName(QStringLiteral("undomenu"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = undo_->createRedoAction(this, tr("&Redo"));
    redo->setObjectName(QStringLiteral("redomenu"));
    redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    editmenu->addAction(undo);
    editmenu->addAction(redo);
    editmenu->addSeparator();
    action(editmenu, QStringLiteral("selectallmenu"), tr("Select &All"), QKeySequence::SelectAll,
           [this] { fileslb_->selectAll(); });
    action(editmenu, QStringLiteral("deletemenu"), tr("&Delete"), QKeySequence::Delete,
           &TMain::deleteSelected);

    QMenu* pagesmenu = menuBar()->addMenu(tr("&Images"));
    pagesmenu->setObjectName(QStringLiteral("pagesmenu"));
    action(pagesmenu, QStringLiteral("pdfmenu"), tr("Create &PDF"), QKeySequence::Save,
           &TMain::createpdfs)
        ->setIcon(themed("document-save", pictures::Tool::CreatePdf));
    pagesmenu->addSeparator();
    action(pagesmenu, QStringLiteral("rotateleftmenu"), tr("Rotate &Left"),
           QKeySequence(Qt::CTRL | Qt::Key_L), [this] { rotateSelected(270); })
        ->setIcon(QIcon::fromTheme(QStringLiteral("object-rotate-left")));
    action(pagesmenu, QStringLiteral("rotaterightmenu"), tr("Rotate &Right"),
           QKeySequence(Qt::CTRL | Qt::Key_R), [this] { rotateSelected(90); })
        ->setIcon(QIcon::fromTheme(QStringLiteral("object-rotate-right")));
    action(pagesmenu, QStringLiteral("rotate180menu"), tr("Rotate &Half a Turn"), QKeySequence(),
           [this] { rotateSelected(180); });
    pagesmenu->addSeparator();
    action(pagesmenu, QStringLiteral("moveupmenu"), tr("Move &Up"),
           QKeySequence(Qt::CTRL | Qt::Key_Up), [this] { moveSelected(-1); });
    action(pagesmenu, QStringLiteral("movedownmenu"), tr("Move &Down"),
           QKeySequence(Qt::CTRL | Qt::Key_Down), [this] { moveSelected(1); });
    action(pagesmenu, QStringLiteral("movetopmenu"), tr("Move to &Top"),
           QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { moveSelected(-2); });
    action(pagesmenu, QStringLiteral("movebottommenu"), tr("Move to &Bottom"),
           QKeySequence(Qt::CTRL | Qt::Key_End), [this] { moveSelected(2); });

    QMenu* helpmenu = menuBar()->addMenu(tr("&Help"));
    helpmenu->setObjectName(QStringLiteral("helpmenu"));
    action(helpmenu, QStringLiteral("aboutmenu"), tr("&About..."), QKeySequence::HelpContents,
           &TMain::aboutmenuClick)
        ->setIcon(pictures::toolIcon(pictures::Tool::About));
}

void TMain::buildToolBar() {
    ToolBar1_ = addToolBar(tr("Tools"));
    ToolBar1_->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1_->setMovable(false);
    ToolBar1_->setFloatable(false);
    ToolBar1_->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const auto button = [this](const char* menuName, const QString& name, const QString& hint) {
        auto* source = findChild<QAction*>(QString::fromLatin1(menuName));
        auto* a = ToolBar1_->addAction(source->icon(), hint, source, &QAction::trigger);
        a->setObjectName(name);
        a->setToolTip(hint);
    };
    button("openmenu", QStringLiteral("openbtn"), tr("Open Images"));
    button("clearmenu", QStringLiteral("clearbtn"), tr("Clear Selection"));
    button("pdfmenu", QStringLiteral("createbtn"), tr("Create PDF"));
    ToolBar1_->addSeparator()->setObjectName(QStringLiteral("ToolButton3"));
    button("rotateleftmenu", QStringLiteral("rotateleftbtn"), tr("Rotate Left"));
    button("rotaterightmenu", QStringLiteral("rotaterightbtn"), tr("Rotate Right"));
    ToolBar1_->addSeparator();
    button("aboutmenu", QStringLiteral("aboutbtn"), tr("About"));

    // Tab goes on from the preview through the buttons (a toolbar's take
    // no focus by default), so that each can be reached from the keyboard.
    QWidget* previous = Panel1_;
    for (QAction* a : ToolBar1_->actions()) {
        QWidget* widget = ToolBar1_->widgetForAction(a);
        if (a->isSeparator() || widget == nullptr) {
            continue;
        }
        widget->setFocusPolicy(Qt::TabFocus);
        setTabOrder(previous, widget);
        previous = widget;
    }
}

void TMain::buildList() {
    Splitter1_ = new QSplitter(Qt::Horizontal, this);
    Splitter1_->setObjectName(QStringLiteral("Splitter1"));
    Splitter1_->setChildrenCollapsible(false);

    fileslb_ = new FilesList(kThumbnailSide, Splitter1_);
    fileslb_->setObjectName(QStringLiteral("fileslb"));
    fileslb_->setModel(&pages_);
    fileslb_->setHooks(FilesList::Hooks{
        [this](const QObject* source, QPoint pos) { return fileslbDragOver(source, pos); },
        [this](const QObject* source, QPoint pos) { fileslbDragDrop(source, pos); },
        [this](const QMimeData* mime) { return AppMessage(mime); },
    });
    connect(fileslb_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMain::schedulePreview);
    connect(fileslb_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TMain::schedulePreview);
    connect(&pages_, &QAbstractItemModel::modelReset, this, &TMain::updateCounts);

    Panel1_ = new QFrame(Splitter1_);
    Panel1_->setObjectName(QStringLiteral("Panel1"));
    Panel1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1_->setMinimumSize(120, 120);
    // Tab goes from the list to the preview and on to the window's other
    // controls, not from page to page.
    Panel1_->setFocusPolicy(Qt::StrongFocus);
    fileslb_->setTabKeyNavigation(false);
    Panel1_->installEventFilter(this);
    img_ = new QLabel(Panel1_);
    img_->setObjectName(QStringLiteral("img"));
    img_->setAlignment(Qt::AlignCenter);
    img_->setWordWrap(true);

    Splitter1_->addWidget(fileslb_);
    Splitter1_->addWidget(Panel1_);
    Splitter1_->setStretchFactor(0, 0);
    Splitter1_->setStretchFactor(1, 1);
    setCentralWidget(Splitter1_);
    setTabOrder(fileslb_, Panel1_);
}

void TMain::fitToScreen() {
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    // The window manager's frame comes on top of the window's own size:
    // known once shown, else allowed for.
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(16, 40);
    const QSize room = (area.size() - frame).expandedTo(minimumSizeHint());
    const QSize size = this->size().boundedTo(room);
    if (size != this->size()) {
        resize(size);
    }
    QRect placed(pos(), size + frame);
    if (!placed_ && !area.contains(placed)) {
        placed.moveCenter(area.center());
    }
    // Within the area, the top-left corner first so that the title bar
    // and the menu can be reached.
    placed.moveRight(std::min(placed.right(), area.right()));
    placed.moveBottom(std::min(placed.bottom(), area.bottom()));
    placed.moveLeft(std::max(placed.left(), area.left()));
    placed.moveTop(std::max(placed.top(), area.top()));
    move(placed.topLeft());
}

void TMain::setSecondaryWindows(Taboutfrm* aboutfrm, Twarningsfrm* warningsfrm) {
    aboutfrm_ = aboutfrm;
    warningsfrm_ = warningsfrm;
}

QString TMain::tempImagePath() const {
    return tempdir_.isValid() ? tempdir_.filePath(QString::fromUtf8(zentro::kTempImageName))
                              : QString();
}

void TMain::setPageSetup(const PageSetup& setup) {
    setup_ = setup;
    QSettings settings;
    setup_.save(settings);
}

// ---- start-up and shut-down -------------------------------------------

void TMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!placed_) {
        fitToScreen();
        placed_ = true;
    }
}

void TMain::closeEvent(QCloseEvent* event) {
    if (creating_ ||
        (pages_.count() > 0 && !undo_->isClean() &&
         !dialogs_.confirm(this, tr("Confirm"),
                           tr("The pages in the list have not been made into a PDF. Quit "
                              "anyway?")))) {
        event->ignore();
        return;
    }
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
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

void TMain::openmenuClick() {
    FileDialogRequest addfdlg;
    addfdlg.title = tr("Add image files");
    addfdlg.filters = openFilters();
    addfdlg.selectedFilter = addfdlg.filters.first();
    const QStringList chosen = dialogs_.openFiles(this, addfdlg);
    if (!chosen.isEmpty()) {
        addfiles(chosen);
    }
}

void TMain::clearbtnClick() {
    if (pages_.count() > 0 &&
        dialogs_.confirm(this, tr("Confirm"), tr("Clear current file selection?"))) {
        changeList({}, tr("Clear"), {});
    }
}

void TMain::pageSetupClick() {
    PageSetup setup = setup_;
    if (editPageSetup(dialogs_, this, setup)) {
        setPageSetup(setup);
    }
}

void TMain::deleteSelected() {
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        return;
    }
    QList<Page> after;
    for (int row = 0; row < pages_.count(); ++row) {
        if (!rows.contains(row)) {
            after << pages_.pages().at(row);
        }
    }
    // The page after the last one removed (or before it, at the end) is
    // selected next, so that Delete can be pressed again.
    QList<quint64> next;
    const int following = rows.last() + 1 - static_cast<int>(rows.size());
    if (!after.isEmpty()) {
        next << after.at(std::min(following, static_cast<int>(after.size()) - 1)).id;
    }
    changeList(after, tr("Delete"), next);
}

void TMain::rotateSelected(int degrees) {
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        return;
    }
    QList<Page> after = pages_.pages();
    for (const int row : rows) {
        after[row].rotation = (after[row].rotation + degrees) % 360;
    }
    changeList(after,
               degrees == 90    ? tr("Rotate Right")
               : degrees == 270 ? tr("Rotate Left")
                                : tr("Rotate Half a Turn"),
               selectedIds());
}

void TMain::moveSelected(int step) {
    const QList<int> rows = selectedRows();
    const QList<Page> after = PageList::stepped(pages_.pages(), rows, step);
    if (after != pages_.pages()) {
        changeList(after, tr("Move"), selectedIds());
    }
}

void TMain::addfiles(QStringList batch) {
    if (batch.isEmpty()) {
        return;
    }
    PageList::sortBatch(batch);
    // A folder gives its files in its place, as the tool does; those that
    // are no images (a Thumbs.db, say) are no pages, and a folder that
    // cannot be read is marked with the reason.
    QStringList files;
    QHash<QString, QString> unreadFolders;
    QSet<QString> inFolders;
    for (const QString& name : std::as_const(batch)) {
        if (!QFileInfo(name).isDir()) {
            files << name;
            continue;
        }
        std::string error;
        const auto found = ovin::folderfiles(QFile::encodeName(name).toStdString(), error);
        if (!found) {
            files << name;
            unreadFolders.insert(
                name, tr("Cannot read the folder %1: %2").arg(name, QString::fromLocal8Bit(error)));
            continue;
        }
        for (const std::string& file : *found) {
            files << QFile::decodeName(QByteArray::fromStdString(file));
            inFolders.insert(files.last());
        }
    }
    if (files.isEmpty()) {
        return;
    }
    ++batchesReading_;
    reader_->readFiles(files, [this, unreadFolders, inFolders](const QList<FileReading>& read) {
        --batchesReading_;
        QList<Page> after = pages_.pages();
        QList<quint64> added;
        for (FileReading file : read) {
            if (file.code == OVINPDF_UNSUPPORTED_TYPE && inFolders.contains(file.file)) {
                continue;
            }
            if (unreadFolders.contains(file.file)) {
                file.problem = unreadFolders.value(file.file);
            }
            if (file.pages == 0) {
                Page bad;
                bad.file = file.file;
                bad.problem = file.problem;
                bad.id = pages_.nextId();
                after << bad;
                added << bad.id;
                continue;
            }
            for (quint32 p = 1; p <= file.pages; ++p) {
                Page page;
                page.file = file.file;
                page.page = p;
                page.pages = file.pages;
                page.id = pages_.nextId();
                after << page;
                added << page.id;
            }
        }
        changeList(after, tr("Add"), added);
    });
}

void TMain::changeList(QList<Page> after, const QString& what, const QList<quint64>& selectIds) {
    const auto apply = [this](const QList<Page>& pages, const QList<quint64>& selected) {
        pages_.setPages(pages);
        selectRows(pages_.rowsOf(selected));
        schedulePreview();
    };
    undo_->push(std::make_unique<ListChange>(apply, pages_.pages(), selectedIds(), std::move(after),
                                             selectIds, what)
                    .release()); // the stack owns its commands
}

QList<int> TMain::selectedRows() const {
    QList<int> rows = fileslb_->selectedRows();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QList<quint64> TMain::selectedIds() const {
    QList<quint64> ids;
    for (const int row : selectedRows()) {
        ids << pages_.pages().at(row).id;
    }
    return ids;
}

void TMain::selectRows(const QList<int>& rows) {
    QItemSelection selection;
    for (const int row : rows) {
        selection.select(pages_.index(row), pages_.index(row));
    }
    QItemSelectionModel* model = fileslb_->selectionModel();
    if (!rows.isEmpty()) {
        model->setCurrentIndex(pages_.index(rows.first()), QItemSelectionModel::NoUpdate);
        fileslb_->scrollTo(pages_.index(rows.first()));
    }
    model->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TMain::updateCounts() {
    const int all = pages_.count();
    const int bad = all - pages_.usableCount();
    pageCount_->setText(bad == 0 ? tr("Pages: %1").arg(all)
                                 : tr("Pages: %1, of which %2 cannot be used").arg(all).arg(bad));
}

void TMain::createpdfs() {
    if (creating_) {
        return;
    }
    if (pages_.count() == 0) {
        dialogs_.message(this, tr("You must add images before creating a PDF"));
        return;
    }
    if (batchesReading_ > 0) {
        dialogs_.message(this, tr("Some files are still being read. Please try again when "
                                  "their pages are listed."));
        return;
    }
    FileDialogRequest savedlg;
    savedlg.title = tr("Save PDF As");
    savedlg.filters = QStringList{tr("PDF Document (*.pdf)")};
    savedlg.selectedFilter = savedlg.filters.first();
    savedlg.defaultSuffix = QStringLiteral("pdf");
    const QString filename = dialogs_.saveFile(this, savedlg);
    if (filename.isEmpty()) {
        return;
    }

    Creation creation;
    {
        const QScopedValueRollback<bool> busy(creating_, true);
        QProgressDialog progress(tr("Creating the PDF..."), tr("Cancel"), 0, pages_.usableCount(),
                                 this);
        progress.setObjectName(QStringLiteral("progress"));
        progress.setWindowTitle(QString::fromUtf8(zentro::kAppTitle));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        const auto step = [&progress](quint32 page, quint32 count, const QString& status) {
            // While text is recognised, page counts the pages written so far.
            const quint32 shown = std::clamp(page, quint32{1}, std::max(count, quint32{1}));
            progress.setMaximum(static_cast<int>(count));
            progress.setValue(static_cast<int>(shown) - 1);
            const QString counted = tr("Page %1 of %2").arg(shown).arg(count);
            progress.setLabelText(status.isEmpty() ? counted : counted + u'\n' + status);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        };
        creation = createPdf(pages_.pages(), setup_, filename, tempImagePath(), step);
        if (warningsfrm_ != nullptr) {
            warningsfrm_->clearLines();
            for (const QString& line : creation.warnings) {
                warningsfrm_->addLine(line);
            }
        }
    }
    // After a failure or a cancelled save the chosen file is as it was: the
    // library replaces it only with a complete PDF.
    if (!creation.succeeded()) {
        dialogs_.message(this, creation.message);
        return;
    }
    undo_->setClean();
    const int choice =
        dialogs_.choose(this, creation.message, {tr("Open PDF"), tr("Show in Folder"), tr("OK")});
    if (choice == 0) {
        dialogs_.openUrl(QUrl::fromLocalFile(filename));
    } else if (choice == 1) {
        dialogs_.openUrl(QUrl::fromLocalFile(QFileInfo(filename).absolutePath()));
    }
    if (!creation.warnings.isEmpty() && warningsfrm_ != nullptr) {
        dialogs_.runModal(*warningsfrm_);
    }
}

// ---- dragging in the list -----------------------------------------------

bool TMain::fileslbDragOver(const QObject* source, QPoint /*pos*/) {
    return source == fileslb_ && !selectedRows().isEmpty();
}

void TMain::fileslbDragDrop(const QObject* source, QPoint pos) {
    if (source != fileslb_) {
        return;
    }
    const QModelIndex under = fileslb_->indexAt(pos);
    const QList<Page> after =
        PageList::moved(pages_.pages(), selectedRows(), under.isValid() ? under.row() : -1);
    if (after != pages_.pages()) {
        changeList(after, tr("Move"), selectedIds());
    }
}

// ---- the preview --------------------------------------------------------

void TMain::schedulePreview() {
    updateCounts();
    if (previewPending_) {
        return;
    }
    // A click changes both the selection and the current page; one preview
    // follows both.
    previewPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (previewPending_) {
            fileslbClick();
        }
    });
}

void TMain::fileslbClick() {
    previewPending_ = false;
    const QList<int> rows = selectedRows();
    if (rows.size() != 1) {
        previewFor_ = previewAsked_ = 0;
        preview_ = QImage();
        blankPreview();
        return;
    }
    const Page page = pages_.pages().at(rows.first());
    if (!page.usable()) {
        previewFor_ = previewAsked_ = 0;
        preview_ = QImage();
        blankPreview(page.problem);
        return;
    }
    if (previewAsked_ == page.id) {
        return; // already on its way
    }
    previewAsked_ = page.id;
    reader_->readPicture(
        page.file, page.page, kPreviewSide,
        [this, page](const QImage& picture, const QString& problem) {
            // Only the answer for the page still selected counts.
            if (previewAsked_ != page.id) {
                return;
            }
            previewAsked_ = 0;
            previewFor_ = page.id;
            preview_ = picture.isNull() || page.rotation == 0
                           ? picture
                           : picture.transformed(QTransform().rotate(page.rotation));
            if (preview_.isNull()) {
                blankPreview(tr("Unable to open image %1: %2").arg(page.file, problem));
            } else {
                showPreview();
            }
        });
}

void TMain::showPreview() {
    const QRect area = Panel1_->contentsRect().adjusted(5, 5, -5, -5);
    if (preview_.isNull() || area.width() <= 0 || area.height() <= 0) {
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize size =
        previewSize(preview_.width(), preview_.height(), static_cast<int>(area.width() * ratio),
                    static_cast<int>(area.height() * ratio));
    QPixmap pixmap =
        QPixmap::fromImage(preview_.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    const QSize shown = (QSizeF(size) / ratio).toSize();
    img_->setGeometry(
        QRect(QPoint(area.center().x() - shown.width() / 2, area.center().y() - shown.height() / 2),
              shown));
    img_->setPixmap(pixmap);
}

void TMain::blankPreview(const QString& text) {
    img_->setPixmap(QPixmap());
    img_->setText(text);
    img_->setGeometry(Panel1_->contentsRect().adjusted(10, 10, -10, -10));
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel1_ && event->type() == QEvent::Resize) {
        if (!preview_.isNull()) {
            showPreview();
        } else {
            img_->setGeometry(Panel1_->contentsRect().adjusted(10, 10, -10, -10));
        }
    }
    return QMainWindow::eventFilter(watched, event);
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
