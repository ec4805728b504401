// "Get logs from workbook..." and Edit > Undo in the main window on the
// offscreen platform: the preview with its conflicts, the table's edits
// since the export kept, rows the filter hides, a workbook without the
// export's record, and Undo after each kind of change to many cells giving
// the table back byte for byte.

#include "export/XLSExportProvider.h"
#include "logedit/BulkCommands.h"
#include "logedit/TMultyLogDlg.h"
#include "shell/CommandTable.h"
#include "shell/ErrorBox.h"
#include "shell/TAboutForm.h"
#include "shell/TMainForm.h"
#include "store/ExportRecord.h"
#include "shell/WorkbookCommands.h"
#include "support/TempDatabase.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QDialog>
#include <QTableWidget>
#include <QtTest>

using namespace orvane;
using namespace orvane::shell;
using orvane::testing::dumpTable;
using orvane::testing::insertRow;
using orvane::testing::readValue;

class WorkbookWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_settingsDir;
    QStringList m_boxes;
    QStringList m_preview;
    QStringList m_changed;

    // A workbook as a spreadsheet program leaves it: the first sheet shows
    // `shown`; the hidden record holds `exported`, or is missing when empty.
    static void writeWorkbook(const QString& file, const QVector<QStringList>& shown,
                              const QVector<QStringList>& exported)
    {
        exporting::TcxXLSExportProvider xls(file);
        const int columns = int(shown.front().size());
        xls.SetSheetSize(columns, int(shown.size()), false);
        if (!exported.isEmpty())
            xls.AddHiddenSheet(store::exportRecordSheetName(), columns, int(exported.size()));
        for (int r = 0; r < shown.size(); ++r)
            for (int c = 0; c < columns; ++c)
                xls.PutDisplayText(c, r, shown[r].value(c));
        for (int r = 0; r < exported.size(); ++r)
            for (int c = 0; c < columns; ++c)
                xls.PutHiddenText(c, r, exported[r].value(c));
        xls.WriteWorkbook();
    }

    // Runs "Get logs from workbook..." on a file through `command`, confirming
    // the preview when `confirm` and there is a change; returns the preview.
    QStringList updateFrom(TMainForm& form, QAction* command, const QString& file, bool confirm = true)
    {
        m_preview.clear();
        m_changed.clear();
        form.askWorkbookFileName = [file] { return file; };
        form.confirmWorkbookUpdate = [this, &form, confirm](const QStringList& lines,
                                                            const std::vector<workbook::CellChange>& changes) {
            m_preview = lines;
            // What the preview window lists: activity, log, old and new text.
            std::unique_ptr<QDialog> box(createWorkbookPreview(&form, lines, changes));
            auto* list = box->findChild<QTableWidget*>("WorkbookChanges");
            for (int row = 0; list && row < list->rowCount(); ++row) {
                QStringList cells;
                for (int column = 0; column < list->columnCount(); ++column)
                    cells << list->item(row, column)->text();
                m_changed << cells.join("|");
            }
            return confirm && !changes.empty();
        };
        command->trigger();
        return m_preview;
    }

    void fillTable()
    {
        insertRow({{"ActivityID", "A1"}, {"Description", "first"}, {"Log#1", "one"}, {"Log#2", "one b"}});
        insertRow({{"ActivityID", "A2"}, {"Description", "second"}, {"Log#1", "two"}});
        insertRow({{"ActivityID", "A3"}, {"Description", "third"}, {"Log#5", "five"}});
    }

private slots:
    void initTestCase()
    {
        orvane::testing::isolateUserSettings(m_settingsDir.path());
        setBoxPresenter([this](BoxKind, const QString&, const QString& text) { m_boxes.append(text); });
    }

    void init() { m_boxes.clear(); }

    void updateKeepsTheTableEditsSinceTheExport()
    {
        orvane::testing::TempWorkDir dir;
        fillTable();
        TAboutForm about;
        TMainForm form(&about);
        store::ActivityTable& table = form.store().taActivities;
        table.fetchAll();
        const QString file = dir.file("grid.xls");
        form.askExportFileName = [&] { return file; };
        form.toolAction(Command::Export)->trigger();
        QVERIFY(QFile::exists(file));

        // The table moves on after the export; the workbook holds the old logs.
        orvane::testing::execRaw("UPDATE P3Data SET [Log#1] = 'changed here' WHERE ActivityID = 'A1'");
        orvane::testing::execRaw("UPDATE P3Data SET [Log#1] = NULL, Description = 'renamed' WHERE ActivityID = 'A2'");
        table.requery();
        table.fetchAll();
        const QStringList beforeUpdate = dumpTable();

        const QStringList preview = updateFrom(form, form.menuAction(Command::FromWorkbook), file);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
        QVERIFY2(preview.contains("Activities that will change: 0"), qPrintable(preview.join("\n")));
        QVERIFY(preview.contains("Cells edited in the table since the export, kept as the table has them: 3"));
        QVERIFY(preview.contains(
            "Cells edited both in the table and in the workbook, left as the table has them: 0"));
        QCOMPARE(dumpTable(), beforeUpdate);
        QVERIFY(!form.menuAction(Command::Undo)->isEnabled());
    }

    void updateShowsThePreviewReachesHiddenRowsAndUndoes()
    {
        orvane::testing::TempWorkDir dir;
        fillTable();
        orvane::testing::execRaw("UPDATE P3Data SET [Log#1] = 'changed here' WHERE ActivityID = 'A1'");
        TAboutForm about;
        TMainForm form(&about);
        store::ActivityTable& table = form.store().taActivities;
        table.fetchAll();
        table.setFilter("[ActivityID] <> 'A2'");
        table.setFiltered(true);
        QAction* undo = form.menuAction(Command::Undo);
        QVERIFY(!undo->isEnabled());
        const QStringList beforeUpdate = dumpTable();

        // Edited in a spreadsheet program: A1's Log#1 (also changed in the
        // table since: a conflict) and Log#2, A2's Log#3 (hidden by the filter).
        const QString file = dir.file("edited.xls");
        const QStringList captions{"ActivityID", "Description", "Log#1", "Log#2", "Log#3"};
        writeWorkbook(file,
                      {captions, {"A1", "first", "theirs", "one b edited", ""}, {"A2", "second", "two", "", "new three"}},
                      {captions, {"A1", "first", "one", "one b", ""}, {"A2", "second", "two", "", ""}});
        const QStringList preview = updateFrom(form, form.menuAction(Command::FromWorkbook), file, false);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
        QVERIFY2(preview.contains("Activities that will change: 2"), qPrintable(preview.join("\n")));
        QVERIFY(preview.contains("Log lines that will change: 2"));
        QVERIFY(preview.contains("Changed activities the grid's filter hides: 1"));
        QVERIFY(preview.contains("Conflict: A1 Log#1: table \"changed here\", workbook \"theirs\", exported \"one\""));
        // The window lists each cell that will change, the hidden row's too.
        QStringList changed = m_changed;
        changed.sort();
        QCOMPARE(changed, (QStringList{"A1|Log#2|one b|one b edited", "A2|Log#3||new three"}));
        QCOMPARE(dumpTable(), beforeUpdate);

        updateFrom(form, form.toolAction(Command::FromWorkbook), file);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
        QCOMPARE(readValue("A1", "Log#1").toString(), QString("changed here"));
        QCOMPARE(readValue("A1", "Log#2").toString(), QString("one b edited"));
        QCOMPARE(readValue("A2", "Log#3").toString(), QString("new three"));
        QVERIFY(undo->isEnabled());

        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(dumpTable(), beforeUpdate);
        QVERIFY(!undo->isEnabled());
    }

    void aWorkbookWithoutTheRecordIsUpdatedAsBeforeAfterANotice()
    {
        orvane::testing::TempWorkDir dir;
        fillTable();
        orvane::testing::execRaw("UPDATE P3Data SET [Log#1] = 'changed here' WHERE ActivityID = 'A1'");
        TAboutForm about;
        TMainForm form(&about);
        form.store().taActivities.fetchAll();
        const QString file = dir.file("handmade.xls");
        writeWorkbook(file, {{"ActivityID", "Log#1"}, {"A1", "one"}}, {});
        const QStringList preview = updateFrom(form, form.menuAction(Command::FromWorkbook), file);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
        QVERIFY2(preview.value(0).startsWith("The workbook carries no record of what was exported"),
                 qPrintable(preview.join("\n")));
        QCOMPARE(readValue("A1", "Log#1").toString(), QString("one"));
    }

    void undoTakesBackBulkCommandsAndTheMultiLineEditorStepByStep()
    {
        orvane::testing::TempWorkDir dir;
        fillTable();
        TAboutForm about;
        TMainForm form(&about);
        store::ActivityTable& table = form.store().taActivities;
        table.fetchAll();
        const QStringList start = dumpTable();

        runGuarded([&] { logedit::runBulkStatement(form.store(), logedit::descriptionToLogStatement(7)); });
        const QStringList afterBulk = dumpTable();
        QVERIFY(afterBulk != start);

        table.first();
        form.mMultyLogClick();
        logedit::TMultyLogDlg* editor = form.MultyLogDlg();
        editor->Memo1->setPlainText("new one\n\nthird line");
        QTest::mouseClick(editor->ApplyBtn, Qt::LeftButton);
        editor->hide();
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
        QCOMPARE(readValue("A1", "Log#1").toString(), QString("new one"));
        QVERIFY(form.menuAction(Command::Undo)->isEnabled());

        form.menuAction(Command::Undo)->trigger();
        QCOMPARE(dumpTable(), afterBulk);
        form.menuAction(Command::Undo)->trigger();
        QCOMPARE(dumpTable(), start);
        QVERIFY(!form.menuAction(Command::Undo)->isEnabled());
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
    }
};

QTEST_MAIN(WorkbookWindowTest)
#include "WorkbookWindowTest.moc"
