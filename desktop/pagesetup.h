// How the pages of the PDF are laid out, what the document says of itself
// and what it is made for: page size, fit, margin, title, author, text
// recognition and PDF/A. Kept between runs.
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
    // Text recognition in the languages named, joined by '+' ("eng+deu"),
    // and pages turned upright by their text (only with recognition).
    bool ocr = false;
    QString ocrLanguages; // empty for the default language
    bool ocrOrient = false;
    bool pdfa = false; // PDF/A-2b, for archives

    bool operator==(const PageSetup&) const = default;

    // The sizes offered, in the order shown; the first is the image's own.
    static QStringList sizes();
    static PageSetup load(QSettings& settings);
    void save(QSettings& settings) const;
    // The languages the pages are recognised in; empty for none.
    QString recognition() const;
};

class QWidget;

// Lets the person change `setup`; true when they pressed OK.
class Dialogs;
bool editPageSetup(Dialogs& dialogs, QWidget* parent, PageSetup& setup);
