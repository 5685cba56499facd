// The main window: shows the list of chosen image files (a PageList) and a
// preview of the selected one, and runs the commands that add files, clear
// the list and turn the list into one PDF (createPdf).
#pragma once

#include "pagelist.h"

#include <QMainWindow>
#include <QStringList>
#include <QTemporaryDir>

class Dialogs;
class FilesList;
class QAction;
class QFrame;
class QLabel;
class QMimeData;
class QSplitter;
class QToolBar;
class Taboutfrm;
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
    void openbtnClick();
    void openmenuClick();
    void clearmenuClick();
    void clearbtnClick();
    void createbtnClick();
    void createpdfs();

    // Adds one batch of names (from the open dialog or a drop) to the list,
    // under the hourglass.
    void addfiles(const QStringList& batch);
    // Files dropped on the window: the local paths the drop carries form a
    // batch. False when it carries none.
    bool AppMessage(const QMimeData* mime);

    // The list's handlers.
    void fileslbKeyUp(int key);
    void fileslbStartDrag();
    bool fileslbDragOver(const QObject* source, QPoint pos);
    void fileslbDragDrop(const QObject* source, QPoint pos);
    void fileslbClick();

    FilesList* fileslb() const { return fileslb_; }
    QFrame* Panel1() const { return Panel1_; }
    QLabel* img() const { return img_; }
    QSplitter* Splitter1() const { return Splitter1_; }
    QToolBar* ToolBar1() const { return ToolBar1_; }
    int dragindex() const { return dragindex_; }
    const PageList& pages() const { return pages_; }
    const QStringList& entries() const { return pages_.entries(); }
    // The temporary image file handed to the library: in a folder of this
    // window's own, removed with the window.
    QString tempImagePath() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void buildMenu();
    void buildToolBar();
    void buildList();
    void fitAroundPanel();
    void schedulePreview();
    void setFocusedQuietly(int row);
    void blankPreview();
    void showBitmap(const QImage& bitmap);

    Dialogs& dialogs_;
    PageList pages_;
    QTemporaryDir tempdir_;
    Taboutfrm* aboutfrm_ = nullptr;
    Twarningsfrm* warningsfrm_ = nullptr;

    QToolBar* ToolBar1_ = nullptr;
    QSplitter* Splitter1_ = nullptr;
    FilesList* fileslb_ = nullptr;
    QFrame* Panel1_ = nullptr;
    QLabel* img_ = nullptr;

    int dragindex_ = 0;
    bool previewPending_ = false;
    bool quietFocus_ = false;
    bool imagingDown_ = false;
    // True while createpdfs talks to the library; the library takes no
    // other call meanwhile.
    bool creating_ = false;
};
