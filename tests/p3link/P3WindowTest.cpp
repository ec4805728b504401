// The project and filter pickers and the main window's P3 commands on the
// offscreen platform, against the simulated P3 server and a real pdb.mdb.
// With ORVANE_SCREENSHOTS set to a folder, the main window is saved there
// as a PNG after each step of the round trip.

#include "export/GridExport.h"
#include "filter/FilterPanel.h"
#include "filter/GridFilter.h"
#include "logedit/TFormAct2Log.h"
#include "p3link/ProjectPickers.h"
#include "p3link/WindowOperationView.h"
#include "p3sim/Server.h"
#include "shell/CommandTable.h"
#include "shell/ErrorBox.h"
#include "shell/TAboutForm.h"
#include "shell/TMainForm.h"
#include "store/ActivityLayout.h"
#include "support/RunProgram.h"
#include "support/SampleProjects.h"
#include "support/TempDatabase.h"

#include "grid/ActivityGrid.h"
#include "grid/GridView.h"
#include "shell/TextListDialog.h"

#include <QAction>
#include <QRadioButton>
#include <QSpinBox>
#include <QCheckBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace orvane;
using namespace orvane::p3link;
using orvane::shell::Command;
namespace m = orvane::p3link::member;

namespace {

// Runs `step` on the next modal dialog of the class `className` (any
// class when null) that opens.
void onNextModal(std::function<void(QWidget*)> step, const char* className = nullptr)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, step, className] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && (!className || modal->inherits(className))) {
            timer->stop();
            timer->deleteLater();
            step(modal);
        }
    });
    timer->start();
}

int rowOf(const TP3OpenDlg& picker, const QString& group, const QString& sub)
{
    for (int r = 0; r < picker.projectRowCount(); ++r)
        if (picker.cell(r, 0) == group && picker.cell(r, 1) == sub)
            return r;
    return -2;
}

// Answers the project picker: selects the row of group/sub (-1: none) and
// clicks Ok, or Cancel when group is null.
void answerPicker(const QString& group, const QString& sub = QStringLiteral(" "), bool useFilter = false)
{
    onNextModal([=](QWidget* w) {
        auto* picker = static_cast<TP3OpenDlg*>(w);
        if (group.isNull()) {
            picker->bCancel->click();
            return;
        }
        picker->CheckFilter->setChecked(useFilter);
        picker->selectProjectRow(rowOf(*picker, group, sub));
        picker->bOk->click();
    }, "orvane::p3link::TP3OpenDlg");
}

// Sets logs of activities in a project file, as a colleague's P3 would.
void editProjectLogs(const QString& file, const QList<std::tuple<QString, int, QString>>& edits)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = f.readAll().split('\n');
    f.close();
    for (QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        QJsonObject a = QJsonDocument::fromJson(line).object();
        for (const auto& [id, number, text] : edits) {
            if (a.value("ActivityID").toString() != id)
                continue;
            QJsonArray logs;
            for (const QJsonValue log : a.value("logs").toArray())
                if (log.toArray().at(0).toInt() != number)
                    logs.append(log);
            logs.append(QJsonArray{number, text});
            a["logs"] = logs;
        }
        line = QJsonDocument(a).toJson(QJsonDocument::Compact);
    }
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(lines.join('\n'));
}

} // namespace

class P3WindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_temp;
    QString m_projects;
    QList<std::tuple<shell::BoxKind, QString, QString>> m_boxes;
    QString m_shots;
    int m_shot = 0;

    void screenshot(QWidget& w, const QString& name)
    {
        if (m_shots.isEmpty())
            return;
        QApplication::processEvents();
        w.grab().save(QDir(m_shots).filePath(QStringLiteral("%1-%2.png").arg(++m_shot, 2, 10, QLatin1Char('0')).arg(name)));
    }

private slots:
    void initTestCase()
    {
        orvane::testing::isolateUserSettings(m_temp.filePath("settings"));
        shell::setBoxPresenter([this](shell::BoxKind kind, const QString& caption, const QString& text) {
            m_boxes.append({kind, caption, text});
        });
        m_shots = qEnvironmentVariable("ORVANE_SCREENSHOTS");
    }

    void init()
    {
        m_boxes.clear();
        m_projects = m_temp.filePath(QStringLiteral("projects%1").arg(QDateTime::currentMSecsSinceEpoch()));
        QVERIFY(orvane::testing::copyFolder(orvane::testing::kSampleProjects, m_projects));
        p3sim::control().reset();
        p3sim::control().settings = p3sim::Settings{};
        p3sim::control().settings.projectsFolder = m_projects;
        p3sim::control().settings.hasCurrentUser = true;
        p3sim::control().settings.currentUser = QStringLiteral("PLANNER");
        p3sim::control().recordCalls = true;
        Session.reset();
        CurrentProjectGroup.clear();
        CurrentProjectName.clear();
    }

    void cleanup()
    {
        Session.reset();
        p3sim::flushAll();
    }

    void pickerListsTheFolderProjects()
    {
        Session = P3Object(p3sim::createSession());
        TP3OpenDlg picker;
        QCOMPARE(picker.StrGrid->columnWidth(2), 305 - 44 - 44 - 12);
        QCOMPARE(picker.projectRowCount(), 0);

        picker.moveTreeTo(m_projects);
        QCOMPARE(picker.FFolderPath, m_projects);
        QCOMPARE(picker.FProjectPath, m_projects);
        QCOMPARE(Session.text(m::CurrentProjectPath), m_projects);
        QCOMPARE(picker.projectRowCount(), 6);
        QCOMPARE(picker.cell(0, 0), QString("CAMP"));
        QCOMPARE(picker.cell(0, 1), QString(" "));   // the group itself
        QCOMPARE(picker.cell(1, 1), QString("LIBR"));
        QCOMPARE(picker.cell(3, 2), QString("Riverside Clinic"));

        // Ok without a row takes the hidden row: both names empty.
        picker.selectProjectRow(-1);
        picker.bOkClick();
        QCOMPARE(picker.FProjectGroup, QString());
        QCOMPARE(picker.FSubproject, QString());
        picker.selectProjectRow(1);
        picker.bOkClick();
        QCOMPARE(picker.FProjectGroup, QString("CAMP"));
        QCOMPARE(picker.FSubproject, QString("LIBR"));

        // A folder whose only "*dir.p3" entry is a directory lists nothing
        // and leaves P3's path alone.
        const QString other = m_temp.filePath("other");
        QVERIFY(QDir().mkpath(other + "/FAKEDIR.P3"));
        const int calls = p3sim::control().callCount("ProjectAbstracts");
        picker.moveTreeTo(other);
        QCOMPARE(picker.projectRowCount(), 0);
        QCOMPARE(picker.FProjectPath, QString());
        QCOMPARE(Session.text(m::CurrentProjectPath), m_projects);
        QCOMPARE(p3sim::control().callCount("ProjectAbstracts"), calls);

        // The match is case-insensitive.
        QFile f(other + "/lowerdir.P3");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(findProjectDirectory(other) == other);

        try {
            picker.moveTreeTo(m_temp.filePath("missing"));
            QFAIL("no error");
        } catch (const EP3EngineError& e) {
            QCOMPARE(e.message(), "Error setting path: \"" + m_temp.filePath("missing") + "\"");
        }
    }

    void pickerReopensAtTheRememberedFolder()
    {
        Session = P3Object(p3sim::createSession());
        TP3OpenDlg picker;
        const QString second = m_temp.filePath("second");
        QVERIFY(orvane::testing::copyFolder(m_projects, second));
        picker.moveTreeTo(second);
        QCOMPARE(picker.projectRowCount(), 6);

        // A new session reports the server's folder, not the one chosen:
        // the picker opens at the folder chosen last time.
        Session = P3Object(p3sim::createSession());
        onNextModal([](QWidget* w) { static_cast<TP3OpenDlg*>(w)->bCancel->click(); });
        QCOMPARE(picker.execPicker(), int(QDialog::Rejected));
        QCOMPARE(picker.FFolderPath, second);
        QCOMPARE(Session.text(m::CurrentProjectPath), second);

        // Esc leaves the picker open; Cancel closes it.
        onNextModal([](QWidget* w) {
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(w->isVisible());
            static_cast<TP3OpenDlg*>(w)->bCancel->click();
        });
        QCOMPARE(picker.execPicker(), int(QDialog::Rejected));

        // P3 still at the path found last time: the tree opens at P3's path.
        Session.put(m::CurrentProjectPath, m_projects);
        picker.FProjectPath = m_projects;
        onNextModal([](QWidget* w) { static_cast<TP3OpenDlg*>(w)->bCancel->click(); });
        picker.execPicker();
        QCOMPARE(picker.FFolderPath, m_projects);
        QVERIFY(picker.CheckFilter->isChecked() == false);
    }

    void filterPickerAppliesTheChosenLine()
    {
        TP3OpenDlg picker;
        TFilterDlg filters;
        QCOMPARE(filters.windowTitle(), QString("Select filter"));
        DialogProjectChooser chooser(picker, filters);
        onNextModal([](QWidget* w) {
            auto* dlg = static_cast<TFilterDlg*>(w);
            QCOMPARE(dlg->ListBox1->count(), 2);
            dlg->ListBox1->setCurrentRow(1);
            dlg->bOk->click();
        });
        QCOMPARE(chooser.chooseFilter({"A1 - one", "B - two"}), std::optional<int>(1));
        onNextModal([](QWidget* w) { static_cast<TFilterDlg*>(w)->bOk->click(); });
        filters.ListBox1->clearSelection();
        QCOMPARE(chooser.chooseFilter({}), std::optional<int>());
        onNextModal([](QWidget* w) { static_cast<TFilterDlg*>(w)->bCancel->click(); });
        QCOMPARE(chooser.chooseFilter({"A1 - one"}), std::optional<int>());
    }

    void mainWindowRoundTrip()
    {
        orvane::testing::TempWorkDir work;
        shell::TAboutForm about;
        shell::TMainForm form(&about);
        form.resize(1000, 600);
        form.show();
        QVERIFY(form.P3OpenDlg() && form.FilterDlg());
        QVERIFY(form.toolAction(Command::Open)->isEnabled());
        screenshot(form, "empty");

        // Save before any project: only the notice, no P3 session.
        form.toolAction(Command::Save)->trigger();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(std::get<2>(m_boxes[0]), QString("No project to quick save."));
        QCOMPARE(std::get<1>(m_boxes[0]), QString("Information"));
        QCOMPARE(p3sim::control().callCount("CurrentUser"), 0);

        // Cancel in the picker.
        m_boxes.clear();
        answerPicker(QString());
        form.toolAction(Command::Open)->trigger();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(std::get<2>(m_boxes[0]), QString("Project loading canceled by user."));
        QCOMPARE(form.windowTitle(), QString("Orvane"));

        // Import CLIN.
        m_boxes.clear();
        answerPicker("CLIN");
        form.menuAction(Command::Open)->trigger();
        QVERIFY2(m_boxes.isEmpty(), m_boxes.isEmpty() ? "" : qPrintable(std::get<2>(m_boxes[0])));
        grid::GridViewModel& model = form.cxGridProject()->model();
        store::ActivityTable& table = form.store().taActivities;
        table.fetchAll();
        QCOMPARE(table.rowCount(), 305);
        QCOMPARE(model.isDetached(), false);
        QCOMPARE(model.rowCount(), 305);
        QCOMPARE(model.focusedRow(), 0);   // the grid's first row, not the first imported
        QCOMPARE(form.windowTitle(), QString("Orvane - CLIN "));
        QCOMPARE(form.statusPanel(0)->text(), QString("Get 305 Activities"));
        QCOMPARE(form.statusPanel(1)->text(), m_projects);
        QVERIFY(form.ProgressBar1()->isHidden());
        QCOMPARE(form.FActivityCount, 305);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(model.columnCaption(28), QString(" AREA"));
        QVERIFY(!model.column(33).hidden);
        QVERIFY(model.column(34).hidden);
        QVERIFY(model.column(47).hidden);
        QCOMPARE(form.dataFieldList().size(), 27 + 6);
        QCOMPARE(form.dataFieldList().at(27).caption, QString("AREA"));
        screenshot(form, "imported");

        // Edit a log line as the grid does, and save.
        const int row = table.rowOfId(table.rowIdAt(0));
        table.setCurrentRow(row);
        const QString id = table.fieldValue(0).toString();
        table.edit();
        table.setFieldValue(store::logColumn(1), QStringLiteral("Edited in Orvane"));
        // Left unposted: Save posts what is being edited.
        form.toolAction(Command::Save)->trigger();
        QVERIFY2(m_boxes.isEmpty(), m_boxes.isEmpty() ? "" : qPrintable(std::get<2>(m_boxes[0])));
        QCOMPARE(form.statusPanel(0)->text(), QString("Save 305 Activities"));
        QVERIFY(form.ProgressBar1()->isHidden());
        screenshot(form, "saved");

        // Import a project with no codes: every code column hidden again,
        // the list back to its fixed entries.
        answerPicker("DEPO");
        form.toolAction(Command::Open)->trigger();
        QVERIFY(model.column(28).hidden);
        QCOMPARE(form.dataFieldList().size(), 27);

        // Import CLIN again, with "Use filter" and Cancel in the filter
        // picker: the whole project, showing the saved edit.
        answerPicker("CLIN", " ", true);
        int filterShown = 0;
        onNextModal([&](QWidget* w) {
            ++filterShown;
            static_cast<TFilterDlg*>(w)->bCancel->click();
        }, "orvane::p3link::TFilterDlg");
        form.toolAction(Command::Open)->trigger();
        QCOMPARE(filterShown, 1);
        QCOMPARE(form.FActivityCount, 305);
        table.fetchAll();
        QCOMPARE(form.windowTitle(), QString("Orvane - CLIN "));
        QCOMPARE(orvane::testing::readValue(id, "Log#1").toString(), QString("Edited in Orvane"));
        screenshot(form, "reimported");

        // Save to Primavera into another project: the activities it has and
        // the local table has not are listed in one error box.
        m_boxes.clear();
        answerPicker("CAMP", "LIBR");
        form.menuAction(Command::SaveTo)->trigger();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(std::get<0>(m_boxes[0]), shell::BoxKind::ErrorList);
        QVERIFY(std::get<2>(m_boxes[0]).split('\n').first().endsWith(" is not found in local table."));
        QCOMPARE(CurrentProjectGroup, QString("CAMP"));
        QCOMPARE(form.windowTitle(), QString("Orvane - CLIN "));
    }

    // After each import through the window the columns shown at start fit
    // their values and whole captions, and the grid opens on its first row
    // scrolled to the top. The project's code names are kept in pdb.mdb and
    // come back with the table in the next run.
    void importsAreReadableAndKeepTheirCodeNames()
    {
        orvane::testing::TempWorkDir work;
        QStringList captionsAfterImport;
        QStringList fieldsAfterImport;
        auto codeCaptions = [](shell::TMainForm& form) {
            QStringList captions;
            for (int column = store::kFirstCodeColumn; column < store::kFirstLogColumn; ++column)
                if (!form.cxGridProject()->model().column(column).hidden)
                    captions << form.cxGridProject()->model().columnCaption(column);
            return captions;
        };
        {
            shell::TAboutForm about;
            shell::TMainForm form(&about);
            form.resize(1000, 600);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            grid::GridViewModel& model = form.cxGridProject()->model();
            grid::GridView& view = form.cxGridProject()->view();
            for (const char* project : {"CLIN", "TWNT", "CLIN", "TWNT"}) {
                answerPicker(project);
                form.menuAction(Command::Open)->trigger();
                QVERIFY2(m_boxes.isEmpty(), m_boxes.isEmpty() ? "" : qPrintable(std::get<2>(m_boxes[0])));
                QTRY_VERIFY(model.allRowsPresent());
                QApplication::processEvents();
                const QFontMetrics metrics(view.font());
                for (const char* field : {"ActivityID", "OriginalDuration", "RemainingDuration", "PercentComplete",
                                          "EarlyStart", "EarlyFinish"}) {
                    const int id = model.columnIdOfField(field);
                    if (!model.column(id).visible)
                        continue;
                    const int width = model.columnWidth(id);
                    QVERIFY2(view.captionWidth(id) <= width, qPrintable(QString("%1 %2").arg(project, field)));
                    for (int row = 0; row < model.rowCount(); ++row) {
                        const QString text = model.displayText(row, id);
                        QVERIFY2(metrics.horizontalAdvance(text) < width,
                                 qPrintable(QString("%1 %2 '%3' in %4 px").arg(project, field, text).arg(width)));
                    }
                }
                QCOMPARE(model.focusedRow(), 0);
                QCOMPARE(view.firstVisibleRow(), 0);
                QCOMPARE(form.store().taActivities.currentRow(), model.tableRow(0));
            }
            captionsAfterImport = codeCaptions(form);
            fieldsAfterImport = form.dataFieldList().captions();
            QCOMPARE(captionsAfterImport.size(), 20);
            QCOMPARE(fieldsAfterImport.size(), 27 + 20);
        }
        // The next run: the same names, from pdb.mdb alone.
        shell::TAboutForm about;
        shell::TMainForm form(&about);
        QCOMPARE(codeCaptions(form), captionsAfterImport);
        QCOMPARE(form.dataFieldList().captions(), fieldsAfterImport);
        QVERIFY(m_boxes.isEmpty());
    }

    void importWithFilterFromTheWindow()
    {
        orvane::testing::TempWorkDir work;
        shell::TAboutForm about;
        shell::TMainForm form(&about);
        answerPicker("CLIN", " ", true);
        onNextModal([](QWidget* w) {
            auto* dlg = static_cast<TFilterDlg*>(w);
            QCOMPARE(dlg->ListBox1->count(), 4);
            for (int i = 0; i < dlg->ListBox1->count(); ++i)
                if (dlg->ListBox1->item(i)->text().startsWith("EL - "))
                    dlg->ListBox1->setCurrentRow(i);
            dlg->bOk->click();
        }, "orvane::p3link::TFilterDlg");
        form.toolAction(Command::Open)->trigger();
        QVERIFY2(m_boxes.isEmpty(), m_boxes.isEmpty() ? "" : qPrintable(std::get<2>(m_boxes[0])));
        QVERIFY(form.FActivityCount > 0 && form.FActivityCount < 305);
        form.store().taActivities.fetchAll();
        QCOMPARE(form.store().taActivities.rowCount(), form.FActivityCount);
    }

    // An import while the grid's filter is on: the filter applies to the new
    // rows, so the grid, the export, a bulk command and the editor's moves
    // all see the rows the filter text selects; the panel names the
    // project's code captions.
    void importKeepsTheGridFilterOn()
    {
        orvane::testing::TempWorkDir work;
        shell::TAboutForm about;
        shell::TMainForm form(&about);
        form.show();
        filter::GridFilterLink& filter = *form.gridFilter();
        const int area = store::kFirstCodeColumn;
        {
            filter::FilterChangeLock lock(filter.criteria());
            filter.criteria().SetActive(true);
            filter.criteria().AddCondition(nullptr, area, filter::foEqual, "SITE", QStringLiteral("SITE"));
        }
        store::ActivityTable& table = form.store().taActivities;
        QVERIFY(table.filtered());
        const QString filterText = table.filter();

        answerPicker("CLIN");
        form.toolAction(Command::Open)->trigger();
        QVERIFY2(m_boxes.isEmpty(), m_boxes.isEmpty() ? "" : qPrintable(std::get<2>(m_boxes[0])));
        QCOMPARE(form.FActivityCount, 305);
        table.fetchAll();
        QCOMPARE(table.filter(), filterText);
        QVERIFY(table.filtered());

        // The rows the filter text selects, read straight from the file.
        store::ActivityStore reader;
        reader.ADOCon.open();
        reader.taActivities.open();
        reader.taActivities.setFilter(filterText);
        reader.taActivities.setFiltered(true);
        reader.taActivities.fetchAll();
        QSet<QString> selected;
        for (int row = 0; row < reader.taActivities.rowCount(); ++row)
            selected << reader.taActivities.value(row, store::kActivityIdColumn).toString();
        QVERIFY(selected.size() > 0 && selected.size() < 305);

        // The grid.
        grid::GridViewModel& model = form.cxGridProject()->model();
        QSet<QString> inGrid;
        for (int row = 0; row < model.rowCount(); ++row)
            inGrid << model.value(row, store::kActivityIdColumn).toString();
        QCOMPARE(inGrid, selected);
        QCOMPARE(model.rowCount(), selected.size());
        // The panel, with the caption the import gave the code column.
        QVERIFY(!filter.panel()->isHidden());
        QCOMPARE(filter.panel()->textLabel()->text(), QString("( AREA = SITE)"));
        screenshot(form, "imported-filtered");

        // The export.
        const exporting::ExportResult exported =
            exporting::ExportGridAsWorkbook(work.file("filtered.xls"), &model);
        QCOMPARE(exported.recordsExported, selected.size());

        // The editor's moves (Ctrl+Down runs the table's next()).
        QSet<QString> walked;
        table.first();
        while (!table.eof()) {
            walked << table.fieldValue(store::kActivityIdColumn).toString();
            table.next();
        }
        QCOMPARE(walked, selected);

        // A bulk command: the description into Log#99, on exactly those rows.
        auto rowsWithLog99 = [&reader] {
            reader.taActivities.setFilter("([Log#99] <> NULL)");
            reader.taActivities.requery();
            reader.taActivities.fetchAll();
            QSet<QString> ids;
            for (int row = 0; row < reader.taActivities.rowCount(); ++row)
                ids << reader.taActivities.value(row, store::kActivityIdColumn).toString();
            return ids;
        };
        orvane::testing::execRaw("UPDATE P3Data SET [Log#99] = NULL");
        QVERIFY(rowsWithLog99().isEmpty());
        logedit::TFormAct2Log* dialog = form.FormAct2Log();
        dialog->RadioButton1->setChecked(true);
        dialog->SpinEdit1->setValue(99);
        onNextModal([dialog](QWidget*) { dialog->OkBtn->click(); }, "orvane::logedit::TFormAct2Log");
        form.toolAction(Command::Act2Log)->trigger();
        QVERIFY2(m_boxes.isEmpty(), m_boxes.isEmpty() ? "" : qPrintable(std::get<2>(m_boxes[0])));
        QCOMPARE(rowsWithLog99(), selected);
    }

#ifdef ORVANE_BATCH
    // The window on TWNT after a bulk command; another program imports CLIN
    // into the same file; then Ctrl+Z. The step belongs to TWNT's rows, whose
    // rowids CLIN's rows now hold: it is refused, CLIN's rows stay as that
    // import wrote them, and the window shows them, with "Save" on CLIN.
    void undoAfterAnotherProgramsImportIsRefused()
    {
        orvane::testing::TempWorkDir work;
        shell::TAboutForm about;
        shell::TMainForm form(&about);
        form.show();
        answerPicker("TWNT");
        form.toolAction(Command::Open)->trigger();
        QVERIFY2(m_boxes.isEmpty(), m_boxes.isEmpty() ? "" : qPrintable(std::get<2>(m_boxes[0])));
        store::ActivityTable& table = form.store().taActivities;
        table.fetchAll();
        QCOMPARE(table.rowCount(), 8);

        // "Description to Log #" 3, typed and clicked as a user does.
        logedit::TFormAct2Log* dialog = form.FormAct2Log();
        onNextModal([dialog](QWidget*) {
            QTest::mouseClick(dialog->RadioButton1, Qt::LeftButton);
            dialog->SpinEdit1->setFocus();
            QTest::keyClick(dialog->SpinEdit1, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(dialog->SpinEdit1, "3");
            QTest::mouseClick(dialog->OkBtn, Qt::LeftButton);
        }, "orvane::logedit::TFormAct2Log");
        form.toolAction(Command::Act2Log)->trigger();
        QVERIFY2(m_boxes.isEmpty(), m_boxes.isEmpty() ? "" : qPrintable(std::get<2>(m_boxes[0])));
        QCOMPARE(orvane::testing::readValue(table.value(0, 0).toString(), "Log#3"), table.value(0, 1));
        QVERIFY(form.menuAction(Command::Undo)->isEnabled());

        qputenv("P3SIM_PROJECTS", m_projects.toLocal8Bit());
        const auto imported = orvane::testing::runProgram(
            QStringLiteral(ORVANE_BATCH), {"import", "--discard-changes", "--p3-path", m_projects, "--project", "CLIN", "--user",
                                           "PLANNER", "--password", "SCHEDULE"});
        qunsetenv("P3SIM_PROJECTS");
        QVERIFY2(imported.exitCode == 0, qPrintable(imported.err));
        const QStringList clin = orvane::testing::dumpTable();
        QCOMPARE(clin.size(), 305);

        // The bulk-command dialog closed; the keys go to the main window again.
        form.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(&form));
        QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(std::get<2>(m_boxes[0]),
                 QString("The table was replaced by an import since this step; it cannot be undone."));
        QCOMPARE(orvane::testing::dumpTable(), clin);
        table.fetchAll();
        QCOMPARE(table.rowCount(), 305);
        QCOMPARE(table.value(0, store::kActivityIdColumn).toString(), QString("A1000"));
        QCOMPARE(form.cxGridProject()->model().rowCount(), 305);
        QCOMPARE(form.windowTitle(), QString("Orvane - CLIN "));
        QCOMPARE(CurrentProjectGroup, QString("CLIN"));
        QVERIFY(form.statusPanel(2)->text().contains("Another program imported CLIN"));
        QVERIFY(!form.menuAction(Command::Undo)->isEnabled());
    }
#endif

    void badP3PathEndsTheOperation()
    {
        orvane::testing::TempWorkDir work;
        shell::TAboutForm about;
        shell::TMainForm form(&about);
        const QString missing = m_temp.filePath("no-such-folder");
        p3sim::control().settings.projectsFolder = missing;
        form.toolAction(Command::SaveTo)->trigger();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(std::get<2>(m_boxes[0]), "Error setting path: \"" + missing + "\"");
        QVERIFY(Session.isNull());
        QCOMPARE(p3sim::control().callCount("Logout"), 1);
        QCOMPARE(p3sim::control().callCount("OpenProject"), 0);
    }

    // Two planners: a colleague changes TWNT in P3 after the import while
    // the user types in the grid. The marks and the count show the user's
    // edits, a re-import asks first, the save keeps the colleague's texts
    // and offers the conflict, and the review window reverts an edit.
    void twoPlannersInTheWindow()
    {
        orvane::testing::TempWorkDir work;
        shell::TAboutForm about;
        shell::TMainForm form(&about);
        form.resize(1200, 700);
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        answerPicker("TWNT");
        form.menuAction(Command::Open)->trigger();
        store::ActivityTable& table = form.store().taActivities;
        table.fetchAll();
        grid::GridView& view = form.cxGridProject()->view();
        grid::GridViewModel& model = form.cxGridProject()->model();
        const auto viewRowOf = [&](const QString& id) {
            for (int v = 0; v < model.rowCount(); ++v)
                if (model.displayText(v, 0) == id)
                    return v;
            return -1;
        };
        const auto typeInto = [&](const QString& id, int column, const QString& text) {
            // Back in the main window after a dialog closed.
            QApplication::setActiveWindow(&form);
            const int row = viewRowOf(id);
            view.ensureVisible(row, column);
            QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cellRect(row, column).center());
            QTest::keyClicks(&view, text);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        };

        // The call log holds this process's copy of the project: let go of
        // it, so P3 reads the colleague's file.
        p3sim::control().clearCalls();
        p3sim::flushAll();
        editProjectLogs(m_projects + "/TWNT.activities.jsonl", {{"T020", 1, "Colleague: week 48"},
                                                                {"T030", 3, "Colleague: rejected"}});
        typeInto("T030", store::logColumn(3), "Mine: approved");
        typeInto("T050", store::logColumn(2), "Mine: crane");
        QCOMPARE(form.changesPanel()->text(), QString("2 activities with unsaved changes"));
        QVERIFY(model.isChangedCell(viewRowOf("T030"), store::logColumn(3)));
        QVERIFY(!model.isChangedCell(viewRowOf("T030"), store::logColumn(4)));
        QVERIFY(!model.isChangedCell(viewRowOf("T020"), store::logColumn(1)));
        // The mark is drawn in the cell's corner, and only in changed cells.
        view.ensureVisible(viewRowOf("T030"), store::logColumn(3));
        const QImage shot = view.viewport()->grab().toImage();
        const QPoint marked = view.cellRect(viewRowOf("T030"), store::logColumn(3)).topLeft() + QPoint(1, 1);
        const QPoint plain = view.cellRect(viewRowOf("T020"), store::logColumn(3)).topLeft() + QPoint(1, 1);
        QVERIFY(QColor(shot.pixel(marked)).red() > 200 && QColor(shot.pixel(marked)).blue() < 100);
        QVERIFY(QColor(shot.pixel(plain)).blue() > 150);
        screenshot(form, "marks");

        // "Get logs from P3..." asks first; No changes nothing.
        bool asked = false;
        onNextModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            asked = true;
            QCOMPARE(box->text(), QString("2 activities have changes that were not saved to P3. "
                                          "Import anyway and drop them?"));
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
            QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
        });
        form.menuAction(Command::Open)->trigger();
        QVERIFY(asked);
        QCOMPARE(orvane::testing::readValue("T030", "Log#3").toString(), QString("Mine: approved"));
        QCOMPARE(p3sim::control().callCount("CurrentUser"), 0);   // P3 is not even asked

        // Save: the conflict is offered; the user keeps P3's text.
        QStringList conflictRows;
        onNextModal([&](QWidget* w) {
            auto* list = w->findChild<QTableWidget*>("TextList");
            QVERIFY(list);
            for (int r = 0; r < list->rowCount(); ++r)
                conflictRows << list->item(r, 0)->text() + " " + list->item(r, 1)->text();
            screenshot(*w, "conflicts");
            for (QPushButton* b : w->findChildren<QPushButton*>())
                if (b->text() == "Keep P3's text")
                    QTest::mouseClick(b, Qt::LeftButton);
        }, "orvane::shell::TextListDialog");
        form.toolAction(Command::Save)->trigger();
        QCOMPARE(conflictRows, QStringList{"T030 Log#3"});
        QCOMPARE(model.displayText(viewRowOf("T020"), store::logColumn(1)), QString("Colleague: week 48"));
        QCOMPARE(model.displayText(viewRowOf("T030"), store::logColumn(3)), QString("Colleague: rejected"));
        QCOMPARE(form.changesPanel()->text(), QString());
        screenshot(form, "saved-merged");

        // Review changes: an edit reverted, and Undo brings it back.
        typeInto("T010", store::logColumn(1), "Typed by mistake");
        int listed = 0;
        onNextModal([&](QWidget* w) {
            auto* list = w->findChild<QTableWidget*>("TextList");
            listed = list->rowCount();
            QCOMPARE(list->item(0, 3)->text(), QString("Typed by mistake"));
            screenshot(*w, "review");
            for (QPushButton* b : w->findChildren<QPushButton*>())
                if (b->text() == "Revert")
                    QTest::mouseClick(b, Qt::LeftButton);
            QCOMPARE(list->rowCount(), 0);
            static_cast<QDialog*>(w)->reject();
        }, "orvane::shell::TextListDialog");
        form.menuAction(Command::Review)->trigger();
        QCOMPARE(listed, 1);
        QVERIFY(orvane::testing::readValue("T010", "Log#1").toString() != QString("Typed by mistake"));
        QCOMPARE(form.changesPanel()->text(), QString());
        QApplication::setActiveWindow(&form);
        QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(orvane::testing::readValue("T010", "Log#1").toString(), QString("Typed by mistake"));
        QCOMPARE(form.changesPanel()->text(), QString("1 activity with unsaved changes"));
    }

    void listingErrorEndsTheImport()
    {
        orvane::testing::TempWorkDir work;
        shell::TAboutForm about;
        shell::TMainForm form(&about);
        p3sim::control().failOn("ProjectAbstracts", 1, "Listing refused");
        form.toolAction(Command::Open)->trigger();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(std::get<2>(m_boxes[0]), QString("Listing refused."));
        QVERIFY(Session.isNull());
        QCOMPARE(p3sim::control().callCount("Logout"), 1);
    }
};

QTEST_MAIN(P3WindowTest)
#include "P3WindowTest.moc"
