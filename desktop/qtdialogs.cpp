#include "qtdialogs.h"

#include "appinfo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace {

// A box opened while the hourglass is up shows the normal arrow over itself,
// so that it does not look busy; the hourglass comes back when it closes.
class ArrowWhileBoxOpen {
public:
    ArrowWhileBoxOpen() : active_(QApplication::overrideCursor() != nullptr) {
        if (active_) {
            QApplication::setOverrideCursor(Qt::ArrowCursor);
        }
    }
    ~ArrowWhileBoxOpen() {
        if (active_) {
            QApplication::restoreOverrideCursor();
        }
    }
    ArrowWhileBoxOpen(const ArrowWhileBoxOpen&) = delete;
    ArrowWhileBoxOpen& operator=(const ArrowWhileBoxOpen&) = delete;

private:
    bool active_;
};

void setUp(QFileDialog& dialog, const FileDialogRequest& request) {
    dialog.setWindowTitle(request.title);
    dialog.setNameFilters(request.filters);
    if (!request.selectedFilter.isEmpty()) {
        dialog.selectNameFilter(request.selectedFilter);
    }
    if (!request.defaultSuffix.isEmpty()) {
        dialog.setDefaultSuffix(request.defaultSuffix);
    }
    dialog.setSizeGripEnabled(true);
}

} // namespace

void QtDialogs::message(QWidget* parent, const QString& text) {
    ArrowWhileBoxOpen arrow;
    QMessageBox::information(parent, QString::fromUtf8(zentro::kAppTitle), text, QMessageBox::Ok);
}

bool QtDialogs::confirm(QWidget* parent, const QString& caption, const QString& question) {
    ArrowWhileBoxOpen arrow;
    QMessageBox box(QMessageBox::Question, caption, question, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.button(QMessageBox::Yes)->setText(QObject::tr("&Yes"));
    box.button(QMessageBox::No)->setText(QObject::tr("&No"));
    return box.exec() == QMessageBox::Yes;
}

QStringList QtDialogs::openFiles(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    setUp(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

QString QtDialogs::askSaveFile(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    setUp(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The overwrite question stays on (QFileDialog::DontConfirmOverwrite unset).
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

void QtDialogs::openUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

void QtDialogs::runModal(QDialog& dialog) {
    dialog.exec();
}

int QtDialogs::choose(QWidget* parent, const QString& text, const QStringList& buttons) {
    const ArrowWhileBoxOpen arrow;
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(zentro::kAppTitle), text,
                    QMessageBox::NoButton, parent);
    QList<QAbstractButton*> made;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        made << box.addButton(buttons.at(i), i + 1 == buttons.size() ? QMessageBox::RejectRole
                                                                     : QMessageBox::ActionRole);
    }
    if (!made.isEmpty()) {
        box.setEscapeButton(made.last());
        box.setDefaultButton(qobject_cast<QPushButton*>(made.last()));
    }
    box.exec();
    return static_cast<int>(made.indexOf(box.clickedButton()));
}
