// The text recognition languages installed for Tesseract, found where the
// library looks for them: TESSDATA_PREFIX (and its tessdata folder) and
// Debian's tessdata folder.
#pragma once

#include <QString>
#include <QStringList>

// The names of the installed languages ("deu", "eng"), sorted, each once;
// the orientation data (osd) is not a language.
QStringList installedOcrLanguages();
// eng when it is installed, else the first installed language, else eng.
QString defaultOcrLanguage();
// Whether text names languages as the library takes them: Tesseract's
// names joined by '+' ("eng", "eng+deu", "chi_sim"), installed or not.
bool validOcrLanguages(const QString& text);
