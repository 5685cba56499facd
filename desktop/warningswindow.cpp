#include "warningswindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

Twarningsfrm::Twarningsfrm(QWidget* parent)
    : QDialog(parent), warns_(new QPlainTextEdit(this)), toolbar_(new QToolBar(this)),
      exitbtn_(new QToolButton(toolbar_)) {
    setObjectName(QStringLiteral("warningsfrm"));
    setWindowTitle(tr("Errors / Warnings"));
    setSizeGripEnabled(true);
    resize(721, 408);
    QFont font = QApplication::font();
    font.setPixelSize(11);
    setFont(font);

    warns_->setObjectName(QStringLiteral("warns"));
    warns_->setReadOnly(true);
    warns_->setLineWrapMode(QPlainTextEdit::NoWrap);
    warns_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    warns_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette memoPalette = warns_->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::ToolTipBase));
    memoPalette.setColor(QPalette::Text, memoPalette.color(QPalette::ToolTipText));
    warns_->setPalette(memoPalette);

    toolbar_->setObjectName(QStringLiteral("ToolBar1"));
    toolbar_->setFixedHeight(29);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    exitbtn_->setObjectName(QStringLiteral("exitbtn"));
    exitbtn_->setText(tr("      E&xit     "));
    exitbtn_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    exitbtn_->setFixedSize(63, 21);
    toolbar_->addWidget(exitbtn_);
    connect(exitbtn_, &QToolButton::clicked, this, &Twarningsfrm::exitbtnClick);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(warns_, 1);
    layout->addWidget(toolbar_);

    // The window sees key presses before its controls do.
    warns_->installEventFilter(this);
    exitbtn_->installEventFilter(this);
}

void Twarningsfrm::exitbtnClick() {
    close();
}

void Twarningsfrm::clearLines() {
    warns_->clear();
}

void Twarningsfrm::addLine(const QString& line) {
    warns_->appendPlainText(line);
}

int Twarningsfrm::lineCount() const {
    const QTextDocument* doc = warns_->document();
    return doc->isEmpty() ? 0 : doc->blockCount();
}

QStringList Twarningsfrm::lines() const {
    QStringList result;
    if (lineCount() == 0) {
        return result;
    }
    for (QTextBlock block = warns_->document()->begin(); block.isValid(); block = block.next()) {
        result << block.text();
    }
    return result;
}

bool Twarningsfrm::FormKeyPress(int key) {
    if (key == Qt::Key_Escape) {
        exitbtnClick();
        return true;
    }
    return false;
}

void Twarningsfrm::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyPress(event->key())) {
        QDialog::keyPressEvent(event);
    }
}

bool Twarningsfrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyPress(static_cast<QKeyEvent*>(event)->key())) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
