// The list of chosen image files, one full path per entry, in the order the
// PDF gets its pages. It holds the rules of the list: how a batch is added,
// which entries a delete removes and where a dragged entry lands. The main
// window's list view shows it; it needs no widgets itself.
#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QStringList>

class Dialogs;
class QWidget;

class PageList final : public QAbstractListModel {
    Q_OBJECT
public:
    // Refused names are reported through dialogs, in boxes owned by owner
    // (which may be null).
    explicit PageList(Dialogs& dialogs, QWidget* owner = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const QStringList& entries() const { return entries_; }
    int count() const { return static_cast<int>(entries_.size()); }

    // Adds one batch of names at the end, in case-insensitive order of the
    // full paths; names equal but for case keep the order they came in. A
    // name whose extension the library refuses is reported at once ("Unsupported
    // image type " and the upper-cased extension) and skipped; the names
    // before it are already listed when the box shows.
    void add(QStringList batch);
    // Removes the entries at these rows; rows out of range are ignored.
    void remove(QList<int> rows);
    // Empties the list.
    void clear();
    // The drop rule: the entry at from is taken out and put back at the
    // target's index, so that an entry dropped on a later entry lands just
    // after it and one dropped on an earlier entry just before it. Nothing
    // happens when the target is no entry (below the last one) or is the
    // dragged entry itself. True when the entry moved.
    bool move(int from, int target);

private:
    Dialogs& dialogs_;
    QWidget* owner_;
    QStringList entries_;
};
