#pragma once
// uOpen and uFilter: the project picker TP3OpenDlg (folder tree and project
// list) and the filter picker TFilterDlg, created once at start and reused,
// so they keep their last folder, list and check box. DialogProjectChooser
// puts them behind the operations' ProjectChooser.

#include "p3link/P3Operations.h"
#include "p3link/ProjectFolder.h"

#include <QDialog>

#include <exception>

class QCheckBox;
class QFileSystemModel;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTreeView;

namespace orvane::p3link {

class TP3OpenDlg : public QDialog {
    Q_OBJECT
public:
    explicit TP3OpenDlg(QWidget* parent = nullptr);

    QString FFolderPath;
    QString FProjectPath;
    QString FProjectGroup;
    QString FSubproject;

    QTreeView* ShellTreeView;
    QTableWidget* StrGrid;
    QCheckBox* CheckFilter;
    QPushButton* bOk;
    QPushButton* bCancel;

    // FormShow, then the modal loop. Throws "Error setting path: ..." when
    // the tree cannot be moved, and the P3 error of a failed listing (which
    // also closes the dialog).
    int execPicker();

    // Selects folder `path` in the tree; runs the folder change. Throws
    // EP3EngineError "Error setting path: "path"" for a path the tree
    // cannot show.
    void moveTreeTo(const QString& path);
    // The folder change: rebuilds the project list for the selected folder.
    void ShellTreeViewChange();
    // Takes the top row of the selection into FProjectGroup and FSubproject.
    void bOkClick();

    // Project rows shown (the header and the hidden row not counted).
    int projectRowCount() const;
    QString cell(int projectRow, int column) const;
    // Selects project row `projectRow` (0 = first project), or the hidden
    // row for -1.
    void selectProjectRow(int projectRow);

protected:
    // Esc does not close this dialog; only Cancel does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_followSelection = false;   // keep the selected folder in view while the tree fills
    void FormCreate();
    void FormShow();
    QString selectedFolder() const;
    void appendRow(const ProjectListRow& row);

    QFileSystemModel* m_model;
    std::exception_ptr m_pendingError;
};

class TFilterDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFilterDlg(QWidget* parent = nullptr);
    QLabel* lNote;
    QListWidget* ListBox1;
    QPushButton* bOk;
    QPushButton* bCancel;
};

// The pickers as the operations see them.
class DialogProjectChooser : public ProjectChooser {
public:
    DialogProjectChooser(TP3OpenDlg& picker, TFilterDlg& filters) : m_picker(picker), m_filters(filters) {}
    // The picker lists the projects through Session.
    std::optional<ProjectChoice> chooseProject(const P3Object& session) override;
    QString projectPath() const override { return m_picker.FProjectPath; }
    std::optional<int> chooseFilter(const QStringList& lines) override;

private:
    TP3OpenDlg& m_picker;
    TFilterDlg& m_filters;
};

} // namespace orvane::p3link
