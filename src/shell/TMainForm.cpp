#include "shell/TMainForm.h"

#include "common/Errors.h"
#include "export/ExportCellStyle.h"
#include "export/GridExport.h"
#include "export/XLSExportProvider.h"
#include "filter/GridFilter.h"
#include "grid/ActivityGrid.h"
#include "grid/BusyCursor.h"
#include "grid/GridView.h"
#include "logedit/BulkCommands.h"
#include "logedit/DialogFrame.h"
#include "logedit/MultiLogLines.h"
#include "logedit/TForm2Log.h"
#include "logedit/TFormAct2Log.h"
#include "logedit/TFormAD2Log.h"
#include "logedit/TMultyLogDlg.h"
#include "p3link/LoginDialog.h"
#include "p3link/P3Operations.h"
#include "p3link/ProjectPickers.h"
#include "p3link/WindowOperationView.h"
#include "shell/ChangeCommands.h"
#include "shell/ErrorBox.h"
#include "shell/HelpDocument.h"
#include "shell/TAboutForm.h"
#include "shell/ToolBarPictures.h"
#include "shell/UserSetting.h"
#include "shell/WorkbookCommands.h"
#include "store/CodeNames.h"
#include "store/DatabaseFile.h"
#include "store/TableImport.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace orvane::shell {

namespace {

QFont tahoma8()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    return font;
}

} // namespace

TMainForm::TMainForm(TAboutForm* aboutForm, QWidget* parent)
    : QMainWindow(parent), m_aboutForm(aboutForm)
{
    setObjectName(QStringLiteral("TMainForm"));
    setWindowTitle(QStringLiteral("Orvane"));
    setGeometry(148, 103, 802, 600);

    // The window's components: the database objects first, as they are
    // loaded with the window; their failures do not stop start-up. Their
    // boxes carry the window's title like every later error.
    setApplicationTitle(windowTitle());
    openDatabaseAtStartup();

    buildCommandBars();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createGridArea(), 1);
    m_progressBar = new QProgressBar(central);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setFixedHeight(10);
    m_progressBar->setTextVisible(false);
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    layout->addWidget(m_progressBar);
    setCentralWidget(central);

    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setFixedHeight(19);
    bar->setSizeGripEnabled(true);
    m_statusPanel0 = new QLabel(bar);
    m_statusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    m_statusPanel0->setFixedWidth(150);
    m_statusPanel1 = new QLabel(bar);
    m_statusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    // A third panel tells what the last bulk command, Apply or export did;
    // panels 0 and 1 keep their meaning (the P3 operation, the folder).
    m_statusPanel2 = new QLabel(bar);
    m_statusPanel2->setObjectName(QStringLiteral("StatusPanel2"));
    bar->addWidget(m_statusPanel0);
    bar->addWidget(m_statusPanel1, 1);
    m_changesPanel = new QLabel(bar);
    m_changesPanel->setObjectName(QStringLiteral("StatusPanelChanges"));
    bar->addPermanentWidget(m_changesPanel);
    bar->addPermanentWidget(m_statusPanel2);
    setStatusBar(bar);

    FormCreate();
    // The windows that follow the main window at start, in their order: the
    // project picker, the three bulk-command dialogs, the filter picker.
    m_openDlg = new p3link::TP3OpenDlg(this);
    createLogEditDialogs();
    createPickers();
    connect(&m_store.taActivities, &store::ActivityTable::afterScroll, this, &TMainForm::taActivitiesAfterScroll);
    enableUndo();
    enableChangeMarks();
    addKeyboardAccess();
    showKeptCodeNames();
}

void TMainForm::showKeptCodeNames()
{
    // The code names of the project the table holds, as its import showed
    // them; a file without kept names keeps the default captions.
    if (!m_store.taActivities.isActive())
        return;
    std::optional<QStringList> names;
    runGuarded([&] { names = store::readCodeNames(m_store.ADOCon); });
    if (!names)
        return;
    p3link::WindowParts parts;
    parts.window = this;
    parts.grid = &m_grid->model();
    parts.table = &m_store.taActivities;
    p3link::WindowOperationView view(parts);
    p3link::showKeptCodeNames(*names, view, &m_dataFields);
}

TMainForm::~TMainForm() = default;

void TMainForm::openDatabaseAtStartup()
{
    // A missing file is one question: the user may have Orvane make an
    // empty database here; No leaves the window without a table, as before.
    bool create = false;
    m_store.openAtStartup([this, &create](const QString& message) {
        if (QFileInfo::exists(QDir::current().absoluteFilePath(m_store.ADOCon.fileName())))
            showErrorBox(message);
        else
            create = askYesNo(errorBoxText(message) + QStringLiteral("\n\nCreate an empty pdb.mdb here?"));
    });
    if (!create)
        return;
    runGuarded([this] { store::createActivityDatabase(QDir::current().absoluteFilePath(m_store.ADOCon.fileName())); });
    m_store.openAtStartup([](const QString& message) { showErrorBox(message); });
}

void TMainForm::createPickers()
{
    if (!m_openDlg)
        m_openDlg = new p3link::TP3OpenDlg(this);
    if (!m_filterDlg)
        m_filterDlg = new p3link::TFilterDlg(this);
}

namespace {

// Runs one P3 operation with the window's pickers, login dialog and view.
template <class Operation>
void runP3Operation(TMainForm& form, Operation&& operation)
{
    form.createPickers();
    p3link::DialogLoginPrompt prompt(&form);
    p3link::DialogProjectChooser chooser(*form.P3OpenDlg(), *form.FilterDlg());
    grid::ActivityGrid* grid = form.cxGridProject();
    p3link::WindowOperationView view({&form, form.ProgressBar1(), form.statusPanel(0), form.statusPanel(1),
                                      &grid->model(), &form.store().taActivities,
                                      [](const QStringList& lines) { showErrorList(lines.join(QLatin1Char('\n'))); },
                                      [](const QString& text) { showInformation(text); },
                                      [&form](int count) { form.FActivityCount = count; }});
    p3link::OperationContext context{form.store(),
                                     form.FP3Credentials,
                                     &prompt,
                                     chooser,
                                     view,
                                     {p3link::CurrentProjectGroup, p3link::CurrentProjectName},
                                     &form.dataFieldList()};
    operation(context);
}

} // namespace

// An edit still open in the grid or the table belongs to the table as it is now.
static void postPendingEdit(grid::ActivityGrid* grid, store::ActivityTable& table);

void TMainForm::tbtnOpenClick()
{
    postPendingEdit(m_grid, m_store.taActivities);
    bool imported = false;
    runP3Operation(*this, [&imported](p3link::OperationContext& c) {
        const p3link::ImportResult result = p3link::importProject(c);
        imported = result.announced > 0 || result.imported > 0;
    });
    // Another project's values: the columns are fitted to them as at start,
    // and the grid opens on its first row, not on the first one imported.
    if (imported) {
        m_grid->fitStartColumnsOnNewRows();
        m_grid->showFirstRow();
    }
}

static void postPendingEdit(grid::ActivityGrid* grid, store::ActivityTable& table)
{
    if (grid->view().isEditing())
        grid->view().commitEditing();
    if (table.state() == store::ActivityTable::State::Edit || table.state() == store::ActivityTable::State::Insert)
        table.post();
}

void TMainForm::tbtnSaveClick()
{
    saveLogs(p3link::SaveTarget::CurrentProject);
}

void TMainForm::tbtnSaveToClick()
{
    saveLogs(p3link::SaveTarget::ChosenProject);
}

void TMainForm::saveLogs(p3link::SaveTarget target, const p3link::WriteBackOptions& options)
{
    postPendingEdit(m_grid, m_store.taActivities);
    p3link::WriteBackResult result;
    runP3Operation(*this, [&](p3link::OperationContext& c) { result = p3link::writeBackLogs(c, target, options); });
    if (result.conflicts.empty() || options.overwrite)
        return;
    resolveConflicts(m_store, result.conflicts, this, [this](const std::vector<p3link::SavedText>& chosen) {
        QSet<QString> keys;
        for (const p3link::SavedText& conflict : chosen)
            keys.insert(conflict.activityId + QLatin1Char('\t') + QString::number(conflict.field));
        p3link::WriteBackOptions overwrite;
        overwrite.overwrite = [keys](const QString& id, int field) {
            return keys.contains(id + QLatin1Char('\t') + QString::number(field));
        };
        // The project the save just wrote into, whichever way it was chosen.
        saveLogs(p3link::SaveTarget::CurrentProject, overwrite);
    });
}

void TMainForm::mReviewClick()
{
    postPendingEdit(m_grid, m_store.taActivities);
    const QString status = reviewChanges(m_store, this);
    if (!status.isEmpty())
        showCommandResult(status);
}

void TMainForm::mCompareClick()
{
    postPendingEdit(m_grid, m_store.taActivities);
    // A comparison changes nothing, not even which project "Save" targets.
    const QString group = p3link::CurrentProjectGroup;
    const QString name = p3link::CurrentProjectName;
    struct RestoreIdentity {
        QString group, name;
        ~RestoreIdentity()
        {
            p3link::CurrentProjectGroup = group;
            p3link::CurrentProjectName = name;
        }
    } restore{group, name};
    p3link::WriteBackOptions dryRun;
    dryRun.dryRun = true;
    p3link::WriteBackResult result;
    runP3Operation(*this, [&](p3link::OperationContext& c) {
        result = p3link::writeBackLogs(c, group.isEmpty() ? p3link::SaveTarget::ChosenProject
                                                           : p3link::SaveTarget::CurrentProject,
                                       dryRun);
    });
    if (result.started)
        showComparison(result, this);
}

void TMainForm::enableChangeMarks()
{
    m_store.changes.setEnabled(true);
    m_grid->model().setChangeMarks(&m_store.changes);
    const auto follow = [this] {
        const int count = m_store.changes.changedRowCount();
        m_changesPanel->setText(count == 0   ? QString()
                                : count == 1 ? QStringLiteral("1 activity with unsaved changes")
                                             : QStringLiteral("%1 activities with unsaved changes").arg(count));
        m_grid->view().viewport()->update();
    };
    connect(&m_store.changes, &store::ChangeMarks::marksChanged, this, follow);
    follow();
}

void TMainForm::createLogEditDialogs()
{
    if (!m_form2Log)
        m_form2Log = new logedit::TForm2Log(this);
    if (!m_formAct2Log)
        m_formAct2Log = new logedit::TFormAct2Log(this);
    if (!m_formAD2Log)
        m_formAD2Log = new logedit::TFormAD2Log(m_dataFields, this);
}

// The bulk commands: a modal dialog gives the numbers, one statement
// rewrites the column in every (filtered) row, and the table is re-read
// however the statement ends. Cancel changes and re-reads nothing. The user
// is told what the statement did and to how many rows.
void TMainForm::runBulkDialog(QDialog* dialog, const std::function<QString()>& statement)
{
    m_store.ADOCon.writableHandle();   // refused before any number is asked for
    createLogEditDialogs();
    logedit::centreOn(dialog, this);
    if (dialog->exec() != QDialog::Accepted)
        return;
    const QString text = statement();
    grid::BusyCursor busy;
    // The dialog is gone from the screen and the busy cursor shows before
    // the statement runs, not after it.
    QGuiApplication::sync();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const int rows = logedit::runBulkStatement(m_store, text);
    showCommandResult(logedit::bulkFeedback(text, rows));
}

void TMainForm::tbtnLog2LogClick()
{
    createLogEditDialogs();
    runBulkDialog(m_form2Log, [this] { return m_form2Log->statement(); });
}

void TMainForm::tbtnAct2LogClick()
{
    createLogEditDialogs();
    runBulkDialog(m_formAct2Log, [this] { return m_formAct2Log->statement(); });
}

void TMainForm::mAD2LogClick()
{
    createLogEditDialogs();
    runBulkDialog(m_formAD2Log, [this] { return m_formAD2Log->statement(); });
}

void TMainForm::showCommandResult(const QString& text)
{
    m_statusPanel2->setText(text);
    m_statusPanel2->setToolTip(text);
}

void TMainForm::setMultyLogDlg(logedit::TMultyLogDlg* dialog)
{
    m_multyLogDlg = dialog;
}

logedit::TMultyLogDlg* TMainForm::MultyLogDlg()
{
    if (!m_multyLogDlg) {
        m_ownMultyLogDlg = std::make_unique<logedit::TMultyLogDlg>();
        m_multyLogDlg = m_ownMultyLogDlg.get();
    }
    return m_multyLogDlg;
}

void TMainForm::mMultyLogClick()
{
    logedit::TMultyLogDlg* dialog = MultyLogDlg();
    if (dialog->isVisible()) {
        dialog->raise();
        dialog->activateWindow();
        return;
    }
    LoadMultiLogRow();
    // The callbacks run from the editor's own events, so each goes through
    // the common guard.
    dialog->FOnApply = [this] { runGuarded([this] { ApplyMultiLog(); }); };
    dialog->FOnPrior = [this] { runGuarded([this] { m_store.taActivities.prior(); }); };
    dialog->FOnNext = [this] { runGuarded([this] { m_store.taActivities.next(); }); };
    if (!m_multyLogPlaced) {
        logedit::centreOn(dialog, this);
        m_multyLogPlaced = true;
    }
    dialog->show();
}

void TMainForm::LoadMultiLogRow()
{
    const store::ActivityTable& table = m_store.taActivities;
    const bool hasRow = table.currentRow() >= 0;
    MultyLogDlg()->loadRow(hasRow ? table.fieldValue(store::kActivityIdColumn).toString() : QString(),
                           hasRow ? table.fieldValue(store::kDescriptionColumn).toString() : QString(),
                           logedit::readLogValues(table));
}

void TMainForm::ApplyMultiLog()
{
    // A refused or read-only table says so, even without a row to write.
    m_store.ADOCon.writableHandle();
    store::ActivityTable& table = m_store.taActivities;
    // No rows, or the last move forward found none: nothing to write into,
    // and the user is told so; the typed lines stay in the box.
    if (table.rowCount() == 0 || table.currentRow() < 0)
        throw OrvaneError(QStringLiteral("Nothing was applied: the table has no activities."));
    if (table.eof())
        throw OrvaneError(QStringLiteral("Nothing was applied: Ctrl+Down went past the last activity. "
                                         "Ctrl+Up goes back to it."));
    // A box that names no log number stops here, before anything changes.
    logedit::TMultyLogDlg* dialog = MultyLogDlg();
    const int first = dialog->rangeFirst();
    const int last = dialog->rangeLast();
    // The posted row refreshes only itself in the grid; smart refresh is
    // switched off again however the post ends.
    grid::GridViewModel& model = m_grid->model();
    model.setSmartRefresh(true);
    struct SmartRefreshOff {
        grid::GridViewModel& model;
        ~SmartRefreshOff() { model.setSmartRefresh(false); }
    } smartRefreshOff{model};
    grid::BusyCursor busy;
    const QString id = table.fieldValue(store::kActivityIdColumn).toString();
    store::UndoRecording recording(m_store.undo, QStringLiteral("multi-line edit"));
    const int written = logedit::writeLogLines(table, dialog->memoLines(), first, last, dialog->FLogValues);
    recording.finish();
    m_menuActions.value(Command::Undo)->setEnabled(m_store.undo.canUndo());
    // The box shows what the table now holds, so a wider range or a second
    // Apply starts from the logs just written.
    LoadMultiLogRow();
    showCommandResult(QStringLiteral("%1: Log#%2 to Log#%3 applied, %4 changed")
                          .arg(id)
                          .arg(first)
                          .arg(last)
                          .arg(written == 1 ? QStringLiteral("1 log") : QStringLiteral("%1 logs").arg(written)));
}

void TMainForm::taActivitiesAfterScroll()
{
    if (m_multyLogDlg && m_multyLogDlg->isVisible())
        LoadMultiLogRow();
}

QWidget* TMainForm::createGridArea()
{
    m_grid = new grid::ActivityGrid(m_store.taActivities, this);
    m_grid->fitStartColumnsOnFirstRows();
    // A refused cell edit (a read-only file, a value that does not fit) is
    // shown in the common error box like every other error.
    connect(&m_grid->view(), &grid::GridView::editError, this, [](const QString& message) { showErrorBox(message); });
    // The grid's row filter: its criteria, header drop-downs, dialogs and panel.
    m_gridFilter = new filter::GridFilterLink(m_grid->model(), m_store.taActivities, m_grid);
    m_gridFilter->setGuard([](const std::function<void()>& action) { runGuarded(action); });
    m_gridFilter->attach(*m_grid);
    return m_grid;
}

// Opens the grid's customization window on its "Columns" page; when it is
// open already only the page changes.
void TMainForm::mCustClick()
{
    m_grid->openCustomization(1);
}

void TMainForm::buildCommandBars()
{
    // The cool bar: the menu rendered as a flat tool bar above the command
    // tool bar; the window has no menu bar of its own.
    m_tbarMenu = new QToolBar(QStringLiteral("tbarMenu"), this);
    m_tbarMenu->setObjectName(QStringLiteral("tbarMenu"));
    m_tbarMenu->setMovable(false);
    m_tbarMenu->setFloatable(false);
    m_tbarMenu->setFont(tahoma8());
    m_tbarMenu->setToolButtonStyle(Qt::ToolButtonTextOnly);
    addToolBar(Qt::TopToolBarArea, m_tbarMenu);
    for (const MenuInfo& menuInfo : menuLayout()) {
        auto* menu = new QMenu(QString::fromUtf8(menuInfo.caption), this);
        menu->setObjectName(QStringLiteral("menu") + QString::fromUtf8(menuInfo.caption));
        for (const MenuEntry& entry : menuInfo.entries) {
            if (entry.separator) {
                menu->addSeparator();
                continue;
            }
            const CommandInfo& info = commandInfo(entry.command);
            QAction* action = menu->addAction(QString::fromUtf8(info.menuCaption));
            action->setObjectName(QString::fromUtf8(info.handler) + QStringLiteral("_menu"));
            connect(action, &QAction::triggered, this, [this, c = entry.command] { runCommand(c); });
            m_menuActions.insert(entry.command, action);
        }
        auto* button = new QToolButton(m_tbarMenu);
        button->setText(QString::fromUtf8(menuInfo.caption));
        button->setMenu(menu);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setAutoRaise(true);
        button->setMinimumSize(42, 21);
        button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
        m_tbarMenu->addWidget(button);
    }

    addToolBarBreak(Qt::TopToolBarArea);
    m_tbarMain = new QToolBar(QStringLiteral("tbarMain"), this);
    m_tbarMain->setObjectName(QStringLiteral("tbarMain"));
    m_tbarMain->setMovable(false);
    m_tbarMain->setFloatable(false);
    m_tbarMain->setIconSize(QSize(32, 32));
    m_tbarMain->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_tbarMain->setMinimumHeight(38);
    addToolBar(Qt::TopToolBarArea, m_tbarMain);
    const QVector<QPixmap> pictures = toolBarPictures();
    for (const MenuEntry& entry : toolBarLayout()) {
        if (entry.separator) {
            m_tbarMain->addSeparator();
            continue;
        }
        const CommandInfo& info = commandInfo(entry.command);
        const QString caption = QString::fromUtf8(info.toolCaption);
        // A lone "&" would become a mnemonic; the caption is shown as written.
        auto* action = new QAction(QIcon(pictures.value(info.picture)), QString(caption).replace(
                                       QLatin1String("&"), QLatin1String("&&")), this);
        action->setObjectName(QString::fromUtf8(info.handler));
        action->setToolTip(caption);
        action->setData(caption);
        connect(action, &QAction::triggered, this, [this, c = entry.command] { runCommand(c); });
        m_tbarMain->addAction(action);
        if (QWidget* button = m_tbarMain->widgetForAction(action))
            button->setFixedSize(39, 38);
        m_toolActions.insert(entry.command, action);
    }
}

void TMainForm::followOtherProgramsImport()
{
    store::ActivityTable& table = m_store.taActivities;
    if (!table.isActive())
        return;
    const store::TableImport import = store::lastImport(m_store.ADOCon);
    if (import.stamp == table.rowsImportStamp())
        return;
    // The rows shown belong to a project the file no longer holds: an edit
    // still open is dropped with them, the rows are read again, and "Save"
    // targets the project they now come from. Its folder is not known here.
    table.cancel();
    table.requery();
    p3link::CurrentProjectGroup = import.projectGroup;
    p3link::CurrentProjectName = import.projectName;
    const QString project = import.projectGroup + QLatin1Char(' ') + import.projectName;
    setWindowTitle(QStringLiteral("Orvane - ") + project);
    m_statusPanel1->clear();
    showCommandResult(QStringLiteral("Another program imported %1: the table was read again").arg(project.trimmed()));
}

void TMainForm::addKeyboardAccess()
{
    // Alt and a menu's first letter opens it, F10 the first menu, as a
    // menu bar does; the cool bar's buttons take the letters as mnemonics.
    QToolButton* firstMenu = nullptr;
    for (QAction* action : m_tbarMenu->actions()) {
        auto* button = qobject_cast<QToolButton*>(m_tbarMenu->widgetForAction(action));
        if (!button || !button->menu())
            continue;
        button->setText(QLatin1Char('&') + button->text());
        if (!firstMenu)
            firstMenu = button;
    }
    if (firstMenu) {
        auto* f10 = new QAction(this);
        f10->setObjectName(QStringLiteral("menuKey"));
        f10->setShortcut(Qt::Key_F10);
        connect(f10, &QAction::triggered, firstMenu, &QToolButton::showMenu);
        addAction(f10);
    }
    // The usual keys of the commands that have one; they work from the
    // whole window, since the menus are pop-ups of the cool bar. A key the
    // focused text box uses itself (Ctrl+E in a cell editor) stays the box's.
    const std::pair<Command, QKeySequence> keys[] = {
        {Command::Open, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {Command::Save, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {Command::Export, QKeySequence(Qt::CTRL | Qt::Key_E)},
        {Command::Docs, QKeySequence(Qt::Key_F1)},
    };
    for (const auto& [command, key] : keys) {
        // "Save" has a tool button only.
        QAction* action = m_menuActions.value(command, m_toolActions.value(command));
        action->setShortcut(key);
        addAction(action);
    }
    auto* builder = new QAction(this);
    builder->setObjectName(QStringLiteral("filterBuilderKey"));
    builder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(builder, &QAction::triggered, this, [this] { runGuarded([this] { m_gridFilter->openBuilder(); }); });
    addAction(builder);
}

void TMainForm::runCommand(Command command)
{
    runGuarded([&] {
        followOtherProgramsImport();
        switch (command) {
        case Command::Exit: mExitClick(); break;
        case Command::Docs: mDocsClick(); break;
        case Command::Web: mWebClick(); break;
        case Command::About: mAboutClick(); break;
        case Command::Customize: mCustClick(); break;
        case Command::Open: tbtnOpenClick(); break;
        case Command::Save: tbtnSaveClick(); break;
        case Command::SaveTo: tbtnSaveToClick(); break;
        case Command::Log2Log: tbtnLog2LogClick(); break;
        case Command::Act2Log: tbtnAct2LogClick(); break;
        case Command::AD2Log: mAD2LogClick(); break;
        case Command::MultyLog: mMultyLogClick(); break;
        case Command::Export: m2ExcellClick(); break;
        case Command::FromWorkbook: mFromWorkbookClick(); break;
        case Command::Undo: mUndoClick(); break;
        case Command::Review: mReviewClick(); break;
        case Command::Compare: mCompareClick(); break;
        default: break;
        }
    });
}

void TMainForm::FormCreate()
{
    FP3User.clear();
    FP3Password.clear();
    FP3User = readP3User();
}

void TMainForm::FormClose()
{
    writeP3User(FP3User);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TMainForm::mExitClick()
{
    close();
}

void TMainForm::mDocsClick()
{
    // The help file or the guide beside the program, not in the working
    // folder. Without either, or without a program to show it, the user
    // is told, with the place to look.
    const QString programFolder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    const QString document = helpDocument(QCoreApplication::applicationDirPath());
    if (document.isEmpty()) {
        showInformation(QStringLiteral("The guide is not installed: there is no orvane.chm and no guide folder "
                                       "beside the program in %1.")
                            .arg(programFolder));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(document)))
        showInformation(QStringLiteral("No program could open the guide. Open it yourself: %1")
                            .arg(QDir::toNativeSeparators(document)));
}

QString TMainForm::homePageAddress()
{
    return QStringLiteral("https://marbolt.example/orvane");
}

void TMainForm::mWebClick()
{
    QDesktopServices::openUrl(QUrl(homePageAddress()));
}

void TMainForm::mAboutClick()
{
    m_aboutForm->exec();
}

} // namespace orvane::shell

namespace orvane::shell {

namespace {

// The workbook's colours follow the desktop's, as the grid's own do.
exporting::ColorRef colorOf(QPalette::ColorRole role)
{
    const QColor c = QApplication::palette().color(role);
    return exporting::rgbColor(c.red(), c.green(), c.blue());
}

} // namespace

QString TMainForm::askExportFileNameWithDialog()
{
    // One dialog for the run: it remembers the last name given.
    if (!m_saveDialog) {
        m_saveDialog = new QFileDialog(this);
        m_saveDialog->setObjectName(QStringLiteral("SaveDialog"));
        m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
        m_saveDialog->setFileMode(QFileDialog::AnyFile);
        // The file type follows the name's extension; a name without one
        // takes the type of the filter chosen.
        m_saveDialog->setNameFilters({QStringLiteral("Microsoft Excel 97-2003 (*.xls)"),
                                      QStringLiteral("Microsoft Excel (*.xlsx)")});
        m_saveDialog->setDefaultSuffix(QStringLiteral("xls"));
        connect(m_saveDialog, &QFileDialog::filterSelected, m_saveDialog, [this](const QString& filter) {
            m_saveDialog->setDefaultSuffix(filter.contains(QLatin1String("*.xlsx")) ? QStringLiteral("xlsx")
                                                                                   : QStringLiteral("xls"));
        });
        m_saveDialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    if (m_saveDialog->exec() != QDialog::Accepted || m_saveDialog->selectedFiles().isEmpty())
        return QString();
    return m_saveDialog->selectedFiles().first();
}

void TMainForm::m2ExcellClick()
{
    // A refused table says so before a file is asked for or written.
    m_store.ADOCon.handle();
    const QString fileName = askExportFileName ? askExportFileName() : askExportFileNameWithDialog();
    if (fileName.isEmpty())
        return;
    const exporting::SystemColors colors{colorOf(QPalette::Base), colorOf(QPalette::ButtonText),
                                         colorOf(QPalette::Button), colorOf(QPalette::Dark)};
    grid::BusyCursor busy;
    const exporting::ExportResult result =
        exporting::ExportGridAsWorkbook(fileName, &cxGridProject()->model(), colors);
    showCommandResult(QStringLiteral("Exported %1 rows to %2")
                          .arg(result.recordsExported)
                          .arg(QFileInfo(exporting::exportOutputName(fileName)).fileName()));
    // Nothing is dropped silently: rows or columns the sheet cannot hold are reported.
    if (!result.complete())
        showInformation(result.notice());
}

void TMainForm::enableUndo()
{
    // Every change to many cells ends in a re-read or a posted row; the
    // Undo item follows the history then. Ctrl+Z works from the whole
    // window, the menu being a pop-up of the cool bar.
    m_store.undo.setEnabled(true);
    // A cell edited in the grid is a step of its own.
    m_grid->model().setCellPostWrapper([this](const std::function<void()>& post) {
        store::UndoRecording recording(m_store.undo, QStringLiteral("cell edit"));
        post();
        recording.finish();
    });
    QAction* undo = m_menuActions.value(Command::Undo);
    undo->setShortcut(QKeySequence::Undo);
    addAction(undo);
    const auto follow = [this, undo] { undo->setEnabled(m_store.undo.canUndo()); };
    connect(&m_store.taActivities, &store::ActivityTable::rowsReset, this, follow);
    connect(&m_store.taActivities, &store::ActivityTable::rowPosted, this, follow);
    follow();
}

void TMainForm::mFromWorkbookClick()
{
    m_store.ADOCon.writableHandle();   // refused before a file is asked for
    const QString fileName = askWorkbookFileName
                                 ? askWorkbookFileName()
                                 : QFileDialog::getOpenFileName(this, QStringLiteral("Get logs from workbook"), QString(),
                                                                QStringLiteral("Workbooks (*.xls *.xlsx)"));
    if (fileName.isEmpty())
        return;
    postPendingEdit(m_grid, m_store.taActivities);
    QStringList codeCaptions;
    for (int column = store::kFirstCodeColumn; column < store::kFirstLogColumn; ++column)
        codeCaptions << m_grid->model().columnCaption(column);
    const QString status = updateFromWorkbook(
        m_store, fileName, codeCaptions,
        [this](const QStringList& preview, const std::vector<workbook::CellChange>& changes) {
            return confirmWorkbookUpdate ? confirmWorkbookUpdate(preview, changes)
                                         : confirmWorkbookUpdateWithDialog(this, preview, changes);
        });
    if (!status.isEmpty())
        showCommandResult(status);
}

void TMainForm::mUndoClick()
{
    postPendingEdit(m_grid, m_store.taActivities);
    if (!m_store.undo.canUndo())
        return;
    // A refused step can empty the history without a re-read.
    struct UndoItemFollows {
        QAction* item;
        const store::UndoHistory& history;
        ~UndoItemFollows() { item->setEnabled(history.canUndo()); }
    } undoItemFollows{m_menuActions.value(Command::Undo), m_store.undo};
    showCommandResult(undoLastChange(m_store));
}

} // namespace orvane::shell
