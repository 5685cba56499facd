// The main window: the list of chosen image files, the preview of the
// selected one and the commands that add files, clear the list and turn the
// list into one PDF through the ovinpdf library.
#pragma once

#include <QMainWindow>
#include <QStringList>

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

    // Adds one batch of names (from the open dialog or a drop) at the end of
    // the list, in case-insensitive order; refused types are reported.
    void addfiles(QStringList batch);
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
    QStringList entries() const;

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
    void schedulePreview();
    void setFocusedQuietly(int row);
    void blankPreview();
    void showBitmap(const QImage& bitmap);

    Dialogs& dialogs_;
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
