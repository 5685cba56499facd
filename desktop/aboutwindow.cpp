#include "aboutwindow.h"

#include "appinfo.h"
#include "dialogs.h"
#include "pictures.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include <algorithm>

Taboutfrm::Taboutfrm(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs), logo_(new QLabel(this)), proglab_(new QLabel(this)),
      verlab_(new QLabel(this)), weblink_(new QLabel(this)),
      okbtn_(new QPushButton(tr("&OK"), this)) {
    setObjectName(QStringLiteral("aboutfrm"));
    setWindowTitle(tr("About"));
    setFixedSize(350, 187);
    QFont font = QApplication::font();
    font.setPixelSize(11);
    setFont(font);
    setMouseTracking(true);

    logo_->setObjectName(QStringLiteral("logo"));
    logo_->setPixmap(pictures::logo());
    logo_->move(16, 16);
    logo_->adjustSize();

    proglab_->setObjectName(QStringLiteral("proglab"));
    proglab_->move(16, 88);
    verlab_->setObjectName(QStringLiteral("verlab"));
    verlab_->move(16, 112);

    weblink_->setObjectName(QStringLiteral("weblink"));
    weblink_->setText(QString::fromUtf8(zentro::kMakerWeb));
    QFont linkFont = font;
    linkFont.setUnderline(true);
    weblink_->setFont(linkFont);
    QPalette linkPalette = weblink_->palette();
    linkPalette.setColor(QPalette::WindowText, Qt::blue);
    weblink_->setPalette(linkPalette);
    weblink_->move(16, 160);
    weblink_->adjustSize();
    weblink_->setMouseTracking(true);

    okbtn_->setObjectName(QStringLiteral("okbtn"));
    // The address sits left of the button; with a font wider than the one
    // the layout was drawn for, the button moves right rather than cover it.
    okbtn_->setGeometry(std::max(138, weblink_->geometry().right() + 9), 152, 75, 25);
    okbtn_->setDefault(true);
    connect(okbtn_, &QPushButton::clicked, this, &Taboutfrm::okbtnClick);

    // The window sees key presses before its controls do.
    weblink_->installEventFilter(this);
    okbtn_->installEventFilter(this);
}

void Taboutfrm::FormShow() {
    proglab_->setText(QString::fromUtf8(zentro::kAppTitle));
    proglab_->adjustSize();
    verlab_->setText(QString::fromUtf8(zentro::kVersionText));
    verlab_->adjustSize();
    // The hand is the window's own cursor, so it never outlives the window;
    // each showing starts from the normal one.
    unsetCursor();
    savedcursor_ = cursor();
}

void Taboutfrm::okbtnClick() {
    close();
}

void Taboutfrm::weblinkClick() {
    dialogs_.openUrl(QUrl(QStringLiteral("http://") + weblink_->text()));
}

void Taboutfrm::weblinkMouseMove(bool overLink) {
    if (overLink) {
        setCursor(Qt::PointingHandCursor);
    } else {
        setCursor(savedcursor_);
    }
}

bool Taboutfrm::FormKeyPress(int key) {
    if (key == Qt::Key_Escape) {
        okbtnClick();
        return true;
    }
    return false;
}

void Taboutfrm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void Taboutfrm::mouseMoveEvent(QMouseEvent* event) {
    weblinkMouseMove(false);
    QDialog::mouseMoveEvent(event);
}

void Taboutfrm::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyPress(event->key())) {
        QDialog::keyPressEvent(event);
    }
}

bool Taboutfrm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (FormKeyPress(static_cast<QKeyEvent*>(event)->key())) {
            return true;
        }
        break;
    case QEvent::MouseMove:
        if (watched == weblink_) {
            weblinkMouseMove(true);
            return true; // not passed on to the window's own handler
        }
        break;
    case QEvent::MouseButtonRelease:
        if (watched == weblink_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            weblink_->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
            weblinkClick();
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}
