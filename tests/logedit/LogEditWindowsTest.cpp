// The bulk-command dialogs and the multi-line log editor, driven through the
// main window on the offscreen platform with a real pdb.mdb.

#include "grid/ActivityGrid.h"
#include "logedit/TForm2Log.h"
#include "logedit/TFormAct2Log.h"
#include "logedit/TFormAD2Log.h"
#include "logedit/TMultyLogDlg.h"
#include "shell/CommandTable.h"
#include "shell/ErrorBox.h"
#include "shell/TAboutForm.h"
#include "shell/TMainForm.h"
#include "store/ActivityLayout.h"
#include "support/TempDatabase.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

using namespace orvane;
using orvane::shell::Command;
using orvane::testing::insertRow;
using orvane::testing::readValue;

namespace {

// Clicks a button of the modal dialog that the next command opens.
void clickWhenShown(QDialog* dialog, QPushButton* button)
{
    QTimer::singleShot(0, dialog, [dialog, button] {
        QTRY_VERIFY(dialog->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
    });
}

void setBox(QSpinBox* box, int value)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QString::number(value));
    box->interpretText();
    QCOMPARE(box->value(), value);
}

// Every value of every row, with its storage type, straight from the file.
QStringList tableBytes()
{
    QStringList rows;
    for (const QString& id : {QString("A"), QString("B"), QString("C")}) {
        for (int column = 0; column < store::kColumnCount; ++column) {
            const QVariant v = readValue(id, store::fieldName(column));
            rows << id + ":" + store::fieldName(column) + ":" + QString::fromLatin1(v.typeName()) + ":"
                        + v.toString().toUtf8().toHex();
        }
    }
    return rows;
}

void saveShot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("ORVANE_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        widget->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

// The whole screen, where the platform can grab it (under Xvfb).
void saveScreen(const QString& name)
{
    const QString dir = qEnvironmentVariable("ORVANE_SCREENSHOT_DIR");
    if (dir.isEmpty() || !QGuiApplication::primaryScreen())
        return;
    QCoreApplication::processEvents();
    QGuiApplication::primaryScreen()->grabWindow(0).save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

} // namespace

class LogEditWindowsTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_settingsDir;
    QStringList m_errors;
    std::unique_ptr<orvane::testing::TempWorkDir> m_dir;
    std::unique_ptr<shell::TAboutForm> m_about;
    std::unique_ptr<shell::TMainForm> m_form;

    store::ActivityTable& table() { return m_form->store().taActivities; }
    logedit::TMultyLogDlg* editor() { return m_form->MultyLogDlg(); }
    void run(Command command) { m_form->toolAction(command)->trigger(); }

    // Rows in import order A, B, C; the grid sorts them C, B, A (EarlyFinish).
    void makeForm(bool withRows = true)
    {
        m_dir = std::make_unique<orvane::testing::TempWorkDir>();
        if (withRows) {
            insertRow({{"ActivityID", "A"}, {"Description", "first"}, {"Log#1", "one A"}, {"Log#3", "three A"},
                       {"Log#5", "five A"}, {"EarlyFinish", QDateTime(QDate(2024, 5, 3), QTime(0, 0))},
                       {"ActivityCode1", "code A"}, {"CalendarID", "1"}, {"Flag", false}});
            insertRow({{"ActivityID", "B"}, {"Description", "second"}, {"Log#1", "one B"},
                       {"EarlyFinish", QDateTime(QDate(2024, 5, 2), QTime(0, 0))}, {"Flag", true}});
            insertRow({{"ActivityID", "C"}, {"Description", "third"}, {"Log#1", "one C"},
                       {"EarlyFinish", QDateTime(QDate(2024, 5, 1), QTime(0, 0))}, {"Flag", false}});
        }
        m_about = std::make_unique<shell::TAboutForm>();
        m_form = std::make_unique<shell::TMainForm>(m_about.get());
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        table().fetchAll();
    }

private slots:
    void initTestCase()
    {
        orvane::testing::isolateUserSettings(m_settingsDir.path());
        shell::setBoxPresenter([this](shell::BoxKind, const QString&, const QString& text) { m_errors << text; });
    }

    void cleanup()
    {
        if (m_form)
            editor()->hide();
        m_form.reset();
        m_about.reset();
        m_dir.reset();
        m_errors.clear();
    }

    void bulkDialogsAsLaidOut()
    {
        makeForm(false);
        logedit::TForm2Log* f2l = m_form->Form2Log();
        QCOMPARE(f2l->windowTitle(), QString("Log# X => Log# Y"));
        QVERIFY(f2l->OkBtn->isDefault());
        QCOMPARE(f2l->SpinEdit1->minimum(), 1);
        QCOMPARE(f2l->SpinEdit1->maximum(), 99);
        QVERIFY(!(f2l->windowFlags() & Qt::WindowCloseButtonHint));
        logedit::TFormAct2Log* fa = m_form->FormAct2Log();
        QCOMPARE(fa->windowTitle(), QString("Log & Description"));
        QCOMPARE(fa->RadioButton2->text(), QString("Log #                 to Description"));
        QVERIFY(fa->RadioButton1->isChecked());
        // The second number box covers the blanks of its caption.
        QVERIFY(fa->SpinEdit2->geometry().intersects(fa->RadioButton2->geometry()));
        logedit::TFormAD2Log* fd = m_form->FormAD2Log();
        QCOMPARE(fd->windowTitle(), QString("Activity data => Log X"));
        QCOMPARE(fd->ComboBox1->count(), 27);
        QCOMPARE(fd->ComboBox1->currentText(), QString("Activity ID"));

        // The first two have no cancel key; the third cancels on Esc.
        fa->show();
        QTest::keyClick(fa, Qt::Key_Escape);
        QVERIFY(fa->isVisible());
        fa->hide();
        fd->show();
        QTest::keyClick(fd, Qt::Key_Escape);
        QVERIFY(!fd->isVisible());
        QCOMPARE(fd->result(), int(QDialog::Rejected));
        saveShot(f2l, "TForm2Log");
        saveShot(fa, "TFormAct2Log");
        saveShot(fd, "TFormAD2Log");
    }

    void log2LogRunsOnOkAndKeepsItsNumbers()
    {
        makeForm();
        logedit::TForm2Log* dialog = m_form->Form2Log();
        setBox(dialog->SpinEdit1, 1);
        setBox(dialog->SpinEdit2, 7);
        clickWhenShown(dialog, dialog->OkBtn);
        run(Command::Log2Log);
        QVERIFY(m_errors.isEmpty());
        QCOMPARE(m_form->store().qLog2Log.sqlText(), QString("UPDATE [P3Data] SET [Log#7] = [Log#1]"));
        QCOMPARE(readValue("B", "Log#7"), QVariant("one B"));
        QCOMPARE(table().currentRow(), 0);
        // The grid shows the new value.
        QCOMPARE(table().value(2, store::logColumn(7)), QVariant("one C"));

        // Cancel runs nothing and does not re-read: the current row stays.
        table().setCurrentRow(2);
        QSignalSpy scrolled(&table(), &store::ActivityTable::afterScroll);
        setBox(dialog->SpinEdit1, 3);
        clickWhenShown(dialog, dialog->CancelBtn);
        run(Command::Log2Log);
        QCOMPARE(scrolled.count(), 0);
        QCOMPARE(table().currentRow(), 2);
        QVERIFY(readValue("A", "Log#7") == QVariant("one A"));
        // The numbers stay for the next use.
        QCOMPARE(dialog->SpinEdit1->value(), 3);
        QCOMPARE(dialog->SpinEdit2->value(), 7);
    }

    void descriptionAndLogFollowTheFilter()
    {
        makeForm();
        table().setFilter("([Flag] = True)");
        table().setFiltered(true);
        logedit::TFormAct2Log* dialog = m_form->FormAct2Log();
        dialog->RadioButton2->setChecked(true);
        setBox(dialog->SpinEdit2, 1);
        clickWhenShown(dialog, dialog->OkBtn);
        run(Command::Act2Log);
        QCOMPARE(m_form->store().qLog2Log.sqlText(),
                 QString("UPDATE [P3Data] SET [Description] = [Log#1] WHERE ([Flag] = True)"));
        QCOMPARE(readValue("B", "Description"), QVariant("one B"));
        QCOMPARE(readValue("A", "Description"), QVariant("first"));
        QCOMPARE(readValue("C", "Description"), QVariant("third"));
    }

    void refusedStatementShowsTheEngineErrorAndReReads()
    {
        makeForm();
        orvane::testing::execRaw("CREATE TRIGGER refuse BEFORE UPDATE ON P3Data BEGIN "
                                 "SELECT RAISE(ABORT, 'database is locked by the test'); END");
        table().setCurrentRow(2);
        logedit::TForm2Log* dialog = m_form->Form2Log();
        clickWhenShown(dialog, dialog->OkBtn);
        run(Command::Log2Log);
        QCOMPARE(m_errors, QStringList({"database is locked by the test."}));
        QCOMPARE(table().currentRow(), 0);
        QVERIFY(m_form->isEnabled());
    }

    void dataToLogOffersTheImportedCodes()
    {
        makeForm();
        store::DataFieldList& list = m_form->dataFieldList();
        list.fill();
        list.appendCode("Area");
        logedit::TFormAD2Log* dialog = m_form->FormAD2Log();
        QTimer::singleShot(0, dialog, [dialog] {
            QTRY_VERIFY(dialog->isVisible());
            QCOMPARE(dialog->ComboBox1->count(), 28);
            QCOMPARE(dialog->ComboBox1->itemText(27), QString("Area"));
            dialog->ComboBox1->setCurrentIndex(27);
            dialog->SpinEdit->setValue(9);
            QTest::keyClick(dialog->ComboBox1, Qt::Key_Return);
        });
        run(Command::AD2Log);
        QVERIFY(m_errors.isEmpty());
        QCOMPARE(m_form->store().qLog2Log.sqlText(), QString("UPDATE [P3Data] SET [Log#9] = [ActivityCode1]"));
        QCOMPARE(readValue("A", "Log#9"), QVariant("code A"));
        QCOMPARE(list.selected(), 27);

        // A new import resets the list: only the fixed entries, first selected.
        list.fill();
        clickWhenShown(dialog, dialog->CancelBtn);
        run(Command::AD2Log);
        QCOMPARE(dialog->ComboBox1->count(), 27);
        QCOMPARE(dialog->ComboBox1->currentIndex(), 0);
    }

    void editorShowsARangeWithGaps()
    {
        makeForm();
        logedit::TMultyLogDlg* dlg = editor();
        QCOMPARE(dlg->windowTitle(), QString("Edit multy logs."));
        QVERIFY(dlg->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(dlg->CheckOnTop->isChecked());
        run(Command::MultyLog);
        QVERIFY(dlg->isVisible());
        QVERIFY(!dlg->isModal());
        QCOMPARE(dlg->lActivityID->text(), QString("A"));
        QCOMPARE(dlg->lActivityDescription->text(), QString("first"));
        setBox(dlg->SpinEdit2, 7);
        setBox(dlg->SpinEdit1, 3);
        QCOMPARE(dlg->Memo1->toPlainText(), QString("three A\n\nfive A\n\n"));
        QCOMPARE(dlg->Memo1->document()->blockCount(), 5);
        // First above last: nothing shown, and "Apply" changes nothing.
        setBox(dlg->SpinEdit1, 9);
        QCOMPARE(dlg->Memo1->toPlainText(), QString());
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QCOMPARE(readValue("A", "Log#5"), QVariant("five A"));

        // "Be on top" switches the stay-on-top state.
        QTest::mouseClick(dlg->CheckOnTop, Qt::LeftButton);
        QVERIFY(!(dlg->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(dlg->isVisible());
        QTest::mouseClick(dlg->CheckOnTop, Qt::LeftButton);
        QVERIFY(dlg->windowFlags() & Qt::WindowStaysOnTopHint);
    }

    void editorRoundTripsTypedLinesRowAfterRow()
    {
        makeForm();
        logedit::TMultyLogDlg* dlg = editor();
        setBox(dlg->SpinEdit1, 1);
        setBox(dlg->SpinEdit2, 3);
        run(Command::MultyLog);
        QPlainTextEdit* memo = dlg->Memo1;
        memo->setFocus();
        // A line far wider than the box: shown wrapped, kept whole.
        const QString longLine = QString("long ").repeated(1000).trimmed();
        QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(memo->textCursor().hasSelection());
        QTest::keyClicks(memo, "new one");
        QTest::keyClick(memo, Qt::Key_Return);
        memo->insertPlainText(longLine);
        QVERIFY(memo->document()->findBlockByNumber(1).layout()->lineCount() > 1);
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QCOMPARE(readValue("A", "Log#1"), QVariant("new one"));
        QCOMPARE(readValue("A", "Log#2"), QVariant(longLine));
        QCOMPARE(readValue("A", "Log#3"), QVariant(QString()));   // fewer lines than the range
        saveShot(dlg, "TMultyLogDlg-long-line");
        saveScreen("main-window-with-editor");

        // Ctrl+Down goes to the next row in import order (B), not on screen.
        QTest::keyClick(memo, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(dlg->lActivityID->text(), QString("B"));
        QCOMPARE(memo->toPlainText(), QString("one B\n\n"));
        memo->selectAll();
        QTest::keyClicks(memo, "typed for B");
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QCOMPARE(readValue("B", "Log#1"), QVariant("typed for B"));
        QCOMPARE(readValue("B", "Log#2"), QVariant(QString()));
        // More lines than the range: the surplus is ignored.
        QTest::keyClick(memo, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(dlg->lActivityID->text(), QString("C"));
        memo->setPlainText("1\n2\n3\n4\n5");
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QCOMPARE(readValue("C", "Log#3"), QVariant("3"));
        QCOMPARE(readValue("C", "Log#4"), QVariant());

        // Ctrl+Up goes back, and the long line comes back whole.
        QTest::keyClick(memo, Qt::Key_Up, Qt::ControlModifier);
        QTest::keyClick(memo, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(dlg->lActivityID->text(), QString("A"));
        QCOMPARE(dlg->memoLines().value(1), longLine);
        // At the first row Ctrl+Up reloads it, and "Apply" still works.
        QTest::keyClick(memo, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(dlg->lActivityID->text(), QString("A"));
        memo->setPlainText("again");
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QCOMPARE(readValue("A", "Log#1"), QVariant("again"));

        // Esc closes the editor; it keeps its range.
        QTest::keyClick(memo, Qt::Key_Escape);
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->SpinEdit2->value(), 3);
    }

    // Holding Ctrl+Down repeats its press and release; the editor moves one
    // row, when the key is let go, not one per repeat.
    void ctrlDownHeldMovesOneRow()
    {
        makeForm();
        logedit::TMultyLogDlg* dlg = editor();
        setBox(dlg->SpinEdit1, 1);
        setBox(dlg->SpinEdit2, 1);
        table().setCurrentRow(0);
        run(Command::MultyLog);
        QCOMPARE(dlg->lActivityID->text(), QString("A"));
        QPlainTextEdit* memo = dlg->Memo1;
        memo->setFocus();
        const auto send = [memo](QEvent::Type type, bool autoRepeat) {
            QKeyEvent key(type, Qt::Key_Down, Qt::ControlModifier, QString(), autoRepeat);
            QCoreApplication::sendEvent(memo, &key);
        };
        send(QEvent::KeyPress, false);
        for (int i = 0; i < 5; ++i) {
            send(QEvent::KeyRelease, true);
            send(QEvent::KeyPress, true);
        }
        QCOMPARE(dlg->lActivityID->text(), QString("A"));
        send(QEvent::KeyRelease, false);
        QCOMPARE(dlg->lActivityID->text(), QString("B"));
        QCOMPARE(table().currentRow(), 1);
    }

    // A range that runs past the last log shows the logs up to 99 with the
    // caret after them, so what is typed next goes below the last log; a
    // range inside 1..99 starts with the caret at the top.
    void rangePastTheLastLogPutsTheCaretAtTheEnd()
    {
        makeForm();
        orvane::testing::execRaw("UPDATE P3Data SET [Log#98] = 'ninety-eight', [Log#99] = 'last' WHERE ActivityID = 'A'");
        table().requery();
        table().fetchAll();
        logedit::TMultyLogDlg* dlg = editor();
        table().setCurrentRow(0);
        run(Command::MultyLog);
        setBox(dlg->SpinEdit1, 97);
        setBox(dlg->SpinEdit2, 99);
        QCOMPARE(dlg->Memo1->toPlainText(), QString("\nninety-eight\nlast"));
        QCOMPARE(dlg->Memo1->textCursor().position(), 0);
        // "120" can be typed; the range is read again when the other box
        // changes.
        dlg->SpinEdit2->setFocus();
        dlg->SpinEdit2->selectAll();
        QTest::keyClicks(dlg->SpinEdit2, "120");
        setBox(dlg->SpinEdit1, 96);
        setBox(dlg->SpinEdit1, 97);
        QCOMPARE(dlg->Memo1->toPlainText(), QString("\nninety-eight\nlast"));
        QCOMPARE(dlg->Memo1->textCursor().position(), dlg->Memo1->toPlainText().size());
    }

    void ctrlDownAtTheEndOfTheTable()
    {
        makeForm();
        logedit::TMultyLogDlg* dlg = editor();
        setBox(dlg->SpinEdit1, 1);
        setBox(dlg->SpinEdit2, 1);
        table().setCurrentRow(2);
        run(Command::MultyLog);
        QCOMPARE(dlg->lActivityID->text(), QString("C"));
        QPlainTextEdit* memo = dlg->Memo1;
        memo->setPlainText("not applied");
        QTest::keyClick(memo, Qt::Key_Down, Qt::ControlModifier);
        // The same row is reloaded, discarding the edit; the table is at its end.
        QCOMPARE(dlg->lActivityID->text(), QString("C"));
        QCOMPARE(memo->toPlainText(), QString("one C"));
        QVERIFY(table().eof());
        memo->selectAll();
        QTest::keyClicks(memo, "ignored");
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QCOMPARE(readValue("C", "Log#1"), QVariant("one C"));
        // The user is told, and the typed lines stay in the box.
        QCOMPARE(m_errors, QStringList{"Nothing was applied: Ctrl+Down went past the last activity. "
                                       "Ctrl+Up goes back to it."});
        QCOMPARE(memo->toPlainText(), QString("ignored"));
        // A second Ctrl+Down does nothing at all.
        QSignalSpy scrolled(&table(), &store::ActivityTable::afterScroll);
        QTest::keyClick(memo, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(scrolled.count(), 0);
        QCOMPARE(memo->toPlainText(), QString("ignored"));
    }

    void editorFollowsTheTableAndReopensWithoutReloading()
    {
        makeForm();
        logedit::TMultyLogDlg* dlg = editor();
        setBox(dlg->SpinEdit1, 1);
        setBox(dlg->SpinEdit2, 1);
        run(Command::MultyLog);
        // The grid's click on another row moves the table's current row.
        m_form->cxGridProject()->model().setFocusedRow(0);   // C, first on screen
        QCOMPARE(dlg->lActivityID->text(), QString("C"));
        dlg->Memo1->setPlainText("unapplied");
        run(Command::MultyLog);   // shown already: only brought to the front
        QCOMPARE(dlg->Memo1->toPlainText(), QString("unapplied"));
        // A bulk command re-reads the table: the editor lands on the first row.
        logedit::TForm2Log* f2l = m_form->Form2Log();
        clickWhenShown(f2l, f2l->OkBtn);
        run(Command::Log2Log);
        QCOMPARE(dlg->lActivityID->text(), QString("A"));
    }

    // Whatever is typed into a log-number box is what the command reads:
    // a text naming no log stops it with the error box and changes no row;
    // a log number ("07", "99") runs on exactly that log. Enter in the box
    // or the dialog's button ends the dialog alike.
    void numberBoxesRunWhatIsTyped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("target");
        QTest::addColumn<bool>("byMouse");
        const char* targets[] = {"log2log from", "log2log to", "desc2log", "log2desc", "data2log",
                                 "editor first", "editor last"};
        for (const char* text : {"100", "ab", "", "-1", "0", "07", "99"})
            for (int target = 0; target < 7; ++target)
                for (bool byMouse : {false, true})
                    QTest::addRow("%s '%s' %s", targets[target], text, byMouse ? "click" : "Enter")
                        << QString(text) << target << byMouse;
    }

    void numberBoxesRunWhatIsTyped()
    {
        QFETCH(QString, text);
        QFETCH(int, target);
        QFETCH(bool, byMouse);
        makeForm();
        orvane::testing::execRaw("UPDATE P3Data SET [Log#7] = 'seven ' || ActivityID, "
                                 "[Log#99] = 'last ' || ActivityID");
        table().requery();
        table().fetchAll();
        const QStringList before = tableBytes();
        // The box had a good value (5) before the text was typed over it.
        auto typeOver = [&text](QSpinBox* box) {
            setBox(box, 5);
            box->setFocus();
            box->selectAll();
            if (text.isEmpty())
                QTest::keyClick(box, Qt::Key_Delete);
            else
                QTest::keyClicks(box, text);
            QCOMPARE(box->cleanText(), text);
        };
        auto finish = [byMouse](QDialog* dialog, QSpinBox* box, QPushButton* ok) {
            if (byMouse)
                QTest::mouseClick(ok, Qt::LeftButton);
            else
                QTest::keyClick(box, Qt::Key_Return);
            QTRY_VERIFY(!dialog->isVisible());
        };
        const bool namesALog = text == "07" || text == "99";
        const int n = text.toInt();
        QStringList expected = before;
        const auto copyColumn = [&](int targetColumn, int sourceColumn) {
            for (int row = 0; row < 3; ++row) {
                const QString& source = before.at(row * store::kColumnCount + sourceColumn);
                const QString payload = source.section(':', 2);
                expected[row * store::kColumnCount + targetColumn] = source.section(':', 0, 0) + ":"
                                                                     + store::fieldName(targetColumn) + ":" + payload;
            }
        };
        if (target <= 4) {
            QDialog* dialog = nullptr;
            QSpinBox* box = nullptr;
            QPushButton* ok = nullptr;
            Command command = Command::Log2Log;
            if (target <= 1) {
                logedit::TForm2Log* d = m_form->Form2Log();
                dialog = d, ok = d->OkBtn, box = target == 0 ? d->SpinEdit1 : d->SpinEdit2;
                setBox(target == 0 ? d->SpinEdit2 : d->SpinEdit1, 5);
                if (target == 0)
                    copyColumn(store::logColumn(5), store::logColumn(n));
                else
                    copyColumn(store::logColumn(n), store::logColumn(5));
            } else if (target <= 3) {
                logedit::TFormAct2Log* d = m_form->FormAct2Log();
                QTest::mouseClick(target == 2 ? d->RadioButton1 : d->RadioButton2, Qt::LeftButton,
                                  Qt::NoModifier, QPoint(6, d->RadioButton1->height() / 2));
                dialog = d, ok = d->OkBtn, box = target == 2 ? d->SpinEdit1 : d->SpinEdit2;
                command = Command::Act2Log;
                if (target == 2)
                    copyColumn(store::logColumn(n), store::kDescriptionColumn);
                else
                    copyColumn(store::kDescriptionColumn, store::logColumn(n));
            } else {
                logedit::TFormAD2Log* d = m_form->FormAD2Log();
                dialog = d, ok = d->OkBtn, box = d->SpinEdit;
                command = Command::AD2Log;
                copyColumn(store::logColumn(n), store::kActivityIdColumn);   // the first field, as offered
            }
            QTimer::singleShot(0, dialog, [&] {
                QTRY_VERIFY(dialog->isVisible());
                typeOver(box);
                finish(dialog, box, ok);
            });
            run(command);
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
        } else {
            logedit::TMultyLogDlg* dlg = editor();
            // The other end of the range: the first log or the last.
            setBox(dlg->SpinEdit1, 1);
            setBox(dlg->SpinEdit2, 99);
            run(Command::MultyLog);
            typeOver(target == 5 ? dlg->SpinEdit1 : dlg->SpinEdit2);
            // One edit on the line of the typed log: the first line of N..99,
            // the last of 1..N.
            dlg->Memo1->setFocus();
            QTest::keyClick(dlg->Memo1, target == 5 ? Qt::Key_Home : Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(dlg->Memo1, Qt::Key_End);
            QTest::keyClicks(dlg->Memo1, "!");
            if (namesALog) {
                const QString id = dlg->lActivityID->text();
                const int row = QStringList({"A", "B", "C"}).indexOf(id);
                QVERIFY(row >= 0);
                expected[row * store::kColumnCount + store::logColumn(n)] =
                    id + ":" + store::fieldName(store::logColumn(n)) + ":QString:"
                    + (readValue(id, store::fieldName(store::logColumn(n))).toString() + "!").toUtf8().toHex();
            }
            if (byMouse) {
                QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
            } else {
                dlg->ApplyBtn->setFocus();
                QTest::keyClick(dlg->ApplyBtn, Qt::Key_Space);
            }
        }
        if (namesALog) {
            QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('|')));
            QCOMPARE(tableBytes(), expected);
        } else {
            QCOMPARE(m_errors.size(), 1);
            QVERIFY2(m_errors.first().contains("\"Log#" + text + "\""), qPrintable(m_errors.first()));
            QCOMPARE(tableBytes(), before);
        }
    }

    // The arrows and the wheel still step within 1 to 99, also from a text
    // that names no log.
    void numberBoxesStepWithinTheLogs()
    {
        makeForm();
        QSpinBox* box = m_form->Form2Log()->SpinEdit2;
        m_form->Form2Log()->show();
        setBox(box, 98);
        QTest::keyClick(box, Qt::Key_Up);
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->cleanText(), QString("99"));
        setBox(box, 2);
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->cleanText(), QString("1"));
        box->selectAll();
        QTest::keyClicks(box, "250");
        QCOMPARE(box->cleanText(), QString("250"));
        QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &wheel);
        const int stepped = box->cleanText().toInt();
        QVERIFY2(stepped >= 1 && stepped <= 99, qPrintable(box->cleanText()));
        m_form->Form2Log()->hide();
    }

    // Boxes that show the digits of their locale give statements and an
    // editor range in ASCII digits.
    void numberBoxesInALocaleWithOtherDigits()
    {
        makeForm();
        const QLocale arabic("ar_EG");
        logedit::TForm2Log* dialog = m_form->Form2Log();
        for (QSpinBox* box : {dialog->SpinEdit1, dialog->SpinEdit2})
            box->setLocale(arabic);
        dialog->SpinEdit1->setValue(1);
        dialog->SpinEdit2->setValue(7);
        QCOMPARE(dialog->SpinEdit2->text(), arabic.toString(7));
        QVERIFY(dialog->SpinEdit2->text() != QString("7"));
        clickWhenShown(dialog, dialog->OkBtn);
        run(Command::Log2Log);
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('|')));
        QCOMPARE(m_form->store().qLog2Log.sqlText(), QString("UPDATE [P3Data] SET [Log#7] = [Log#1]"));
        QCOMPARE(readValue("A", "Log#7"), QVariant("one A"));

        logedit::TMultyLogDlg* dlg = editor();
        for (QSpinBox* box : {dlg->SpinEdit1, dlg->SpinEdit2})
            box->setLocale(arabic);
        dlg->SpinEdit1->setValue(3);
        dlg->SpinEdit2->setValue(5);
        run(Command::MultyLog);
        QCOMPARE(dlg->Memo1->toPlainText(), QString("three A\n\nfive A"));
        dlg->Memo1->setPlainText("3\n4\n5");
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('|')));
        QCOMPARE(readValue("A", "Log#3"), QVariant("3"));
        QCOMPARE(readValue("A", "Log#5"), QVariant("5"));
        QCOMPARE(readValue("A", "Log#1"), QVariant("one A"));
    }

    // Apply with nothing edited leaves every log byte for byte; a stored log
    // with line breaks stays one log, and typed breaks still separate logs.
    void editorKeepsWhatWasNotEdited()
    {
        makeForm(false);
        const QString breaks = QString("two\ntwo-b\r\nthree") + QChar::LineSeparator + "four";
        insertRow({{"ActivityID", "A"}, {"Log#2", breaks}, {"Log#3", QString("")}, {"Log#5", "fi\u00a0ve"},
                   {"Log#6", "six"}, {"Log#7", "seven"}});
        insertRow({{"ActivityID", "B"}});
        insertRow({{"ActivityID", "C"}});
        table().requery();
        table().fetchAll();
        logedit::TMultyLogDlg* dlg = editor();
        setBox(dlg->SpinEdit1, 1);
        setBox(dlg->SpinEdit2, 6);
        run(Command::MultyLog);
        QCOMPARE(dlg->lActivityID->text(), QString("A"));
        QCOMPARE(dlg->Memo1->document()->blockCount(), 6);   // one line per log
        QStringList before = tableBytes();
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QVERIFY(m_errors.isEmpty());
        QCOMPARE(tableBytes(), before);
        saveShot(dlg, "TMultyLogDlg-stored-breaks");

        // Editing one line writes that log only; its breaks come back.
        QTextCursor cursor(dlg->Memo1->document()->findBlockByNumber(1));
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertText("!");
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QCOMPARE(readValue("A", "Log#2"), QVariant(breaks + "!"));
        before[0 * store::kColumnCount + store::logColumn(2)] = tableBytes().at(store::logColumn(2));
        QCOMPARE(tableBytes(), before);

        // A typed break moves the later logs down a line, each whole.
        QTest::keyClick(dlg->Memo1, Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(dlg->Memo1, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(dlg->lActivityID->text(), QString("A"));
        cursor = QTextCursor(dlg->Memo1->document()->findBlockByNumber(0));
        cursor.insertText("one");
        cursor.insertBlock();
        cursor.insertText("new two");
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QCOMPARE(readValue("A", "Log#1"), QVariant("one"));
        QCOMPARE(readValue("A", "Log#2"), QVariant("new two"));
        QCOMPARE(readValue("A", "Log#3"), QVariant(breaks + "!"));
        QCOMPARE(readValue("A", "Log#6"), QVariant("fi\u00a0ve"));
        QCOMPARE(readValue("A", "Log#7"), QVariant("seven"));   // outside the range
    }

    void editorOnAnEmptyTable()
    {
        makeForm(false);
        logedit::TMultyLogDlg* dlg = editor();
        setBox(dlg->SpinEdit1, 1);
        setBox(dlg->SpinEdit2, 3);
        run(Command::MultyLog);
        QCOMPARE(dlg->lActivityID->text(), QString());
        QCOMPARE(dlg->lActivityDescription->text(), QString());
        QCOMPARE(dlg->Memo1->toPlainText(), QString("\n\n"));
        dlg->Memo1->setFocus();
        QTest::keyClicks(dlg->Memo1, "x");
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QCOMPARE(m_errors, QStringList{"Nothing was applied: the table has no activities."});
        QCOMPARE(table().rowCount(), 0);
    }

    // After Apply the box holds what the table holds: a wider range shows
    // the log just written, and the next Apply counts against it.
    void editorReloadsItsRowAfterApply()
    {
        makeForm();
        logedit::TMultyLogDlg* dlg = editor();
        setBox(dlg->SpinEdit1, 1);
        setBox(dlg->SpinEdit2, 1);
        run(Command::MultyLog);
        const QString id = dlg->lActivityID->text();
        dlg->Memo1->setFocus();
        QTest::keyClick(dlg->Memo1, Qt::Key_End);
        QTest::keyClicks(dlg->Memo1, " edited");
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('|')));
        const QString written = "one " + id + " edited";
        QCOMPARE(readValue(id, "Log#1"), QVariant(written));
        QCOMPARE(m_form->statusPanel(2)->text(), id + ": Log#1 to Log#1 applied, 1 log changed");
        setBox(dlg->SpinEdit2, 2);
        QCOMPARE(dlg->Memo1->toPlainText(), written + "\n");
        QTest::keyClick(dlg->Memo1, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(dlg->Memo1, "two");
        QTest::mouseClick(dlg->ApplyBtn, Qt::LeftButton);
        QCOMPARE(m_form->statusPanel(2)->text(), id + ": Log#1 to Log#2 applied, 1 log changed");
        QCOMPARE(readValue(id, "Log#1"), QVariant(written));
        QCOMPARE(readValue(id, "Log#2"), QVariant("two"));
    }
};

QTEST_MAIN(LogEditWindowsTest)
#include "LogEditWindowsTest.moc"
