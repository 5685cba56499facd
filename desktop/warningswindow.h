// The warnings window: the warning lines of the latest PDF creation, one
// per line, in a read-only memo, with an Exit button below.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QToolBar;
class QToolButton;

class Twarningsfrm final : public QDialog {
    Q_OBJECT
public:
    explicit Twarningsfrm(QWidget* parent = nullptr);

    void exitbtnClick();

    // The memo's line list.
    void clearLines();
    void addLine(const QString& line);
    int lineCount() const;
    QStringList lines() const;

    QPlainTextEdit* warns() const { return warns_; }
    QToolButton* exitbtn() const { return exitbtn_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool FormKeyPress(int key);

    QPlainTextEdit* warns_;
    QToolBar* toolbar_;
    QToolButton* exitbtn_;
};
