#include "creator.h"

#include "ovinpdf.h"

#include <QCoreApplication>

#include <cstdlib>
#include <memory>

namespace {

QString errorText(int32_t code) {
    const std::unique_ptr<char, decltype(&std::free)> text(geterror(code), &std::free);
    return text ? QString::fromUtf8(text.get()) : QString();
}

void addLine(void* list, const char* line) {
    static_cast<QStringList*>(list)->append(QString::fromUtf8(line != nullptr ? line : ""));
}

QString tr(const char* text) {
    return QCoreApplication::translate("Creator", text);
}

} // namespace

Creation createPdf(const QStringList& pages, const QString& filename) {
    Creation result;
    pdfclear();
    for (qsizetype i = 0; i < pages.size() && result.code == 0; ++i) {
        result.code = pdfaddimage(pages.at(i).toUtf8().constData());
    }
    if (result.code == 0) {
        result.code = pdfsave(filename.toUtf8().constData());
    }
    const ovinpdf_lines lines{&result.warnings, &addLine};
    getwarnings(&lines);

    if (result.succeeded()) {
        result.message = filename + tr(" created successfully (") +
                         QString::number(result.warnings.size()) + tr(" warnings)");
    } else {
        result.message = errorText(result.code);
    }
    return result;
}
