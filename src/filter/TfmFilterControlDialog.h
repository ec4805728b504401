#pragma once
// The filter builder: edits the whole tree of the grid's criteria as rows
// (the root, groups with "AND"/"OR"/"NOT AND"/"NOT OR", conditions), saves
// it to and opens it from ".flt" files, and copies it into the grid's
// criteria on Apply and Ok. Its position and size are kept for the run.

#include "filter/ConditionInput.h"
#include "filter/FilterCriteria.h"

#include <QDialog>
#include <QStringList>

#include <exception>
#include <memory>
#include <vector>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvane::filter {

class FilterDialogHost;

class TfmFilterControlDialog : public QDialog {
    Q_OBJECT
public:
    // One row of the editor: the root, a group or a condition. Condition
    // values are the texts of their value boxes.
    struct Row {
        bool group = false;
        int boolKind = fboAnd;
        int columnId = -1;
        DisplayOperator op = DisplayOperator::Equals;
        QStringList values;
        Row* parent = nullptr;
        std::vector<std::unique_ptr<Row>> children;
    };

    explicit TfmFilterControlDialog(FilterDialogHost& link, QWidget* parent = nullptr);
    ~TfmFilterControlDialog() override;

    // Shows the builder modally; an error of the table raised by Apply or
    // Ok is passed on once it has closed.
    static void Execute(FilterDialogHost& link);
    std::exception_ptr error() const { return m_error; }

    // --- the rows
    Row& root() { return m_root; }
    // "Add Condition" / "Add Group" of a row's menu: at the end of the row's
    // group, or of the group itself for a group row.
    Row* addCondition(Row* row);
    Row* addGroup(Row* row);
    // "Remove Row": groups left empty go with it, up to the root.
    void removeRow(Row* row);
    // "Clear All" of the root row.
    void clearAll();
    void setColumn(Row* condition, int columnId);
    void setOperator(Row* condition, DisplayOperator op);
    void setBoolKind(Row* group, int kind);
    void setValue(Row* condition, int index, const QString& text);
    // The display texts of the rows, one line per row, indented by depth
    // (for the window and for tests).
    QStringList rowTexts() const;

    // --- the actions
    // Builds the editor's criteria from the rows.
    void buildConditions();
    // Apply: copies the editor's criteria into the grid's and switches the
    // filter on; then reloads the rows from the grid's criteria.
    void apply();
    void saveFile(const QString& path);
    void openFile(const QString& path);
    QString fileName() const { return m_fileName; }

    QTreeWidget* tree;
    QPushButton* btOpen;
    QPushButton* btSave;
    QPushButton* btOk;
    QPushButton* btCancel;
    QPushButton* btApply;

protected:
    void done(int result) override;

private:
    void loadRows();
    void refreshTree();
    void scheduleRefresh();
    void addTreeRows(QTreeWidgetItem* parentItem, Row& row);
    QWidget* rowWidget(Row& row);
    QWidget* rowButton(Row& row);
    void updateCaption();
    void keepError();

    FilterDialogHost& m_link;
    std::unique_ptr<TcxDBDataFilterCriteria> m_editor;
    Row m_root;
    QString m_fileName;
    std::exception_ptr m_error;
    bool m_refreshPending = false;
};

} // namespace orvane::filter
