// Everything the windows ask of a person goes through this seam: message
// boxes, the Yes/No question, the file dialogs, opening a web address and
// running a window modally. The program plugs in the Qt implementation;
// tests plug in one that answers by itself.
#pragma once

#include <QString>
#include <QStringList>

class QDialog;
class QUrl;
class QWidget;

struct FileDialogRequest {
    QString title;
    QStringList filters;    // Qt filter strings, e.g. "PDF Document (*.pdf)"
    QString selectedFilter; // one of filters, preselected
    QString defaultSuffix;  // appended when the typed name has none
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A modal box captioned with the program's title and an OK button.
    virtual void message(QWidget* parent, const QString& text) = 0;
    // A modal question with Yes and No; true for Yes.
    virtual bool confirm(QWidget* parent, const QString& caption, const QString& question) = 0;
    // Existing files chosen to open; empty when cancelled.
    virtual QStringList openFiles(QWidget* parent, const FileDialogRequest& request) = 0;
    // The file name to save to; empty when cancelled. A name in a folder
    // that does not exist is refused: the person is told so and asked again.
    QString saveFile(QWidget* parent, const FileDialogRequest& request);
    virtual void openUrl(const QUrl& url) = 0;
    // A modal box with the text and these buttons (the last one is the
    // one Esc presses); the index of the button pressed.
    virtual int choose(QWidget* parent, const QString& text, const QStringList& buttons) = 0;
    // Shows the window modally and returns when it is closed.
    virtual void runModal(QDialog& dialog) = 0;

protected:
    // One showing of the save dialog: the name chosen, or empty when
    // cancelled. Asks before overwriting an existing file.
    virtual QString askSaveFile(QWidget* parent, const FileDialogRequest& request) = 0;
};
