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

#include "grid/GridViewModel.h"
#include "grid/GridView.h"
#include "logedit/FilterCriteria.h"
#include "logedit/FilterPanel.h"

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

namespace orvane::logedit {

// The grid's columns as the criteria see them: ID, bound field, the field's
// kind and the caption the grid shows.
class GridFilterColumns final : public FilterColumnSource {
public:
    explicit GridFilterColumns(const grid::GridViewModel& model) : m_model(model) {}
    std::optional<FilterColumn> columnById(int id) const override;

private:
    const grid::GridViewModel& m_model;
};

// One entry of the value drop-down.
struct TcxFilterValueItem {
    enum Kind : quint8 { fviAll = 0, fviCustom = 1, fviBlanks = 2, fviNonBlanks = 3, fviUser = 4, fviValue = 5 };
    quint8 kind = fviValue;
    QVariant value;
    QString displayText;
};

// When the filter panel is shown.
enum TcxGridTableFilterVisible { fvNever, fvNonEmpty, fvAlways };

// The operators the custom filter dialog and the builder offer, in the order
// they list them. The blank tests stand between "not like" and "between", so
// these are not the criteria's operator kinds: kindOfDisplayOperator() and
// displayOperatorOf() translate. None is the empty entry of a second line.
enum class DisplayOperator : int {
    None = 0,
    Equals, NotEquals, Less, LessOrEqual, Greater, GreaterOrEqual, Like, NotLike,
    IsBlank, IsNotBlank, Between, NotBetween, InList, NotInList,
    Yesterday, Today, Tomorrow, LastWeek, LastMonth, LastYear,
    ThisWeek, ThisMonth, ThisYear, NextWeek, NextMonth, NextYear,
};

// Two values: "between" and "not between".
constexpr bool isRangeOperator(DisplayOperator op)
{
    return op == DisplayOperator::Between || op == DisplayOperator::NotBetween;
}
// Any number of values: "in" and "not in".
constexpr bool isListOperator(DisplayOperator op)
{
    return op == DisplayOperator::InList || op == DisplayOperator::NotInList;
}
// "is blank" and "is not blank": a test for a null value.
constexpr bool isBlankTest(DisplayOperator op)
{
    return op == DisplayOperator::IsBlank || op == DisplayOperator::IsNotBlank;
}
// No value box: the blank tests and the relative dates.
constexpr bool takesNoValue(DisplayOperator op)
{
    return isBlankTest(op) || op >= DisplayOperator::Yesterday;
}
// A pattern with wildcards: "like" and "not like".
constexpr bool isLikeOperator(DisplayOperator op)
{
    return op == DisplayOperator::Like || op == DisplayOperator::NotLike;
}
// An ordering comparison (less, greater, and their "or equal" forms).
constexpr bool isOrderingOperator(DisplayOperator op)
{
    return op >= DisplayOperator::Less && op <= DisplayOperator::GreaterOrEqual;
}

QString displayOperatorText(DisplayOperator op);
// The display operators a value box kind offers, in list order.
QList<DisplayOperator> offeredDisplayOperators(store::FieldKind kind, bool builder);
// The condition kind a display operator produces (the blank tests: equal
// and not equal with a null value).
TcxFilterOperatorKind kindOfDisplayOperator(DisplayOperator op);
// The display operator that shows a condition.
DisplayOperator displayOperatorOf(const TcxFilterCriteriaItem& condition);
// A date typed in the user's short date form (with or without the time), or
// ISO 8601; null when it is not a date. Two-digit years fall in 1950..2049.
QVariant dateFromText(const QString& text);
// Whether a typed value converts to the column's value type.
bool convertsToFieldKind(const QVariant& value, store::FieldKind kind);

class GridFilterLink : public QObject {
    Q_OBJECT
public:
    using Guard = std::function<void(const std::function<void()>&)>;

    // Creates the criteria, hands them to the model (which owns them and
    // marks them destroying when it goes) and links them to the table.
    GridFilterLink(grid::GridViewModel& model, store::ActivityTable& table, QObject* parent = nullptr);
    ~GridFilterLink() override;

    TcxDBDataFilterCriteria& criteria() const { return *m_criteria; }
    grid::GridViewModel& model() const { return m_model; }

    // Runs a user action: errors go to the guard's error box. The default
    // guard shows a plain error box.
    void setGuard(Guard guard) { m_guard = std::move(guard); }
    void run(const std::function<void()>& action) const;
    // Shows a message in the guard's error box.
    void reportError(const QString& message) const;

    // --- the view's filtering options
    bool CustomizeDialog = true;
    int DropDownWidth = 0;
    int maxDropDownCount() const { return m_maxDropDownCount; }
    void setMaxDropDownCount(int count) { m_maxDropDownCount = count < 0 ? 0 : count; }
    TcxGridTableFilterVisible visible() const { return m_visible; }
    void setVisible(TcxGridTableFilterVisible visible);
    // Whether the filter panel is to be shown now.
    bool panelShown() const;

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
    // Opens the value drop-down of a column under its header.
    void openDropDown(int columnId);
    // Opens the custom filter dialog or the builder modally (no own lock).
    void openCustomDialog(int columnId);
    void openBuilder();
    // The window the dialogs are centred on and parented to.
    QWidget* dialogParent() const;

signals:
    // After every announcement, once the table has the text.
    void filterChanged();

private:
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

} // namespace orvane::logedit
