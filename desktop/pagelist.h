// The pages of the PDF to be, in order: each a page of an image file (a
// multi-page file gives one entry per page), with the turn the person gave
// it, or a file that cannot be used, marked with the reason. It holds the
// rules of the list (where moved pages land, how a batch is ordered); the
// main window's list view shows it with the thumbnails of a ThumbnailCache.
#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QStringList>

class ThumbnailCache;

struct Page {
    QString file;
    quint32 page = 1;  // counted from 1
    quint32 pages = 1; // in its file
    int rotation = 0;  // clockwise, 0, 90, 180 or 270, on top of the file's own
    QString problem;   // why the file cannot be used; empty when it can
    quint64 id = 0;    // stays with the page through moves and undo

    bool usable() const { return problem.isEmpty(); }
    bool operator==(const Page&) const = default;
};

class PageList final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { ProblemRole = Qt::UserRole + 1, RotationRole };

    explicit PageList(QObject* parent = nullptr);

    // Thumbnails come from here when it is set; null shows none.
    void setThumbnails(ThumbnailCache* thumbnails);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const QList<Page>& pages() const { return pages_; }
    int count() const { return static_cast<int>(pages_.size()); }
    int usableCount() const;
    // Replaces the whole list (an undo step, a change made on a copy).
    void setPages(QList<Page> pages);
    // The rows of the pages with these ids.
    QList<int> rowsOf(const QList<quint64>& ids) const;
    // A new id for a page.
    quint64 nextId() { return ++lastId_; }

    // The order a batch of names is added in: the one file managers show,
    // digit runs by their value and letters without regard to case.
    static void sortBatch(QStringList& batch);

    // The list with the pages at `rows` taken out and put back together,
    // in their order, before the page at `target` when it lies before the
    // first of them and after it otherwise; at the end for a target below
    // the last page. Unchanged when the target is one of the pages moved.
    static QList<Page> moved(QList<Page> pages, QList<int> rows, int target);
    // The list with the pages at `rows` moved one place up (-1) or down (+1),
    // or to the top (-2) or the bottom (+2), in their order.
    static QList<Page> stepped(const QList<Page>& pages, QList<int> rows, int step);

public slots:
    // The thumbnail of that page of that file is ready.
    void thumbnailReady(const QString& file, quint32 page);

private:
    QList<Page> pages_;
    ThumbnailCache* thumbnails_ = nullptr;
    quint64 lastId_ = 0;
};
