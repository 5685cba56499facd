#include "fileslist.h"

#include <QApplication>

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QUrl>

#include <algorithm>

namespace {
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
    setDragEnabled(false);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
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

void FilesList::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const QModelIndex under = indexAt(at);
    // A plain press on a selected page may start carrying the selection:
    // it keeps the selection until the button is let go.
    pressedOnSelection_ = event->button() == Qt::LeftButton &&
                          event->modifiers() == Qt::NoModifier && under.isValid() &&
                          selectionModel()->isSelected(under);
    if (pressedOnSelection_) {
        pressedAt_ = at;
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void FilesList::mouseMoveEvent(QMouseEvent* event) {
    if (!pressedOnSelection_ || !(event->buttons() & Qt::LeftButton)) {
        QListView::mouseMoveEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    if (!moving_ && (at - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
        moving_ = true;
        setCursor(Qt::DragMoveCursor);
    }
    if (moving_) {
        movingAt_ = at;
        // Near the top or bottom edge the list scrolls on.
        const int edge = viewport()->height() / 10;
        if (at.y() < edge) {
            verticalScrollBar()->setValue(verticalScrollBar()->value() - gridSize().height() / 4);
        } else if (at.y() > viewport()->height() - edge) {
            verticalScrollBar()->setValue(verticalScrollBar()->value() + gridSize().height() / 4);
        }
        viewport()->update();
    }
    event->accept();
}

void FilesList::mouseReleaseEvent(QMouseEvent* event) {
    if (!pressedOnSelection_) {
        QListView::mouseReleaseEvent(event);
        return;
    }
    pressedOnSelection_ = false;
    const QPoint at = event->position().toPoint();
    if (moving_) {
        stopMoving();
        if (hooks_.dragOver && hooks_.dragOver(this, at) && hooks_.dragDrop) {
            hooks_.dragDrop(this, at);
        }
    } else {
        // A click on a selected page without moving: that page alone, as a
        // click anywhere else.
        selectionModel()->setCurrentIndex(indexAt(pressedAt_), QItemSelectionModel::ClearAndSelect);
    }
    event->accept();
}

void FilesList::stopMoving() {
    moving_ = false;
    unsetCursor();
    viewport()->update();
}

void FilesList::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    const QModelIndex target = moving_ ? indexAt(movingAt_) : QModelIndex();
    if (!target.isValid() || selectionModel()->isSelected(target)) {
        return;
    }
    // A bar on the side of the page where the carried pages will land:
    // after a later page, before an earlier one.
    QList<int> rows = selectedRows();
    const int first = rows.isEmpty() ? 0 : *std::min_element(rows.begin(), rows.end());
    const QRect cell = visualRect(target);
    const int x = target.row() > first ? cell.right() + 2 : cell.left() - 2;
    QPainter painter(viewport());
    painter.fillRect(QRect(x - 1, cell.top(), 3, cell.height()), palette().highlight());
}

void FilesList::dragEnterEvent(QDragEnterEvent* event) {
    if (!localPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void FilesList::dragMoveEvent(QDragMoveEvent* event) {
    if (!localPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void FilesList::dropEvent(QDropEvent* event) {
    if (hooks_.filesDropped && hooks_.filesDropped(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}
