#include "dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

QString Dialogs::saveFile(QWidget* parent, const FileDialogRequest& request) {
    for (;;) {
        const QString name = askSaveFile(parent, request);
        if (name.isEmpty()) {
            return {};
        }
        // The dialog lets a folder be typed that is not there; the library
        // would only fail on it after reading every page.
        const QDir folder = QFileInfo(name).absoluteDir();
        if (folder.exists()) {
            return name;
        }
        message(parent, QObject::tr("The folder %1 does not exist.").arg(folder.path()));
    }
}
