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
#include <memory>

class TestQtDialogs : public QObject {
    Q_OBJECT

private slots:
    void messageIsCaptionedWithTheTitleAndHasOk();
    void confirmAnswersYesAndNo();
    void saveDialogAsksBeforeOverwriting();
    void saveDialogRefusesAMissingFolder();
    void chooseGivesTheButtonPressed();

private:
    // Runs the steps, in turn, on the modal windows as they come up, for as
    // long as the timer given back lives. A window that a failed check left
    // open, or one without a step, is closed so that the test does not hang.
    using Step = std::function<void(QWidget*)>;
    [[nodiscard]] static std::unique_ptr<QTimer> whenModal(QList<Step> steps) {
        auto poll = std::make_unique<QTimer>();
        connect(poll.get(), &QTimer::timeout, poll.get(),
                [steps = std::move(steps), answered = QPointer<QWidget>()]() mutable {
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
        poll->start(5);
        return poll;
    }
};

void TestQtDialogs::messageIsCaptionedWithTheTitleAndHasOk() {
    QtDialogs dialogs;
    QString caption;
    QString text;
    QList<QMessageBox::StandardButton> buttons;
    const auto answering = whenModal({[&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        caption = box->windowTitle();
        text = box->text();
        for (QAbstractButton* b : box->buttons()) {
            buttons << box->standardButton(b);
        }
        box->button(QMessageBox::Ok)->click();
    }});
    dialogs.message(nullptr, "You must add images before creating a PDF");
    QCOMPARE(caption, QString("Zentro PDF"));
    QCOMPARE(text, QString("You must add images before creating a PDF"));
    QCOMPARE(buttons, QList<QMessageBox::StandardButton>({QMessageBox::Ok}));
}

void TestQtDialogs::confirmAnswersYesAndNo() {
    QtDialogs dialogs;
    for (const bool yes : {true, false}) {
        QString caption;
        const auto answering = whenModal({[&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box != nullptr);
            caption = box->windowTitle();
            QCOMPARE(box->icon(), QMessageBox::Question);
            QCOMPARE(box->button(QMessageBox::Yes)->text(), QString("&Yes"));
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        }});
        QCOMPARE(dialogs.confirm(nullptr, "Confirm", "Clear current file selection?"), yes);
        QCOMPARE(caption, QString("Confirm"));
    }
}

void TestQtDialogs::saveDialogAsksBeforeOverwriting() {
    QtDialogs dialogs;
    FileDialogRequest request{
        "Save PDF As", {"PDF Document (*.pdf)"}, "PDF Document (*.pdf)", "pdf"};
    bool checked = false;
    const auto answering = whenModal({[&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->windowTitle(), QString("Save PDF As"));
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->defaultSuffix(), QString("pdf"));
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(dialog->nameFilters(), QStringList({"PDF Document (*.pdf)"}));
        checked = true;
        dialog->reject();
    }});
    QCOMPARE(dialogs.saveFile(nullptr, request), QString());
    QVERIFY(checked);
}

void TestQtDialogs::saveDialogRefusesAMissingFolder() {
    QtDialogs dialogs;
    const QTemporaryDir dir;
    const QString missing = dir.filePath("no-such-folder");
    QString told;
    bool askedAgain = false;
    const auto answering = whenModal({
        [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog != nullptr);
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(missing + "/out.pdf");
            static_cast<QDialog*>(dialog)->accept(); // as the Save button does
        },
        [&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                told = box->text();
            }
        },
        [&](QWidget* modal) { askedAgain = qobject_cast<QFileDialog*>(modal) != nullptr; },
    });
    QCOMPARE(dialogs.saveFile(nullptr, {"Save PDF As", {"PDF Document (*.pdf)"}, {}, "pdf"}),
             QString());
    QCOMPARE(told, "The folder " + missing + " does not exist.");
    QVERIFY(askedAgain);
}

void TestQtDialogs::chooseGivesTheButtonPressed() {
    QtDialogs dialogs;
    QStringList shown;
    const auto pressing = [&](const QString& which) {
        return whenModal({[&shown, which](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box != nullptr);
            shown.clear();
            for (QAbstractButton* button : box->buttons()) {
                shown << button->text();
            }
            if (which.isEmpty()) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == which) {
                    button->click();
                }
            }
        }});
    };
    const QStringList buttons{"Open PDF", "Show in Folder", "OK"};
    {
        const auto answering = pressing("Show in Folder");
        QCOMPARE(dialogs.choose(nullptr, "done", buttons), 1);
    }
    QCOMPARE(shown.size(), 3);
    // Esc is the last button.
    const auto answering = pressing(QString());
    QCOMPARE(dialogs.choose(nullptr, "done", buttons), 2);
}

QTEST_MAIN(TestQtDialogs)
#include "tst_qtdialogs.moc"
