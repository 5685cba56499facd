#include "progresswindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QHideEvent>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QWindow>

namespace ovin {

namespace {

QFont pixelFont(int pixels) {
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    return font;
}

} // namespace

TProgress::TProgress() {
    // A title bar and nothing else on it: no system menu, no close,
    // minimise or maximise button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // Shown with show() while a save runs inside the caller's call: the
    // caller's windows keep repainting but take no input meanwhile.
    setWindowModality(Qt::ApplicationModal);
    // Neither keeps the application running nor ends it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Saving PDF..."));
    setFixedSize(370, 153);
    setFont(pixelFont(11));

    pdf.setFont(pixelFont(13));
    pdf.move(24, 16);
    pdf.adjustSize();

    statuspb.setGeometry(35, 48, 300, 17);
    statuspb.setRange(0, 100);
    statuspb.setValue(0);
    statuspb.setTextVisible(false);

    status.setFont(pixelFont(13));
    status.move(24, 88);
    status.setText(QStringLiteral("PDF STATUS"));
    status.adjustSize();

    cancelbtn.setGeometry(147, 120, 75, 25);
    cancelbtn.setText(QStringLiteral("Cancel"));
    connect(&cancelbtn, &QPushButton::clicked, this, &TProgress::cancelbtnClick);
}

TProgress::~TProgress() {
    // Destroyed while shown: the hide event no longer reaches FormHide, so
    // the cursor is given back here.
    if (cursorset_ && QGuiApplication::instance() != nullptr) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void TProgress::placeFor(QWidget* owner) {
    QScreen* screen = nullptr;
    QWindow* ownerwindow = nullptr;
    if (owner != nullptr) {
        screen = owner->screen();
        ownerwindow = owner->window()->windowHandle();
    }
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    create();
    if (QWindow* handle = windowHandle(); handle != nullptr) {
        handle->setTransientParent(ownerwindow);
    }
    if (screen != nullptr) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
    }
}

void TProgress::FormShow() {
    if (!cursorset_) {
        const QCursor* current = QGuiApplication::overrideCursor();
        savedcursor = current != nullptr ? std::optional<QCursor>(*current) : std::nullopt;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        cursorset_ = true;
    }
    cancelled = false;
    cancelbtn.setEnabled(true);
}

void TProgress::FormHide() {
    if (cursorset_) {
        // Takes our wait cursor off the stack, which brings back savedcursor
        // (or no override at all).
        QGuiApplication::restoreOverrideCursor();
        cursorset_ = false;
    }
}

void TProgress::cancelbtnClick() {
    cancelled = true;
    // One request is enough; the next show enables the button again.
    cancelbtn.setEnabled(false);
}

void TProgress::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window system that restores the window after iconifying it must not
    // clear a Cancel already given during this save.
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TProgress::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) {
        FormHide();
    }
}

void TProgress::closeEvent(QCloseEvent* event) {
    // The window has no close box; a close request from the window system
    // (a key shortcut, a task bar) would leave the save running without its
    // Cancel button. The library hides the window itself when the save ends.
    event->ignore();
}

} // namespace ovin
