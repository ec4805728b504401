#pragma once
// The main window: cool bar with the menu tool bar and the command tool bar,
// the activity grid, the progress bar and the two-panel status bar. Every
// command runs through the common guard (ErrorBox.h).

#include "shell/CommandTable.h"
#include "store/ActivityStore.h"

#include <QMainWindow>
#include <QMap>

class QAction;
class QLabel;
class QProgressBar;
class QToolBar;

namespace orvane::grid {
class ActivityGrid;
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

    // State kept for the life of the process (the user name also between runs).
    QString FP3User;
    QString FP3Password;
    int FActivityCount = 0;

    // The actions of the command table, by command: the menu item and the
    // tool button (either may be null).
    QAction* menuAction(Command command) const { return m_menuActions.value(command); }
    QAction* toolAction(Command command) const { return m_toolActions.value(command); }
    void setCommandEnabled(Command command, bool enabled);

    QToolBar* tbarMenu() const { return m_tbarMenu; }
    QToolBar* tbarMain() const { return m_tbarMain; }
    QProgressBar* ProgressBar1() const { return m_progressBar; }
    QLabel* statusPanel(int index) const { return index == 0 ? m_statusPanel0 : m_statusPanel1; }

    void ClearTable() { m_store.ClearTable(); }

    // Handlers of the command table.
    void mExitClick();
    void mDocsClick();
    void mWebClick();
    void mAboutClick();
    void mCustClick();

    // The activity grid (cxGridProject) and its view model.
    grid::ActivityGrid* cxGridProject() const { return m_grid; }

    static QString homePageAddress();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void buildCommandBars();
    QWidget* createGridArea();
    void runCommand(Command command);

    store::ActivityStore m_store;
    TAboutForm* m_aboutForm;
    QToolBar* m_tbarMenu = nullptr;
    QToolBar* m_tbarMain = nullptr;
    QProgressBar* m_progressBar = nullptr;
    grid::ActivityGrid* m_grid = nullptr;
    QLabel* m_statusPanel0 = nullptr;
    QLabel* m_statusPanel1 = nullptr;
    QMap<Command, QAction*> m_menuActions;
    QMap<Command, QAction*> m_toolActions;
};

} // namespace orvane::shell
