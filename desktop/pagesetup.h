// How the pages of the PDF are laid out and what the document says of
// itself: page size, fit, margin, title and author. Kept between runs.
#pragma once

#include <QList>
#include <QSettings>
#include <QString>

struct PageSetup {
    // A size name the library knows ("A4", "Letter"), or empty for each
    // page the size of its image.
    QString size;
    int fit = 0;         // OVINPDF_FIT_...
    double marginMm = 0; // on every side
    QString title;
    QString author;

    bool operator==(const PageSetup&) const = default;

    // The sizes offered, in the order shown; the first is the image's own.
    static QStringList sizes();
    static PageSetup load(QSettings& settings);
    void save(QSettings& settings) const;
};

class QWidget;

// Lets the person change `setup`; true when they pressed OK.
class Dialogs;
bool editPageSetup(Dialogs& dialogs, QWidget* parent, PageSetup& setup);
