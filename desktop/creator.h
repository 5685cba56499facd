// One Create PDF run through the library, without any window: the pages in
// list order, the save, the warning lines and the text to show afterwards.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

struct Creation {
    int32_t code = 0;     // 0 on success, else the library's failure code
    QStringList warnings; // the library's warning lines of this run, in its order
    QString message;      // what the person is told
    bool succeeded() const { return code == 0; }
};

// Empties the library's document, adds each page in order up to the first
// failure, saves to filename when every page was taken, and collects the
// warnings in every case. On success the message is "<filename> created
// successfully (N warnings)", else the library's text for the failure. The
// file itself is left to the library, which replaces it only on success.
Creation createPdf(const QStringList& pages, const QString& filename);
