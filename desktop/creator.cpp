#include "creator.h"

#include "appinfo.h"
#include "ovinpdf_document.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <memory>

namespace {

// The texts of this file, translated in the context "Creator".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Creator)
};

constexpr double kPointsPerMm = 72.0 / 25.4;

// The setup's options on the document; the library's message on failure.
int32_t applySetup(ovinpdf_document* document, const PageSetup& setup) {
    int32_t code = ovinpdf_set_producer(document, zentro::kMakerWeb);
    if (code == OVINPDF_OK) {
        code = ovinpdf_set_creator(document, zentro::kAppTitle);
    }
    if (code == OVINPDF_OK) {
        code = ovinpdf_set_title(document, setup.title.toUtf8().constData());
    }
    if (code == OVINPDF_OK) {
        code = ovinpdf_set_author(document, setup.author.toUtf8().constData());
    }
    double width = 0;
    double height = 0;
    if (code == OVINPDF_OK && !setup.size.isEmpty() &&
        !ovinpdf_page_size_from_text(setup.size.toUtf8().constData(), &width, &height)) {
        code = OVINPDF_INVALID_ARGUMENT;
    }
    if (code == OVINPDF_OK) {
        code = ovinpdf_set_page_size(document, width, height);
    }
    if (code == OVINPDF_OK) {
        code = ovinpdf_set_fit(document, setup.fit);
    }
    if (code == OVINPDF_OK) {
        const double margin = setup.marginMm * kPointsPerMm;
        code = ovinpdf_set_border(document, margin, margin);
    }
    if (code == OVINPDF_OK) {
        code = ovinpdf_set_ocr(document, setup.recognition().toUtf8().constData());
    }
    if (code == OVINPDF_OK) {
        code = ovinpdf_set_ocr_orient(document, setup.ocr && setup.ocrOrient);
    }
    if (code == OVINPDF_OK) {
        code = ovinpdf_set_pdfa(document, setup.pdfa);
    }
    return code;
}

struct ProgressContext {
    const CreationProgress* progress;
};

int onProgress(void* context, uint32_t page, uint32_t pages, const char* status) {
    const auto* c = static_cast<const ProgressContext*>(context);
    return (*c->progress && !(*c->progress)(page, pages, QString::fromUtf8(status))) ? 1 : 0;
}

} // namespace

Creation createPdf(const QList<Page>& pages, const PageSetup& setup, const QString& filename,
                   const QString& tempPath, const CreationProgress& progress) {
    Creation result;
    const std::unique_ptr<ovinpdf_document, decltype(&ovinpdf_document_free)> owned(
        ovinpdf_document_new(), &ovinpdf_document_free);
    ovinpdf_document* document = owned.get();
    if (document == nullptr) {
        result.code = OVINPDF_IO_ERROR;
        result.message = Texts::tr("There is not enough memory to create the PDF.");
        return result;
    }
    QStringList leftOut;
    result.code = applySetup(document, setup);
    if (result.code == OVINPDF_OK && !tempPath.isEmpty()) {
        result.code = ovinpdf_set_temporary_path(document, tempPath.toUtf8().constData());
    }
    for (qsizetype i = 0; i < pages.size() && result.code == OVINPDF_OK; ++i) {
        const Page& page = pages.at(i);
        if (!page.usable()) {
            leftOut << Texts::tr("%1 was left out: %2").arg(page.file, page.problem);
            continue;
        }
        // The turn applies to the pages added after it: each page gets its own.
        result.code = ovinpdf_set_rotation(document, page.rotation);
        if (result.code == OVINPDF_OK) {
            result.code =
                ovinpdf_add_image_page(document, page.file.toUtf8().constData(), page.page);
        }
    }
    if (result.code == OVINPDF_OK && ovinpdf_page_count(document) == 0) {
        result.code = OVINPDF_INVALID_ARGUMENT;
        result.message = Texts::tr("None of the pages in the list can be used.");
        result.warnings = leftOut;
        return result;
    }
    if (result.code == OVINPDF_OK) {
        ProgressContext context{&progress};
        result.code = ovinpdf_save(document, filename.toUtf8().constData(), &onProgress, &context);
    }
    result.warnings = leftOut;
    for (size_t i = 0; i < ovinpdf_warning_count(document); ++i) {
        result.warnings << QString::fromUtf8(ovinpdf_warning(document, i));
    }
    if (result.succeeded()) {
        result.message = Texts::tr("%1 created successfully (%2 warnings)")
                             .arg(filename)
                             .arg(result.warnings.size());
    } else if (result.code == OVINPDF_CANCELLED) {
        result.message = Texts::tr("The PDF was not created: the creation was cancelled.");
    } else {
        result.message = QString::fromUtf8(ovinpdf_last_error(document));
    }
    return result;
}
