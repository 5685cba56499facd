// The main window: the pages of the PDF to be as thumbnails (a PageList in
// a FilesList), a preview of the selected page, and the commands that add
// files, turn, order and remove pages (each one undoable), set up the page
// and turn the list into one PDF (createPdf).
#pragma once

#include "pagelist.h"
#include "pagesetup.h"

#include <QImage>
#include <QMainWindow>
#include <QStringList>
#include <QTemporaryDir>

class Dialogs;
class FilesList;
class PageReader;
class QAction;
class QFrame;
class QLabel;
class QMimeData;
class QSplitter;
class QToolBar;
class QUndoStack;
class Taboutfrm;
class ThumbnailCache;
class Twarningsfrm;

class TMain final : public QMainWindow {
    Q_OBJECT
public:
    explicit TMain(Dialogs& dialogs, QWidget* parent = nullptr);
    ~TMain() override;
    TMain(const TMain&) = delete;
    TMain& operator=(const TMain&) = delete;

    // The about and warnings windows are created after the main window.
    void setSecondaryWindows(Taboutfrm* aboutfrm, Twarningsfrm* warningsfrm);

    // Commands.
    void exitmenuClick();
    void aboutmenuClick();
    void openmenuClick();
    void clearbtnClick();
    void createpdfs();
    void pageSetupClick();
    void deleteSelected();
    // Turns the selected pages clockwise by degrees (90, 180 or 270).
    void rotateSelected(int degrees);
    // Moves the selected pages one place up (-1) or down (+1), or to the
    // top (-2) or the bottom (+2).
    void moveSelected(int step);

    // Adds one batch of names (the open dialog, a drop, the command line)
    // at the end of the list, in the order a file manager shows them, once
    // every file of it has been read in the background.
    void addfiles(QStringList batch);
    // Files dropped on the window: the local paths the drop carries form a
    // batch. False when it carries none.
    bool AppMessage(const QMimeData* mime);

    // The list's drag handlers: every selected page moves.
    bool fileslbDragOver(const QObject* source, QPoint pos);
    void fileslbDragDrop(const QObject* source, QPoint pos);
    // Shows the selected page in the preview panel.
    void fileslbClick();

    FilesList* fileslb() const { return fileslb_; }
    QFrame* Panel1() const { return Panel1_; }
    QLabel* img() const { return img_; }
    QSplitter* Splitter1() const { return Splitter1_; }
    QToolBar* ToolBar1() const { return ToolBar1_; }
    QLabel* pageCount() const { return pageCount_; }
    PageList& pages() { return pages_; }
    QUndoStack& undoStack() { return *undo_; }
    PageReader& reader() { return *reader_; }
    const PageSetup& pageSetup() const { return setup_; }
    void setPageSetup(const PageSetup& setup);
    // The rows selected, ascending.
    QList<int> selectedRows() const;
    void selectRows(const QList<int>& rows);
    // The temporary image file handed to the library: in a folder of this
    // window's own, removed with the window.
    QString tempImagePath() const;
    // Keeps the window within the available area of its screen.
    void fitToScreen();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildActions();
    void buildToolBar();
    void buildList();
    // Makes `after` the list as one undoable step named `what`, with the
    // pages of `selectIds` selected afterwards.
    void changeList(QList<Page> after, const QString& what, const QList<quint64>& selectIds);
    QList<quint64> selectedIds() const;
    void updateCounts();
    void schedulePreview();
    void showPreview();
    void blankPreview(const QString& text = QString());

    Dialogs& dialogs_;
    PageList pages_;
    QTemporaryDir tempdir_;
    PageSetup setup_;
    PageReader* reader_ = nullptr;
    ThumbnailCache* thumbnails_ = nullptr;
    QUndoStack* undo_ = nullptr;
    Taboutfrm* aboutfrm_ = nullptr;
    Twarningsfrm* warningsfrm_ = nullptr;

    QToolBar* ToolBar1_ = nullptr;
    QSplitter* Splitter1_ = nullptr;
    FilesList* fileslb_ = nullptr;
    QFrame* Panel1_ = nullptr;
    QLabel* img_ = nullptr;
    QLabel* pageCount_ = nullptr;
    QLabel* reading_ = nullptr;

    QImage preview_;         // the selected page, upright and turned
    quint64 previewFor_ = 0; // the id of the page it shows
    quint64 previewAsked_ = 0;
    bool previewPending_ = false;
    int batchesReading_ = 0;
    bool placed_ = false;
    // True while createpdfs talks to the library.
    bool creating_ = false;
};
