#include "pagelist.h"

#include "dialogs.h"
#include "filenames.h"
#include "ovinpdf.h"

#include <algorithm>
#include <functional>

PageList::PageList(Dialogs& dialogs, QWidget* owner)
    : QAbstractListModel(nullptr), dialogs_(dialogs), owner_(owner) {}

int PageList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant PageList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count() || role != Qt::DisplayRole) {
        return {};
    }
    return entries_.at(index.row());
}

Qt::ItemFlags PageList::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

void PageList::add(QStringList batch) {
    std::stable_sort(batch.begin(), batch.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    for (const QString& name : batch) {
        const QString ext = upperExtension(name);
        if (validfext(ext.toUtf8().constData())) {
            beginInsertRows(QModelIndex(), count(), count());
            entries_.append(name);
            endInsertRows();
        } else {
            dialogs_.message(owner_, tr("Unsupported image type ") + ext);
        }
    }
}

void PageList::remove(QList<int> rows) {
    // From the last row to the first, so that the rows still to go keep
    // their numbers.
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (const int row : rows) {
        if (row >= 0 && row < count()) {
            beginRemoveRows(QModelIndex(), row, row);
            entries_.removeAt(row);
            endRemoveRows();
        }
    }
}

void PageList::clear() {
    beginResetModel();
    entries_.clear();
    endResetModel();
}

bool PageList::move(int from, int target) {
    if (from < 0 || from >= count() || target < 0 || target >= count() || target == from) {
        return false;
    }
    // The model's destination is the row before which the entry goes in the
    // list as it is before the move.
    beginMoveRows(QModelIndex(), from, from, QModelIndex(), target > from ? target + 1 : target);
    entries_.move(from, target);
    endMoveRows();
    return true;
}
