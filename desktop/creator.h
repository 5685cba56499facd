// One Create PDF run through the library's document face, without any
// window: the usable pages in list order with their turns, the page setup,
// the save with its progress, the warning lines and the text to show.
#pragma once

#include "pagelist.h"
#include "pagesetup.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

struct Creation {
    int32_t code = 0;     // 0 on success, else the library's failure code
    QStringList warnings; // the library's warning lines of this run, in its order
    QString message;      // what the person is told
    bool succeeded() const { return code == 0; }
};

// Called before each page is written (page from 1 of pages), and while a
// page takes long (text recognition) every fifth of a second with the pages
// written so far; status is the library's word of what it does ("Recognising
// page 3 of 20"). False cancels.
using CreationProgress = std::function<bool(quint32 page, quint32 pages, const QString& status)>;

// Adds each usable page in order (a page that cannot be used is left out,
// with a warning line naming it and why), lays them out, recognises their
// text and makes PDF/A as `setup` says and
// saves to filename. The file appears only when the save succeeds; a file
// that was there is left as it was otherwise. tempPath is where a page
// re-encoded through a temporary image goes (empty: the library's own).
Creation createPdf(const QList<Page>& pages, const PageSetup& setup, const QString& filename,
                   const QString& tempPath, const CreationProgress& progress = {});
