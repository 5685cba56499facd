// Small pictures of the pages for the list, made on demand away from the
// window's thread and kept in a cache of bounded size: a list of hundreds of
// pages costs only the thumbnails that were looked at lately.
#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QString>

class PageReader;

class ThumbnailCache final : public QObject {
    Q_OBJECT
public:
    // Thumbnails `side` pixels at their longer side; at most `budget` bytes
    // of them are kept.
    ThumbnailCache(PageReader& reader, int side, qint64 budget, QObject* parent = nullptr);

    int side() const { return side_; }
    // The page's thumbnail turned by `rotation` degrees clockwise; an empty
    // frame while it is being made (ready() follows).
    QPixmap thumbnail(const QString& file, quint32 page, int rotation);
    // The picture kept for that page, or null.
    QImage cached(const QString& file, quint32 page) const;

signals:
    // The page's thumbnail is there (a grey sheet for a page that cannot
    // be drawn).
    void ready(const QString& file, quint32 page);

private:
    static QString key(const QString& file, quint32 page);

    PageReader& reader_;
    int side_;
    QCache<QString, QImage> pictures_;
    QSet<QString> asked_;
};
