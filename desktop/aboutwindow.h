// The about window: the program's name and version, the maker's logo and
// web address. Clicking the address opens it in the browser; the pointer
// turns into a hand over it.
#pragma once

#include <QCursor>
#include <QDialog>

class Dialogs;
class QLabel;
class QPushButton;

class Taboutfrm final : public QDialog {
    Q_OBJECT
public:
    explicit Taboutfrm(Dialogs& dialogs, QWidget* parent = nullptr);

    void okbtnClick();
    void weblinkClick();
    // The pointer moved over the web address (true) or over the window's
    // free area (false).
    void weblinkMouseMove(bool overLink);

    QLabel* logo() const { return logo_; }
    QLabel* proglab() const { return proglab_; }
    QLabel* verlab() const { return verlab_; }
    QLabel* weblink() const { return weblink_; }
    QPushButton* okbtn() const { return okbtn_; }
    const QCursor& savedcursor() const { return savedcursor_; }

protected:
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    bool FormKeyPress(int key);

    Dialogs& dialogs_;
    QLabel* logo_;
    QLabel* proglab_;
    QLabel* verlab_;
    QLabel* weblink_;
    QPushButton* okbtn_;
    QCursor savedcursor_;
};
