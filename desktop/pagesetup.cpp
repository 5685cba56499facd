#include "pagesetup.h"

#include "dialogs.h"
#include "ocrlanguages.h"
#include "ovinpdf_document.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

// The keys under which the setup is kept.
const QString kSize = QStringLiteral("page/size");
const QString kFit = QStringLiteral("page/fit");
const QString kMargin = QStringLiteral("page/margin-mm");
const QString kTitle = QStringLiteral("document/title");
const QString kAuthor = QStringLiteral("document/author");
const QString kOcr = QStringLiteral("document/ocr");
const QString kOcrLanguages = QStringLiteral("document/ocr-languages");
const QString kOcrOrient = QStringLiteral("document/ocr-orient");
const QString kPdfa = QStringLiteral("document/pdfa");

constexpr double kMaxMarginMm = 100;

// The texts of this file, translated in the context "PageSetup".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(PageSetup)
};

} // namespace

QStringList PageSetup::sizes() {
    return {QString(),
            QStringLiteral("A4"),
            QStringLiteral("Letter"),
            QStringLiteral("A3"),
            QStringLiteral("A5"),
            QStringLiteral("A6"),
            QStringLiteral("B5"),
            QStringLiteral("Legal"),
            QStringLiteral("Tabloid")};
}

PageSetup PageSetup::load(QSettings& settings) {
    PageSetup setup;
    // What is kept is checked like any other input: an unknown size, fit or
    // margin falls back to the default.
    const QString size = settings.value(kSize).toString();
    if (sizes().contains(size)) {
        setup.size = size;
    }
    const int fit = settings.value(kFit, OVINPDF_FIT_INTO).toInt();
    if (fit >= OVINPDF_FIT_INTO && fit <= OVINPDF_FIT_ENLARGE) {
        setup.fit = fit;
    }
    bool number = false;
    const double margin = settings.value(kMargin, 0.0).toDouble(&number);
    if (number && margin >= 0 && margin <= kMaxMarginMm) {
        setup.marginMm = margin;
    }
    setup.title = settings.value(kTitle).toString();
    setup.author = settings.value(kAuthor).toString();
    setup.ocr = settings.value(kOcr, false).toBool();
    const QString languages = settings.value(kOcrLanguages).toString();
    if (validOcrLanguages(languages)) {
        setup.ocrLanguages = languages;
    }
    setup.ocrOrient = settings.value(kOcrOrient, false).toBool();
    setup.pdfa = settings.value(kPdfa, false).toBool();
    return setup;
}

QString PageSetup::recognition() const {
    if (!ocr) {
        return {};
    }
    return ocrLanguages.isEmpty() ? defaultOcrLanguage() : ocrLanguages;
}

void PageSetup::save(QSettings& settings) const {
    settings.setValue(kSize, size);
    settings.setValue(kFit, fit);
    settings.setValue(kMargin, marginMm);
    settings.setValue(kTitle, title);
    settings.setValue(kAuthor, author);
    settings.setValue(kOcr, ocr);
    settings.setValue(kOcrLanguages, ocrLanguages);
    settings.setValue(kOcrOrient, ocrOrient);
    settings.setValue(kPdfa, pdfa);
}

bool editPageSetup(Dialogs& dialogs, QWidget* parent, PageSetup& setup) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("pagesetup"));
    dialog.setWindowTitle(Texts::tr("Page Setup"));
    auto* form = new QFormLayout(&dialog);

    auto* size = new QComboBox(&dialog);
    size->setObjectName(QStringLiteral("size"));
    for (const QString& name : PageSetup::sizes()) {
        size->addItem(name.isEmpty() ? Texts::tr("As the image") : name, name);
    }
    size->setCurrentIndex(std::max(0, size->findData(setup.size)));
    form->addRow(Texts::tr("Page &size:"), size);

    auto* fit = new QComboBox(&dialog);
    fit->setObjectName(QStringLiteral("fit"));
    fit->addItem(Texts::tr("Fit inside the page"), OVINPDF_FIT_INTO);
    fit->addItem(Texts::tr("Fill the page, cut at the edges"), OVINPDF_FIT_FILL);
    fit->addItem(Texts::tr("Stretch to the page"), OVINPDF_FIT_EXACT);
    fit->addItem(Texts::tr("Shrink to fit, never enlarge"), OVINPDF_FIT_SHRINK);
    fit->addItem(Texts::tr("Enlarge to fit, never shrink"), OVINPDF_FIT_ENLARGE);
    fit->setCurrentIndex(std::max(0, fit->findData(setup.fit)));
    form->addRow(Texts::tr("&Fit:"), fit);

    auto* margin = new QDoubleSpinBox(&dialog);
    margin->setObjectName(QStringLiteral("margin"));
    margin->setRange(0, kMaxMarginMm);
    margin->setDecimals(1);
    margin->setSuffix(Texts::tr(" mm"));
    margin->setValue(setup.marginMm);
    form->addRow(Texts::tr("&Margin:"), margin);

    auto* title = new QLineEdit(setup.title, &dialog);
    title->setObjectName(QStringLiteral("title"));
    form->addRow(Texts::tr("&Title:"), title);
    auto* author = new QLineEdit(setup.author, &dialog);
    author->setObjectName(QStringLiteral("author"));
    form->addRow(Texts::tr("&Author:"), author);

    // Text recognition: one installed language to choose, or several typed
    // with '+' between them.
    auto* ocr = new QCheckBox(Texts::tr("Recognise te&xt (OCR)"), &dialog);
    ocr->setObjectName(QStringLiteral("ocr"));
    ocr->setChecked(setup.ocr);
    auto* languages = new QComboBox(&dialog);
    languages->setObjectName(QStringLiteral("ocrlanguages"));
    languages->setEditable(true);
    languages->setInsertPolicy(QComboBox::NoInsert);
    languages->addItems(installedOcrLanguages());
    languages->setEditText(setup.ocrLanguages.isEmpty() ? defaultOcrLanguage()
                                                        : setup.ocrLanguages);
    languages->setToolTip(Texts::tr("Tesseract's languages, several joined by +, as eng+deu"));
    form->addRow(ocr, languages);
    auto* orient = new QCheckBox(Texts::tr("Turn pages &upright by their text"), &dialog);
    orient->setObjectName(QStringLiteral("ocrorient"));
    orient->setChecked(setup.ocrOrient);
    form->addRow(QString(), orient);
    auto* pdfa = new QCheckBox(Texts::tr("&PDF/A for archives"), &dialog);
    pdfa->setObjectName(QStringLiteral("pdfa"));
    pdfa->setChecked(setup.pdfa);
    form->addRow(QString(), pdfa);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    // The languages and the turning count only with recognition on, and OK
    // only takes languages the library takes.
    const auto follow = [ocr, languages, orient, buttons] {
        languages->setEnabled(ocr->isChecked());
        orient->setEnabled(ocr->isChecked());
        buttons->button(QDialogButtonBox::Ok)
            ->setEnabled(!ocr->isChecked() || validOcrLanguages(languages->currentText()));
    };
    QObject::connect(ocr, &QCheckBox::toggled, &dialog, follow);
    QObject::connect(languages, &QComboBox::currentTextChanged, &dialog, follow);
    follow();
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);

    dialogs.runModal(dialog);
    if (dialog.result() != QDialog::Accepted) {
        return false;
    }
    setup.size = size->currentData().toString();
    setup.fit = fit->currentData().toInt();
    setup.marginMm = margin->value();
    setup.title = title->text();
    setup.author = author->text();
    setup.ocr = ocr->isChecked();
    if (validOcrLanguages(languages->currentText())) {
        setup.ocrLanguages = languages->currentText();
    }
    setup.ocrOrient = orient->isChecked();
    setup.pdfa = pdfa->isChecked();
    return true;
}
