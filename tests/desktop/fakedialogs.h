// A Dialogs seam that answers by itself and records what the windows asked.
#pragma once

#include "dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QList>
#include <QUrl>

#include <functional>

class FakeDialogs final : public Dialogs {
public:
    struct Question {
        QString caption;
        QString text;
    };

    QStringList messages;
    // Whether the hourglass was up when each message was shown.
    QList<bool> waitCursorAtMessage;
    QList<Question> questions;
    bool answer = false;
    QStringList filesToOpen;
    QString saveAs;
    QList<FileDialogRequest> openRequests;
    QList<FileDialogRequest> saveRequests;
    QList<QUrl> openedUrls;
    QStringList modalWindows;
    // Runs while a window is "shown modally", before it counts as closed.
    std::function<void(QDialog&)> whileModal;

    void message(QWidget*, const QString& text) override {
        messages << text;
        const QCursor* cursor = QApplication::overrideCursor();
        waitCursorAtMessage << (cursor != nullptr && cursor->shape() == Qt::WaitCursor);
    }
    bool confirm(QWidget*, const QString& caption, const QString& question) override {
        questions << Question{caption, question};
        return answer;
    }
    QStringList openFiles(QWidget*, const FileDialogRequest& request) override {
        openRequests << request;
        return filesToOpen;
    }
    QString saveFile(QWidget*, const FileDialogRequest& request) override {
        saveRequests << request;
        return saveAs;
    }
    void openUrl(const QUrl& url) override { openedUrls << url; }
    void runModal(QDialog& dialog) override {
        modalWindows << dialog.objectName();
        if (whileModal) {
            whileModal(dialog);
        }
    }
};
