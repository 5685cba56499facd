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
    // The names chosen in the save dialog, one per showing; a showing past
    // the last is cancelled.
    QStringList saveAs;
    QList<FileDialogRequest> openRequests;
    QList<FileDialogRequest> saveRequests;
    QList<QUrl> openedUrls;
    // The boxes with buttons to choose from, and the index chosen in each.
    QList<QStringList> choices;
    int choice = -1;
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
    void openUrl(const QUrl& url) override { openedUrls << url; }
    int choose(QWidget*, const QString& text, const QStringList& buttons) override {
        messages << text;
        choices << buttons;
        return choice;
    }
    void runModal(QDialog& dialog) override {
        modalWindows << dialog.objectName();
        if (whileModal) {
            whileModal(dialog);
        }
    }

protected:
    QString askSaveFile(QWidget*, const FileDialogRequest& request) override {
        saveRequests << request;
        return saveAs.value(saveRequests.size() - 1);
    }
};
