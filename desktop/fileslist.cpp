#include "fileslist.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QUrl>

namespace {
// The payload of a drag inside the list; only its source matters.
const QString kInternalMime = QStringLiteral("application/x-zentropdf-entry");

// Every page takes one cell of the grid, whether its thumbnail is there yet
// or not, so that the list does not jump as thumbnails arrive.
class PageDelegate final : public QStyledItemDelegate {
public:
    PageDelegate(QSize cell, QObject* parent) : QStyledItemDelegate(parent), cell_(cell) {}
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return cell_; }

private:
    QSize cell_;
};

} // namespace

FilesList::FilesList(int thumbnailSide, QWidget* parent) : QListView(parent) {
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setWordWrap(true);
    setTextElideMode(Qt::ElideMiddle);
    setIconSize(QSize(thumbnailSide, thumbnailSide));
    const int lines = fontMetrics().lineSpacing() * 3;
    const QSize cell(thumbnailSide + 40, thumbnailSide + lines + 12);
    setGridSize(cell + QSize(8, 8));
    setItemDelegate(new PageDelegate(cell, this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setUniformItemSizes(true);
    setMinimumWidth(thumbnailSide + 60);
}

QStringList FilesList::localPaths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    return paths;
}

QList<int> FilesList::selectedRows() const {
    QList<int> rows;
    if (selectionModel() == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) {
        rows << index.row();
    }
    return rows;
}

void FilesList::startDrag(Qt::DropActions /*supportedActions*/) {
    auto* payload = new QMimeData; // owned by the drag from here on
    payload->setData(kInternalMime, QByteArray());
    QDrag drag(this);
    drag.setMimeData(payload);
    const QVariant picture = model()->data(currentIndex(), Qt::DecorationRole);
    if (picture.canConvert<QPixmap>()) {
        drag.setPixmap(picture.value<QPixmap>());
    }
    drag.exec(Qt::MoveAction);
}

bool FilesList::internal(const QDropEvent* event) const {
    return event->source() == this && event->mimeData()->hasFormat(kInternalMime);
}

void FilesList::dragEnterEvent(QDragEnterEvent* event) {
    // Entering is always allowed so that the moves are seen; whether a drop
    // is taken is decided on every move.
    if (internal(event) || !localPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void FilesList::dragMoveEvent(QDragMoveEvent* event) {
    if (internal(event)) {
        const bool take =
            hooks_.dragOver && hooks_.dragOver(event->source(), event->position().toPoint());
        if (take) {
            event->setDropAction(Qt::MoveAction);
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    if (!localPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void FilesList::dragLeaveEvent(QDragLeaveEvent* event) {
    event->accept();
}

void FilesList::dropEvent(QDropEvent* event) {
    if (internal(event)) {
        if (hooks_.dragDrop) {
            hooks_.dragDrop(event->source(), event->position().toPoint());
        }
        event->setDropAction(Qt::MoveAction);
        event->accept();
        return;
    }
    if (hooks_.filesDropped && hooks_.filesDropped(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}
