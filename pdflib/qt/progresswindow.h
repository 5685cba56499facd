// The small window shown while a PDF is being saved: the output file name, a
// bar over the pages, a status line and a Cancel button.
#pragma once

#include <QCursor>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <optional>

class QCloseEvent;
class QHideEvent;
class QShowEvent;

namespace ovin {

class TProgress final : public QWidget {
    Q_OBJECT

public:
    TProgress();
    ~TProgress() override;
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;

    // Ties the window to the caller's window (kept above it by the window
    // system; none when owner is null) and centres it on that window's
    // screen, or on the primary screen without an owner.
    void placeFor(QWidget* owner);

    // Set by the Cancel button, cleared each time the window is shown.
    bool cancelled = false;
    // The application's override cursor as it was when the window was shown;
    // empty when none was set.
    std::optional<QCursor> savedcursor;

    // Declared after the window's own state, so they are destroyed before
    // the QWidget base looks at its children.
    QLabel pdf{this};
    QProgressBar statuspb{this};
    QLabel status{this};
    QPushButton cancelbtn{this};

    void FormShow();
    void FormHide();
    void cancelbtnClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // True between FormShow and FormHide while our wait cursor is on the
    // application's override-cursor stack.
    bool cursorset_ = false;
};

} // namespace ovin
