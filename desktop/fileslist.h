// The view of the pages (a PageList): a thumbnail per page with its number
// and file name under it. Pressing on a selected page and moving the mouse
// carries every selected page; where they land is the owner's decision
// (the page list's rule), reported when the button is let go. The move is
// the view's own, not a drag and drop between programs, so that it works
// the same on every platform. Files dragged in from outside are handed on
// as a batch of local paths.
#pragma once

#include <QListView>
#include <QStringList>

#include <functional>

class FilesList final : public QListView {
    Q_OBJECT
public:
    struct Hooks {
        // Whether the selected pages, let go at pos (viewport coordinates),
        // would be moved.
        std::function<bool(const QObject* source, QPoint pos)> dragOver;
        // The selected pages were let go at pos.
        std::function<void(const QObject* source, QPoint pos)> dragDrop;
        // Files dragged in from outside were dropped; true when taken.
        std::function<bool(const QMimeData* data)> filesDropped;
    };

    // Thumbnails are thumbnailSide pixels at their longer side.
    explicit FilesList(int thumbnailSide, QWidget* parent = nullptr);
    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    // The local file paths a drag from outside carries; empty for anything
    // else.
    static QStringList localPaths(const QMimeData* data);

    // The rows of the selected entries, in no particular order.
    QList<int> selectedRows() const;
    // Whether selected pages are being carried.
    bool moving() const { return moving_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void stopMoving();

    Hooks hooks_;
    QPoint pressedAt_;
    bool pressedOnSelection_ = false;
    bool moving_ = false;
    QPoint movingAt_;
};
