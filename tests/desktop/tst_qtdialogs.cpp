// The Qt face of the Dialogs seam: each box or dialog is inspected and
// answered from a timer while it runs modally.
#include "qtdialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

class TestQtDialogs : public QObject {
    Q_OBJECT

private slots:
    void messageIsCaptionedWithTheTitleAndHasOk();
    void confirmAnswersYesAndNo();
    void saveDialogAsksBeforeOverwriting();
    void saveDialogRefusesAMissingFolder();

private:
    // Runs inspect on the modal window once it is up; a window that a
    // failed check left open is closed so that the test does not hang.
    static void whenModal(std::function<void(QWidget*)> inspect) {
        QTimer::singleShot(0, qApp, [inspect = std::move(inspect)] {
            QPointer<QWidget> modal;
            QTRY_VERIFY((modal = QApplication::activeModalWidget()) != nullptr);
            inspect(modal);
            if (modal && modal->isVisible()) {
                modal->close();
            }
        });
    }
};

void TestQtDialogs::messageIsCaptionedWithTheTitleAndHasOk() {
    QtDialogs dialogs;
    QString caption;
    QString text;
    QList<QMessageBox::StandardButton> buttons;
    whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        caption = box->windowTitle();
        text = box->text();
        for (QAbstractButton* b : box->buttons()) {
            buttons << box->standardButton(b);
        }
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.message(nullptr, "You must add images before creating a PDF");
    QCOMPARE(caption, QString("Zentro PDF"));
    QCOMPARE(text, QString("You must add images before creating a PDF"));
    QCOMPARE(buttons, QList<QMessageBox::StandardButton>({QMessageBox::Ok}));
}

void TestQtDialogs::confirmAnswersYesAndNo() {
    QtDialogs dialogs;
    for (const bool yes : {true, false}) {
        QString caption;
        whenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box != nullptr);
            caption = box->windowTitle();
            QCOMPARE(box->icon(), QMessageBox::Question);
            QCOMPARE(box->button(QMessageBox::Yes)->text(), QString("&Yes"));
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        QCOMPARE(dialogs.confirm(nullptr, "Confirm", "Clear current file selection?"), yes);
        QCOMPARE(caption, QString("Confirm"));
    }
}

void TestQtDialogs::saveDialogAsksBeforeOverwriting() {
    QtDialogs dialogs;
    FileDialogRequest request{
        "Save PDF As", {"PDF Document (*.pdf)"}, "PDF Document (*.pdf)", "pdf"};
    bool checked = false;
    whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->windowTitle(), QString("Save PDF As"));
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->defaultSuffix(), QString("pdf"));
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(dialog->nameFilters(), QStringList({"PDF Document (*.pdf)"}));
        checked = true;
        dialog->reject();
    });
    QCOMPARE(dialogs.saveFile(nullptr, request), QString());
    QVERIFY(checked);
}

void TestQtDialogs::saveDialogRefusesAMissingFolder() {
    QtDialogs dialogs;
    const QTemporaryDir dir;
    const QString missing = dir.filePath("no-such-folder");
    QString told;
    // The modal windows as they come up: the dialog takes a name in a
    // missing folder, the box says so, the dialog shows again.
    QList<std::function<void(QWidget*)>> steps{
        [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog != nullptr);
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(missing + "/out.pdf");
            static_cast<QDialog*>(dialog)->accept(); // as the Save button does
        },
        [&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box != nullptr);
            told = box->text();
            box->button(QMessageBox::Ok)->click();
        },
        [&](QWidget* modal) { QVERIFY(qobject_cast<QFileDialog*>(modal) != nullptr); },
    };
    QPointer<QWidget> answered;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &poll, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == answered) {
            return;
        }
        answered = modal;
        if (!steps.isEmpty()) {
            steps.takeFirst()(modal);
        }
        if (answered && answered->isVisible()) {
            answered->close();
        }
    });
    poll.start(10);
    QCOMPARE(dialogs.saveFile(nullptr, {"Save PDF As", {"PDF Document (*.pdf)"}, {}, "pdf"}),
             QString());
    QCOMPARE(told, "The folder " + missing + " does not exist.");
    QVERIFY(steps.isEmpty());
}

QTEST_MAIN(TestQtDialogs)
#include "tst_qtdialogs.moc"
