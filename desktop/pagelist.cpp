#include "pagelist.h"

#include "naturalorder.h"
#include "thumbnails.h"

#include <QBrush>
#include <QColor>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>

#include <algorithm>

PageList::PageList(QObject* parent) : QAbstractListModel(parent) {}

void PageList::setThumbnails(ThumbnailCache* thumbnails) {
    thumbnails_ = thumbnails;
}

int PageList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant PageList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) {
        return {};
    }
    const Page& page = pages_.at(index.row());
    const QString name = QFileInfo(page.file).fileName();
    switch (role) {
    case Qt::DisplayRole:
        if (!page.usable()) {
            return tr("%1\n%2\ncannot be used").arg(index.row() + 1).arg(name);
        }
        if (page.pages > 1) {
            return tr("%1\n%2 (%3/%4)")
                .arg(index.row() + 1)
                .arg(name)
                .arg(page.page)
                .arg(page.pages);
        }
        return tr("%1\n%2").arg(index.row() + 1).arg(name);
    case Qt::ToolTipRole:
        return page.usable() ? page.file : tr("%1: %2").arg(page.file, page.problem);
    case Qt::DecorationRole:
        if (thumbnails_ != nullptr && page.usable()) {
            return thumbnails_->thumbnail(page.file, page.page, page.rotation);
        }
        return {};
    case Qt::ForegroundRole:
        return page.usable() ? QVariant() : QVariant(QBrush(QColor(170, 0, 0)));
    case ProblemRole:
        return page.problem;
    case RotationRole:
        return page.rotation;
    default:
        return {};
    }
}

Qt::ItemFlags PageList::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

int PageList::usableCount() const {
    return static_cast<int>(
        std::count_if(pages_.begin(), pages_.end(), [](const Page& p) { return p.usable(); }));
}

void PageList::setPages(QList<Page> pages) {
    beginResetModel();
    pages_ = std::move(pages);
    for (const Page& page : pages_) {
        lastId_ = std::max(lastId_, page.id);
    }
    endResetModel();
}

QList<int> PageList::rowsOf(const QList<quint64>& ids) const {
    QList<int> rows;
    for (int row = 0; row < count(); ++row) {
        if (ids.contains(pages_.at(row).id)) {
            rows << row;
        }
    }
    return rows;
}

void PageList::sortBatch(QStringList& batch) {
    std::stable_sort(batch.begin(), batch.end(), [](const QString& a, const QString& b) {
        const QByteArray x = a.toUtf8();
        const QByteArray y = b.toUtf8();
        return ovin::naturalless({x.constData(), static_cast<size_t>(x.size())},
                                 {y.constData(), static_cast<size_t>(y.size())});
    });
}

namespace {

// The rows in range, each once, in ascending order.
QList<int> cleanRows(QList<int> rows, qsizetype count) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [count](int row) { return row < 0 || row >= count; }),
               rows.end());
    return rows;
}

} // namespace

QList<Page> PageList::moved(QList<Page> pages, QList<int> rows, int target) {
    rows = cleanRows(std::move(rows), pages.size());
    if (rows.isEmpty() || rows.contains(target)) {
        return pages;
    }
    QList<Page> taken;
    QList<Page> rest;
    int insertAt = -1;
    for (int row = 0; row < pages.size(); ++row) {
        if (rows.contains(row)) {
            taken << pages.at(row);
        } else {
            if (row == target) {
                insertAt = static_cast<int>(rest.size()) + (target > rows.first() ? 1 : 0);
            }
            rest << pages.at(row);
        }
    }
    if (insertAt < 0) {
        insertAt = static_cast<int>(rest.size());
    }
    for (qsizetype i = 0; i < taken.size(); ++i) {
        rest.insert(insertAt + i, taken.at(i));
    }
    return rest;
}

QList<Page> PageList::stepped(const QList<Page>& pages, QList<int> rows, int step) {
    rows = cleanRows(std::move(rows), pages.size());
    if (rows.isEmpty()) {
        return pages;
    }
    QList<Page> result = pages;
    if (step == -2 || step == 2) {
        QList<Page> taken;
        QList<Page> rest;
        for (int row = 0; row < pages.size(); ++row) {
            (rows.contains(row) ? taken : rest) << pages.at(row);
        }
        return step < 0 ? taken + rest : rest + taken;
    }
    // One place, each page in turn from the end it moves towards; a page
    // already at that end, or held back by one there, stays.
    if (step < 0) {
        int limit = 0;
        for (const int row : rows) {
            if (row > limit) {
                result.swapItemsAt(row, row - 1);
            } else {
                limit = row + 1;
            }
            limit = std::max(limit, row);
        }
    } else {
        int limit = static_cast<int>(pages.size()) - 1;
        for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
            const int row = *it;
            if (row < limit) {
                result.swapItemsAt(row, row + 1);
            } else {
                limit = row - 1;
            }
            limit = std::min(limit, row);
        }
    }
    return result;
}

void PageList::thumbnailReady(const QString& file, quint32 page) {
    for (int row = 0; row < count(); ++row) {
        if (pages_.at(row).page == page && pages_.at(row).file == file) {
            emit dataChanged(index(row), index(row), {Qt::DecorationRole});
        }
    }
}
