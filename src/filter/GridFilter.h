#pragma once
// The grid's row filter: one TcxDBDataFilterCriteria over the grid's
// columns, owned by the grid's view model, pushing its filter text and switch
// into the activity table on every announcement. GridFilterLink connects the
// criteria with the grid widget (header filter buttons, the value drop-down,
// the custom filter dialog, the filter builder and the filter panel).
//
// Every user action changes the criteria inside one change lock, so the table
// receives one new filter text per action. Errors of the table (a filter text
// its engine cannot read) reach the error box through the guard; the table
// keeps its previous filter and the criteria keep the change.

#include "filter/FilterCriteria.h"
#include "filter/FilterDialogHost.h"
#include "filter/FilterPanel.h"
#include "filter/FilterValueItem.h"
#include "grid/GridView.h"
#include "grid/GridViewModel.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class QWidget;
class QPoint;

namespace orvane::store {
class ActivityTable;
}
namespace orvane::grid {
class ActivityGrid;
}

namespace orvane::filter {

// The grid's columns as the criteria see them: ID, bound field, the field's
// kind and the caption the grid shows.
class GridFilterColumns final : public FilterColumnSource {
public:
    explicit GridFilterColumns(const grid::GridViewModel& model) : m_model(model) {}
    std::optional<FilterColumn> columnById(int id) const override;

private:
    const grid::GridViewModel& m_model;
};

// When the filter panel is shown.
enum TcxGridTableFilterVisible { fvNever, fvNonEmpty, fvAlways };

class GridFilterLink : public QObject, public FilterDialogHost {
    Q_OBJECT
public:
    using Guard = std::function<void(const std::function<void()>&)>;

    // Creates the criteria, hands them to the model (which owns them and
    // marks them destroying when it goes) and links them to the table.
    GridFilterLink(grid::GridViewModel& model, store::ActivityTable& table, QObject* parent = nullptr);
    ~GridFilterLink() override;

    TcxDBDataFilterCriteria& criteria() const override { return *m_criteria; }
    grid::GridViewModel& model() const override { return m_model; }

    // Runs a user action: errors go to the guard's error box. The default
    // guard shows a plain error box.
    void setGuard(Guard guard) { m_guard = std::move(guard); }
    void run(const std::function<void()>& action) const override;
    // Shows a message in the guard's error box.
    void reportError(const QString& message) const override;

    // --- the view's filtering options
    bool CustomizeDialog = true;
    int DropDownWidth = 0;
    int maxDropDownCount() const { return m_maxDropDownCount; }
    void setMaxDropDownCount(int count) { m_maxDropDownCount = count < 0 ? 0 : count; }
    TcxGridTableFilterVisible visible() const { return m_visible; }
    void setVisible(TcxGridTableFilterVisible visible);
    // Whether the filter panel is to be shown now.
    bool panelShown() const;
    // Shows the criteria in the filter panel as they stand, with the options
    // above; runs on every announcement and change of the grid's layout.
    void refreshPanel();

    // --- the value drop-down
    // The value list of a column over the rows the view shows.
    QList<TcxFilterValueItem> valueList(int columnId) const;
    // The entry highlighted when the drop-down opens, or -1.
    int highlightedEntry(int columnId, const QList<TcxFilterValueItem>& list) const;
    // Applies a picked entry inside one change lock ("(Custom...)" opens the
    // custom filter dialog or the builder while the lock is held). Throws
    // what the table throws.
    void pick(int columnId, const TcxFilterValueItem& item);
    // Whether "(Custom...)" opens the custom filter dialog (else the builder).
    bool isSimpleCriteria() const;

    // --- windows (need a QApplication)
    // Connects the grid widget: filter buttons on, the drop-down, the panel.
    void attach(grid::ActivityGrid& grid);
    grid::GridView* view() const { return m_view; }
    FilterPanel* panel() const { return m_panel; }
    // Opens the value drop-down of a column under its header; the entry
    // picked there is applied through pick().
    void openDropDown(int columnId);
    // Opens the custom filter dialog or the builder modally (no own lock).
    void openCustomDialog(int columnId);
    void openBuilder();
    // The window the dialogs are centred on and parented to.
    QWidget* dialogParent() const override;

signals:
    // After every announcement, once the table has the text.
    void filterChanged();

private:
    // Puts the filter panel under the grid's rows and follows its buttons.
    void attachPanel(grid::ActivityGrid& grid);

    grid::GridViewModel& m_model;
    std::unique_ptr<GridFilterColumns> m_columns;
    std::unique_ptr<FilterTable> m_table;
    TcxDBDataFilterCriteria* m_criteria = nullptr;   // owned by the model
    Guard m_guard;
    int m_maxDropDownCount = 15;
    TcxGridTableFilterVisible m_visible = fvNonEmpty;
    QPointer<grid::GridView> m_view;
    QPointer<FilterPanel> m_panel;
};

} // namespace orvane::filter
