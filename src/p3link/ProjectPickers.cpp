#include "p3link/ProjectPickers.h"

#include "p3link/ProjectFolder.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTreeView>

namespace orvane::p3link {

namespace {

QFont msSansSerif(int points)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(points);
    return font;
}

// Row 0 of the list widget is the hidden row; projects follow from row 1.
constexpr int kHiddenRow = 0;
constexpr int kFirstProjectRow = 1;

} // namespace

TP3OpenDlg::TP3OpenDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TP3OpenDlg"));
    setWindowTitle(QStringLiteral("Open P3 project"));
    setFont(msSansSerif(8));
    setFixedSize(325, 358);

    auto* lFolder = new QLabel(QStringLiteral("Select folder:"), this);
    lFolder->move(8, 8);

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    m_model->setRootPath(QString());
    m_model->setReadOnly(true);
    ShellTreeView = new QTreeView(this);
    ShellTreeView->setObjectName(QStringLiteral("ShellTreeView"));
    ShellTreeView->setGeometry(8, 24, 305, 113);
    ShellTreeView->setModel(m_model);
    for (int c = 1; c < m_model->columnCount(); ++c)
        ShellTreeView->hideColumn(c);
    ShellTreeView->setHeaderHidden(true);
    ShellTreeView->setIndentation(19);
    ShellTreeView->setRootIsDecorated(false);
    ShellTreeView->setItemsExpandable(true);
    ShellTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    // Folders are read in the background; keep the selected one in view as
    // its branch fills.
    // The model lists a folder's entries in the background, after the path
    // to the selected folder exists: entries arriving above it push it out
    // of view. Keep it in view until the user scrolls or clicks the tree.
    const auto keepSelectedInView = [this] {
        if (m_followSelection && ShellTreeView->currentIndex().isValid())
            ShellTreeView->scrollTo(ShellTreeView->currentIndex(), QAbstractItemView::PositionAtCenter);
    };
    connect(m_model, &QFileSystemModel::directoryLoaded, this, keepSelectedInView);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, keepSelectedInView, Qt::QueuedConnection);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, keepSelectedInView, Qt::QueuedConnection);
    connect(ShellTreeView->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { m_followSelection = false; });
    connect(ShellTreeView, &QAbstractItemView::pressed, this, [this] { m_followSelection = false; });
    connect(ShellTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        try {
            ShellTreeViewChange();
        } catch (...) {
            // A P3 error while listing ends the operation that shows the
            // picker: the dialog closes and execPicker() rethrows it.
            m_pendingError = std::current_exception();
            if (isVisible())
                reject();
        }
    });

    auto* lProject = new QLabel(QStringLiteral("Select project:"), this);
    lProject->move(8, 144);

    StrGrid = new QTableWidget(this);
    StrGrid->setObjectName(QStringLiteral("StrGrid"));
    StrGrid->setGeometry(8, 160, 305, 153);
    StrGrid->setColumnCount(3);
    StrGrid->horizontalHeader()->setDefaultSectionSize(44);
    StrGrid->verticalHeader()->setDefaultSectionSize(18);
    StrGrid->verticalHeader()->hide();
    StrGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    StrGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    StrGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StrGrid->setShowGrid(true);

    CheckFilter = new QCheckBox(QStringLiteral("Use filter"), this);
    CheckFilter->setObjectName(QStringLiteral("CheckFilter"));
    CheckFilter->setGeometry(8, 320, 129, 17);

    bOk = new QPushButton(QStringLiteral("Ok"), this);
    bOk->setObjectName(QStringLiteral("bOk"));
    bOk->setGeometry(152, 320, 75, 25);
    bOk->setDefault(true);
    connect(bOk, &QPushButton::clicked, this, [this] {
        bOkClick();
        accept();
    });
    bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(240, 320, 75, 25);
    bCancel->setAutoDefault(false);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

    FormCreate();
}

void TP3OpenDlg::FormCreate()
{
    StrGrid->setColumnWidth(0, 44);
    StrGrid->setColumnWidth(1, 44);
    StrGrid->setColumnWidth(2, StrGrid->width() - StrGrid->columnWidth(0) - StrGrid->columnWidth(1) - 12);
    StrGrid->setHorizontalHeaderLabels({QStringLiteral("Proj"), QStringLiteral("Sub"), QStringLiteral("Title")});
    StrGrid->setRowCount(1);
    StrGrid->setRowHidden(kHiddenRow, true);
    FFolderPath.clear();
    FProjectPath.clear();
    FProjectGroup.clear();
    FSubproject.clear();
}

void TP3OpenDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

int TP3OpenDlg::execPicker()
{
    m_pendingError = nullptr;
    FormShow();
    if (m_pendingError)
        std::rethrow_exception(std::exchange(m_pendingError, nullptr));
    const int result = exec();
    if (m_pendingError)
        std::rethrow_exception(std::exchange(m_pendingError, nullptr));
    return result;
}

void TP3OpenDlg::FormShow()
{
    const QString p3Path = P3Object::toText(Session.get(member::CurrentProjectPath));
    if (!FProjectPath.isEmpty() && FProjectPath != p3Path)
        moveTreeTo(FFolderPath);
    else
        moveTreeTo(p3Path);
    ShellTreeView->setFocus();
}

void TP3OpenDlg::moveTreeTo(const QString& path)
{
    // P3 names its folder by the short path Orvane gave it; the tree knows
    // folders by their long names.
    const QFileInfo info(longPathName(path));
    const QModelIndex index = path.isEmpty() || !info.isDir() ? QModelIndex() : m_model->index(info.absoluteFilePath());
    if (!index.isValid())
        throw EP3EngineError(QStringLiteral("Error setting path: \"") + path + QLatin1Char('"'));
    m_followSelection = true;
    // Open the branch down to the folder, so it shows in the tree.
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        ShellTreeView->expand(parent);
    if (ShellTreeView->currentIndex() == index) {
        // Selecting the folder again gives no change signal; the list must
        // still be rebuilt for this session.
        ShellTreeViewChange();
    } else {
        ShellTreeView->setCurrentIndex(index);
    }
    ShellTreeView->scrollTo(index);
}

QString TP3OpenDlg::selectedFolder() const
{
    const QModelIndex index = ShellTreeView->currentIndex();
    return index.isValid() ? m_model->filePath(index) : QString();
}

void TP3OpenDlg::ShellTreeViewChange()
{
    FFolderPath = selectedFolder();
    FProjectPath.clear();
    StrGrid->setRowCount(1);
    StrGrid->clearSelection();

    FProjectPath = findProjectDirectory(FFolderPath);
    if (FProjectPath.isEmpty())
        return;
    Session.put(member::CurrentProjectPath, FProjectPath);
    for (const ProjectListRow& row : listProjects(Session))
        appendRow(row);
}

void TP3OpenDlg::appendRow(const ProjectListRow& row)
{
    const int r = StrGrid->rowCount();
    StrGrid->setRowCount(r + 1);
    StrGrid->setItem(r, 0, new QTableWidgetItem(row.group));
    StrGrid->setItem(r, 1, new QTableWidgetItem(row.subproject));
    StrGrid->setItem(r, 2, new QTableWidgetItem(row.title));
}

void TP3OpenDlg::bOkClick()
{
    const QList<QTableWidgetSelectionRange> ranges = StrGrid->selectedRanges();
    const int row = ranges.isEmpty() ? kHiddenRow : ranges.first().topRow();
    const auto text = [&](int column) {
        const QTableWidgetItem* item = StrGrid->item(row, column);
        return item ? item->text() : QString();
    };
    FProjectGroup = text(0);
    FSubproject = text(1);
}

int TP3OpenDlg::projectRowCount() const
{
    return StrGrid->rowCount() - kFirstProjectRow;
}

QString TP3OpenDlg::cell(int projectRow, int column) const
{
    const QTableWidgetItem* item = StrGrid->item(projectRow + kFirstProjectRow, column);
    return item ? item->text() : QString();
}

void TP3OpenDlg::selectProjectRow(int projectRow)
{
    StrGrid->clearSelection();
    if (projectRow >= 0)
        StrGrid->selectRow(projectRow + kFirstProjectRow);
}

TFilterDlg::TFilterDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TFilterDlg"));
    setWindowTitle(QStringLiteral("Select filter"));
    setFixedSize(306, 258);

    lNote = new QLabel(QStringLiteral("Please select filter you want to use with selected project"), this);
    lNote->setWordWrap(true);
    lNote->setFrameShape(QFrame::Box);
    lNote->setGeometry(8, 8, 289, 41);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 56, 289, 161);
    ListBox1->setFont(msSansSerif(10));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

    bOk = new QPushButton(QStringLiteral("OK"), this);
    bOk->setObjectName(QStringLiteral("bOk"));
    bOk->setGeometry(142, 225, 75, 25);
    bOk->setDefault(true);
    connect(bOk, &QPushButton::clicked, this, &QDialog::accept);
    bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(222, 225, 75, 25);
    bCancel->setAutoDefault(false);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<ProjectChoice> DialogProjectChooser::chooseProject(const P3Object&)
{
    if (m_picker.execPicker() != QDialog::Accepted)
        return std::nullopt;
    return ProjectChoice{m_picker.FProjectGroup, m_picker.FSubproject, m_picker.FFolderPath,
                         m_picker.CheckFilter->isChecked()};
}

std::optional<int> DialogProjectChooser::chooseFilter(const QStringList& lines)
{
    m_filters.ListBox1->clear();
    m_filters.ListBox1->addItems(lines);
    if (m_filters.exec() != QDialog::Accepted)
        return std::nullopt;
    const QList<QListWidgetItem*> selected = m_filters.ListBox1->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return m_filters.ListBox1->row(selected.first());
}

} // namespace orvane::p3link
