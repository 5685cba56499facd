// The view of the pages (a PageList): a thumbnail per page with its number
// and file name under it. It reports drag movement and drops to its owner,
// which decides what they do: the reordering rule is the page list's, not
// Qt's built-in item moving.
// Files dragged in from outside are handed on as a batch of local paths.
#pragma once

#include <QListView>
#include <QStringList>

#include <functional>

class FilesList final : public QListView {
    Q_OBJECT
public:
    struct Hooks {
        // Whether a drop of an object from source at pos (viewport
        // coordinates) would be taken.
        std::function<bool(const QObject* source, QPoint pos)> dragOver;
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

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool internal(const QDropEvent* event) const;

    Hooks hooks_;
};
