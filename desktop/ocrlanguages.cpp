#include "ocrlanguages.h"

#include "ovinpdf_document.h"

#include <QDir>

#include <algorithm>
#include <memory>

QStringList installedOcrLanguages() {
    QStringList folders;
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty()) {
        folders << prefix << prefix + QStringLiteral("/tessdata");
    }
    folders << QStringLiteral("/usr/share/tesseract-ocr/5/tessdata");
    QStringList languages;
    const QString suffix = QStringLiteral(".traineddata");
    for (const QString& folder : folders) {
        for (const QString& file :
             QDir(folder).entryList({QLatin1Char('*') + suffix}, QDir::Files)) {
            const QString language = file.chopped(suffix.size());
            if (language != QLatin1String("osd") && validOcrLanguages(language)) {
                languages << language;
            }
        }
    }
    std::sort(languages.begin(), languages.end());
    languages.erase(std::unique(languages.begin(), languages.end()), languages.end());
    return languages;
}

QString defaultOcrLanguage() {
    const QStringList languages = installedOcrLanguages();
    const QString english = QStringLiteral("eng");
    return languages.isEmpty() || languages.contains(english) ? english : languages.first();
}

bool validOcrLanguages(const QString& text) {
    // The library's own rule decides: a document takes the names or not.
    const std::unique_ptr<ovinpdf_document, decltype(&ovinpdf_document_free)> document(
        ovinpdf_document_new(), &ovinpdf_document_free);
    return document && !text.isEmpty() &&
           ovinpdf_set_ocr(document.get(), text.toUtf8().constData()) == OVINPDF_OK;
}
