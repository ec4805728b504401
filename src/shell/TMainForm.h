#pragma once
// The main window: cool bar with the menu tool bar and the command tool bar,
// the activity grid, the progress bar and the two-panel status bar. Every
// command runs through the common guard (ErrorBox.h).

#include "p3link/P3Operations.h"
#include "p3link/P3Session.h"
#include "shell/CommandTable.h"
#include "store/ActivityStore.h"
#include "store/DataFieldList.h"
#include "workbook/WorkbookUpdate.h"

#include <QMainWindow>

#include <functional>
#include <QMap>

#include <memory>

class QAction;
class QDialog;
class QFileDialog;
class QLabel;
class QProgressBar;
class QToolBar;

namespace orvane::grid {
class ActivityGrid;
}

namespace orvane::p3link {
class TFilterDlg;
class TP3OpenDlg;
}

namespace orvane::filter {
class GridFilterLink;
}

namespace orvane::logedit {
class TForm2Log;
class TFormAct2Log;
class TFormAD2Log;
class TMultyLogDlg;
}

namespace orvane::shell {

class TAboutForm;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Opens the local database while it is built (failures go to the error
    // box and start-up continues), then runs FormCreate.
    explicit TMainForm(TAboutForm* aboutForm, QWidget* parent = nullptr);
    ~TMainForm() override;

    store::ActivityStore& store() { return m_store; }

    // State kept for the life of the process (the user name also between
    // runs). The P3 sign-in updates the credentials through FP3Credentials.
    p3link::P3Credentials FP3Credentials;
    QString& FP3User = FP3Credentials.user;
    QString& FP3Password = FP3Credentials.password;
    int FActivityCount = 0;

    // The project and filter pickers, created once after the main window.
    p3link::TP3OpenDlg* P3OpenDlg() const { return m_openDlg; }
    p3link::TFilterDlg* FilterDlg() const { return m_filterDlg; }
    // Creates the pickers (start-up order: after the main window).
    void createPickers();
    // The data-field list of the "Activity data => Log" command; the import
    // refills it.
    store::DataFieldList& dataFieldList() { return m_dataFields; }

    // The actions of the command table, by command: the menu item and the
    // tool button (either may be null).
    QAction* menuAction(Command command) const { return m_menuActions.value(command); }
    QAction* toolAction(Command command) const { return m_toolActions.value(command); }

    QToolBar* tbarMenu() const { return m_tbarMenu; }
    QToolBar* tbarMain() const { return m_tbarMain; }
    QProgressBar* ProgressBar1() const { return m_progressBar; }
    QLabel* statusPanel(int index) const
    {
        return index == 0 ? m_statusPanel0 : index == 1 ? m_statusPanel1 : m_statusPanel2;
    }

    void ClearTable() { m_store.ClearTable(); }

    // Handlers of the command table.
    void mExitClick();
    void mDocsClick();
    void mWebClick();
    void mAboutClick();
    void mCustClick();
    void tbtnOpenClick();
    void tbtnSaveClick();
    void tbtnSaveToClick();
    void tbtnLog2LogClick();
    void tbtnAct2LogClick();
    void mAD2LogClick();
    void mMultyLogClick();
    void m2ExcellClick();

    // Asks for the workbook's file name (empty: cancelled). The save dialog
    // by default; tests put their own answer here.
    std::function<QString()> askExportFileName;

    // "Get logs from workbook..." and Edit > Undo.
    void mFromWorkbookClick();
    void mUndoClick();
    // The workbook to read (empty: cancelled) and the answer to its preview;
    // an open dialog and a message box by default, tests answer here.
    std::function<QString()> askWorkbookFileName;
    std::function<bool(const QStringList& preview, const std::vector<workbook::CellChange>& changes)>
        confirmWorkbookUpdate;

    // What changed since the import: Edit > "Review changes..." and File >
    // "Compare with P3...". The status bar's changes panel counts the
    // activities with unsaved changes.
    void mReviewClick();
    void mCompareClick();
    QLabel* changesPanel() const { return m_changesPanel; }

    // The bulk-command dialogs, created once after the pickers.
    logedit::TForm2Log* Form2Log() const { return m_form2Log; }
    logedit::TFormAct2Log* FormAct2Log() const { return m_formAct2Log; }
    logedit::TFormAD2Log* FormAD2Log() const { return m_formAD2Log; }
    void createLogEditDialogs();
    // The multi-line log editor. It is created before the main window and
    // handed over here; without one, the first use creates it.
    void setMultyLogDlg(logedit::TMultyLogDlg* dialog);
    logedit::TMultyLogDlg* MultyLogDlg();
    // The editor's data work: load the current row, write the text box into
    // it, and follow the table's current row while the editor is shown.
    void LoadMultiLogRow();
    void ApplyMultiLog();
    void taActivitiesAfterScroll();

    // The activity grid (cxGridProject) and its view model.
    grid::ActivityGrid* cxGridProject() const { return m_grid; }
    // The grid's row filter (criteria, drop-downs, dialogs, panel).
    filter::GridFilterLink* gridFilter() const { return m_gridFilter; }

    static QString homePageAddress();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void openDatabaseAtStartup();
    void showKeptCodeNames();
    QString askExportFileNameWithDialog();
    void FormClose();
    void buildCommandBars();
    void enableUndo();
    void addKeyboardAccess();
    QWidget* createGridArea();
    void runCommand(Command command);
    // Re-reads the table when another program's import replaced its rows
    // since they were read; every command starts with it.
    void followOtherProgramsImport();
    // Runs one bulk-command dialog and, on OK, its statement.
    void runBulkDialog(QDialog* dialog, const std::function<QString()>& statement);
    // A save with `options` into the current or a chosen project; its
    // conflicts are then offered for a choice.
    void saveLogs(p3link::SaveTarget target, const p3link::WriteBackOptions& options = {});
    // The marks of changed texts and the count in the status bar.
    void enableChangeMarks();
    // Shows what a command did in the third status panel.
    void showCommandResult(const QString& text);

    store::ActivityStore m_store;
    TAboutForm* m_aboutForm;
    QFileDialog* m_saveDialog = nullptr;
    QToolBar* m_tbarMenu = nullptr;
    QToolBar* m_tbarMain = nullptr;
    QProgressBar* m_progressBar = nullptr;
    grid::ActivityGrid* m_grid = nullptr;
    filter::GridFilterLink* m_gridFilter = nullptr;
    QLabel* m_statusPanel0 = nullptr;
    QLabel* m_statusPanel1 = nullptr;
    QLabel* m_statusPanel2 = nullptr;   // what the last bulk command, Apply or export did
    QLabel* m_changesPanel = nullptr;   // activities with unsaved changes
    QMap<Command, QAction*> m_menuActions;
    QMap<Command, QAction*> m_toolActions;
    store::DataFieldList m_dataFields;
    p3link::TP3OpenDlg* m_openDlg = nullptr;
    p3link::TFilterDlg* m_filterDlg = nullptr;
    logedit::TForm2Log* m_form2Log = nullptr;
    logedit::TFormAct2Log* m_formAct2Log = nullptr;
    logedit::TFormAD2Log* m_formAD2Log = nullptr;
    logedit::TMultyLogDlg* m_multyLogDlg = nullptr;
    std::unique_ptr<logedit::TMultyLogDlg> m_ownMultyLogDlg;
    bool m_multyLogPlaced = false;
};

} // namespace orvane::shell
