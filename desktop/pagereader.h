// Image files read away from the window's thread, through the library's
// document face: whether a file can be used and how many pages it gives
// (every page read as a save would read it), and a page as a picture for a
// thumbnail or the preview. The answers come back on the window's thread;
// the window stays live meanwhile.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

struct FileReading {
    QString file;
    quint32 pages = 0; // 0 when the file cannot be used
    qint32 code = 0;   // then the library's failure code (OVINPDF_...)
    QString problem;   // and its reason, in words
};

// Reads one file on the calling thread.
FileReading readImageFile(const QString& file);
// A page (from 1) upright, its longer side at most maxSide pixels; a null
// image and the reason in *problem when it cannot be drawn.
QImage readPagePicture(const QString& file, quint32 page, int maxSide, QString* problem);

class PageReader final : public QObject {
    Q_OBJECT
public:
    explicit PageReader(QObject* parent = nullptr);
    ~PageReader() override;
    PageReader(const PageReader&) = delete;
    PageReader& operator=(const PageReader&) = delete;

    // Reads the files (in parallel); `done` gets them in the order given.
    void readFiles(const QStringList& files, std::function<void(QList<FileReading>)> done);
    // Reads one page's picture; `done` gets it, or a null image and why.
    void readPicture(const QString& file, quint32 page, int maxSide,
                     std::function<void(QImage, QString)> done);
    // Waits until everything asked for so far has been answered (tests).
    void waitForIdle();
    bool idle() const { return pending_ == 0; }

signals:
    void idleChanged(bool idle);

private:
    void started();
    void finished();

    QThreadPool pool_;
    int pending_ = 0;
    std::shared_ptr<std::atomic<bool>> stopping_ = std::make_shared<std::atomic<bool>>(false);
};
