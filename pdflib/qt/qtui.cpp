#include "qtui.h"

#include "progresswindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QString>
#include <QThread>
#include <QWidget>

namespace ovin {

namespace {

QString toQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QtUi::QtUi(uintptr_t window) : window_(window), progress_(std::make_unique<TProgress>()) {}

QtUi::~QtUi() {
    // Once the application object is gone a widget can no longer be taken
    // down safely; at that point the process is ending and the window is
    // left to it.
    if (QCoreApplication::instance() == nullptr || !onGuiThread()) {
        static_cast<void>(progress_.release());
    }
}

QWidget* QtUi::owner() const {
    if (window_ == 0) {
        return nullptr;
    }
    return QWidget::find(static_cast<WId>(window_));
}

bool QtUi::onGuiThread() const {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void QtUi::progressShow(const std::string& pdfname, int32_t pagecount) {
    if (!onGuiThread()) {
        return;
    }
    TProgress& window = *progress_;
    window.pdf.setText(toQString(pdfname));
    window.pdf.adjustSize();
    window.statuspb.setRange(0, pagecount);
    window.statuspb.setValue(0);
    window.statuspb.setVisible(true);
    window.placeFor(owner());
    // show() runs FormShow through the show event; a window that is still
    // up from an earlier save gets no new show event, so its state is reset
    // here the same way.
    if (window.isVisible()) {
        window.FormShow();
    } else {
        window.show();
    }
    window.raise();
    window.activateWindow();
}

void QtUi::progressStatus(const std::string& text) {
    if (!onGuiThread()) {
        return;
    }
    progress_->status.setText(toQString(text));
    progress_->status.adjustSize();
}

void QtUi::progressStep() {
    if (!onGuiThread()) {
        return;
    }
    // A step past the maximum is ignored by the bar, which stays full.
    QProgressBar& bar = progress_->statuspb;
    bar.setValue(bar.value() + 1);
    // Paints the new status line too, before the page's work begins.
    progress_->repaint();
}

void QtUi::progressFinish(const std::string& text) {
    if (!onGuiThread()) {
        return;
    }
    progress_->statuspb.setVisible(false);
    progress_->status.setText(toQString(text));
    progress_->status.adjustSize();
    progress_->repaint();
}

void QtUi::progressClose() {
    if (!onGuiThread()) {
        return;
    }
    // hide() rather than close(): the window refuses close requests, and
    // hiding runs FormHide through the hide event.
    progress_->hide();
}

void QtUi::processMessages() {
    if (!onGuiThread()) {
        return;
    }
    QCoreApplication::processEvents();
}

bool QtUi::cancelled() const {
    return progress_->cancelled;
}

void QtUi::message(const std::string& text) {
    if (!onGuiThread()) {
        return;
    }
    QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(), toQString(text),
                    QMessageBox::Ok, owner());
    box.exec();
}

std::unique_ptr<Ui> makeQtUi(uintptr_t window) {
    // Widgets need a QApplication; a plain QCoreApplication (or none) means
    // a process without windows.
    if (window == 0 || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return nullptr;
    }
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        return nullptr;
    }
    return std::make_unique<QtUi>(window);
}

} // namespace ovin
