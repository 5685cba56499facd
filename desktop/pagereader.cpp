#include "pagereader.h"

#include "ovinpdf_document.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>
#include <vector>

namespace {

using DocumentPtr = std::unique_ptr<ovinpdf_document, decltype(&ovinpdf_document_free)>;

DocumentPtr newDocument() {
    return {ovinpdf_document_new(), &ovinpdf_document_free};
}

QString lastError(const ovinpdf_document* document) {
    return QString::fromUtf8(ovinpdf_last_error(document));
}

QString outOfMemory() {
    return QCoreApplication::translate("PageReader", "There is not enough memory to read it.");
}

} // namespace

FileReading readImageFile(const QString& file) {
    FileReading reading{file, 0, 0, {}};
    const DocumentPtr document = newDocument();
    if (!document) {
        reading.code = OVINPDF_IO_ERROR;
        reading.problem = outOfMemory();
        return reading;
    }
    quint32 pages = 0;
    reading.code = ovinpdf_image_pages(document.get(), file.toUtf8().constData(), &pages);
    if (reading.code != OVINPDF_OK) {
        reading.problem = lastError(document.get());
        return reading;
    }
    reading.pages = pages;
    return reading;
}

QImage readPagePicture(const QString& file, quint32 page, int maxSide, QString* problem) {
    const DocumentPtr document = newDocument();
    if (!document || maxSide <= 0) {
        *problem = outOfMemory();
        return {};
    }
    const auto side = static_cast<size_t>(maxSide);
    std::vector<uint8_t> pixels(3 * side * side);
    uint32_t width = 0;
    uint32_t height = 0;
    if (ovinpdf_page_preview(document.get(), file.toUtf8().constData(), page,
                             static_cast<uint32_t>(maxSide), pixels.data(), pixels.size(), &width,
                             &height) != OVINPDF_OK) {
        *problem = lastError(document.get());
        return {};
    }
    const QImage view(pixels.data(), static_cast<int>(width), static_cast<int>(height),
                      static_cast<qsizetype>(3 * width), QImage::Format_RGB888);
    return view.copy(); // the pixels go with this function
}

PageReader::PageReader(QObject* parent) : QObject(parent) {
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

PageReader::~PageReader() {
    stopping_->store(true);
    pool_.clear();
    pool_.waitForDone();
}

void PageReader::started() {
    if (pending_++ == 0) {
        emit idleChanged(false);
    }
}

void PageReader::finished() {
    if (--pending_ == 0) {
        emit idleChanged(true);
    }
}

void PageReader::readFiles(const QStringList& files, std::function<void(QList<FileReading>)> done) {
    // The results gather here, on the window's thread; the last one in
    // hands the batch on.
    auto results = std::make_shared<QList<FileReading>>(files.size());
    auto left = std::make_shared<qsizetype>(files.size());
    auto whenDone = std::make_shared<std::function<void(QList<FileReading>)>>(std::move(done));
    if (files.isEmpty()) {
        (*whenDone)({});
        return;
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        started();
        const QString file = files.at(i);
        pool_.start([this, file, i, results, left, whenDone, stopping = stopping_] {
            FileReading reading =
                stopping->load() ? FileReading{file, 0, 0, {}} : readImageFile(file);
            if (stopping->load()) {
                return;
            }
            QMetaObject::invokeMethod(
                this,
                [this, i, reading = std::move(reading), results, left, whenDone] {
                    (*results)[i] = reading;
                    if (--*left == 0) {
                        (*whenDone)(*results);
                    }
                    finished();
                },
                Qt::QueuedConnection);
        });
    }
}

void PageReader::readPicture(const QString& file, quint32 page, int maxSide,
                             std::function<void(QImage, QString)> done) {
    started();
    pool_.start([this, file, page, maxSide, done = std::move(done), stopping = stopping_] {
        if (stopping->load()) {
            return;
        }
        QString problem;
        QImage picture = readPagePicture(file, page, maxSide, &problem);
        if (stopping->load()) {
            return;
        }
        QMetaObject::invokeMethod(
            this,
            [this, done, picture = std::move(picture), problem] {
                done(picture, problem);
                finished();
            },
            Qt::QueuedConnection);
    });
}

void PageReader::waitForIdle() {
    while (pending_ > 0) {
        pool_.waitForDone();
        QCoreApplication::sendPostedEvents(this);
    }
}
