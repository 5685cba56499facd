// The Dialogs seam on real Qt widgets: QMessageBox, QFileDialog and
// QDesktopServices.
#pragma once

#include "dialogs.h"

class QtDialogs final : public Dialogs {
public:
    void message(QWidget* parent, const QString& text) override;
    bool confirm(QWidget* parent, const QString& caption, const QString& question) override;
    QStringList openFiles(QWidget* parent, const FileDialogRequest& request) override;
    void openUrl(const QUrl& url) override;
    int choose(QWidget* parent, const QString& text, const QStringList& buttons) override;
    void runModal(QDialog& dialog) override;

protected:
    QString askSaveFile(QWidget* parent, const FileDialogRequest& request) override;
};
