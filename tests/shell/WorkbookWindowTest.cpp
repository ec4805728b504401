// "Get logs from workbook..." and Edit > Undo in the main window on the
// offscreen platform: the preview, rows the filter hides, and Undo after
// each kind of change to many cells giving the table back byte for byte.

#include "logedit/BulkCommands.h"
#include "logedit/TMultyLogDlg.h"
#include "shell/CommandTable.h"
#include "shell/ErrorBox.h"
#include "shell/TAboutForm.h"
#include "shell/TMainForm.h"
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

    void updateShowsThePreviewReachesHiddenRowsAndUndoes()
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
        QAction* undo = form.menuAction(Command::Undo);
        QVERIFY(!undo->isEnabled());

        // The table moves on after the export; the workbook holds the old logs.
        orvane::testing::execRaw("UPDATE P3Data SET [Log#1] = 'changed here' WHERE ActivityID = 'A1'");
        orvane::testing::execRaw("UPDATE P3Data SET [Log#1] = NULL, Description = 'renamed' WHERE ActivityID = 'A2'");
        table.requery();
        table.fetchAll();
        table.setFilter("[ActivityID] <> 'A2'");
        table.setFiltered(true);
        const QStringList beforeUpdate = dumpTable();

        QStringList preview;
        QStringList changed;
        bool answer = false;
        form.askWorkbookFileName = [&] { return file; };
        form.confirmWorkbookUpdate = [&](const QStringList& lines, const std::vector<workbook::CellChange>& changes) {
            preview = lines;
            changed.clear();
            std::unique_ptr<QDialog> box(createWorkbookPreview(&form, lines, changes));
            auto* list = box->findChild<QTableWidget*>("WorkbookChanges");
            for (int row = 0; list && row < list->rowCount(); ++row) {
                QStringList cells;
                for (int column = 0; column < list->columnCount(); ++column)
                    cells << list->item(row, column)->text();
                changed << cells.join("|");
            }
            return answer && !changes.empty();
        };
        form.menuAction(Command::FromWorkbook)->trigger();   // cancelled at the preview
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
        QVERIFY(preview.contains("Activities that will change: 2"));
        QVERIFY(preview.contains("Log lines that will change: 2"));
        QVERIFY(preview.contains("Descriptions that will change: 1"));
        QVERIFY(preview.contains("Changed activities the grid's filter hides: 1"));
        // The window lists each cell that will change, the hidden row's too.
        changed.sort();
        QCOMPARE(changed, (QStringList{"A1|Log#1|changed here|one", "A2|Description|renamed|second",
                                       "A2|Log#1||two"}));
        QCOMPARE(dumpTable(), beforeUpdate);

        answer = true;
        form.toolAction(Command::FromWorkbook)->trigger();
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join("\n")));
        QCOMPARE(readValue("A1", "Log#1").toString(), QString("one"));
        QCOMPARE(readValue("A2", "Log#1").toString(), QString("two"));
        QCOMPARE(readValue("A2", "Description").toString(), QString("second"));
        QVERIFY(undo->isEnabled());

        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(dumpTable(), beforeUpdate);
        QVERIFY(!undo->isEnabled());
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
