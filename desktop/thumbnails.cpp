#include "thumbnails.h"

#include "pagereader.h"

#include <QColor>
#include <QTransform>

#include <memory>

ThumbnailCache::ThumbnailCache(PageReader& reader, int side, qint64 budget, QObject* parent)
    : QObject(parent), reader_(reader), side_(side) {
    pictures_.setMaxCost(budget);
}

QString ThumbnailCache::key(const QString& file, quint32 page) {
    return QString::number(page) + QLatin1Char(':') + file;
}

QImage ThumbnailCache::cached(const QString& file, quint32 page) const {
    const QImage* picture = pictures_.object(key(file, page));
    return picture != nullptr ? *picture : QImage();
}

QPixmap ThumbnailCache::thumbnail(const QString& file, quint32 page, int rotation) {
    const QString name = key(file, page);
    if (const QImage* picture = pictures_.object(name)) {
        return QPixmap::fromImage(
            rotation == 0 ? *picture : picture->transformed(QTransform().rotate(rotation)));
    }
    if (!asked_.contains(name)) {
        asked_.insert(name);
        reader_.readPicture(file, page, side_,
                            [this, file, page, name](QImage picture, const QString& /*problem*/) {
                                asked_.remove(name);
                                if (picture.isNull()) {
                                    // A grey sheet in its place, kept like a thumbnail, so
                                    // that the page is not read again at every repaint.
                                    picture = QImage(side_ * 3 / 4, side_, QImage::Format_RGB888);
                                    picture.fill(QColor(200, 200, 200));
                                }
                                const qsizetype bytes = picture.sizeInBytes();
                                // The cache owns what it is given.
                                pictures_.insert(
                                    name, std::make_unique<QImage>(std::move(picture)).release(),
                                    bytes);
                                emit ready(file, page);
                            });
    }
    // An empty frame of the thumbnail's size keeps the list's layout still.
    QPixmap frame(side_, side_);
    frame.fill(Qt::transparent);
    return frame;
}
