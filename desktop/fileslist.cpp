#include "fileslist.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QStyledItemDelegate>
#include <QUrl>

namespace {
// The payload of a drag inside the list; only its source matters.
const QString kInternalMime = QStringLiteral("application/x-zentropdf-entry");

// Entries are 16 pixels high whatever the font's own line height.
class EntryDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), 16};
    }
};
} // namespace

FilesList::FilesList(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setUniformItemSizes(true);
    setItemDelegate(new EntryDelegate(this));
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

void FilesList::keyReleaseEvent(QKeyEvent* event) {
    if (hooks_.keyUp && !event->isAutoRepeat()) {
        hooks_.keyUp(event->key());
    }
    QListView::keyReleaseEvent(event);
}

void FilesList::startDrag(Qt::DropActions /*supportedActions*/) {
    if (hooks_.startDrag) {
        hooks_.startDrag();
    }
    auto* payload = new QMimeData; // owned by the drag from here on
    payload->setData(kInternalMime, QByteArray());
    QDrag drag(this);
    drag.setMimeData(payload);
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
