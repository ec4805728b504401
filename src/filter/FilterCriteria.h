#pragma once
// The grid's row filter as a tree of conditions (TcxDBDataFilterCriteria),
// its filter text (handed to the activity table and appended to bulk
// UPDATEs after " WHERE ") and its display text (shown under the grid).
//
// The criteria know columns only by ID and ask a FilterColumnSource for a
// column's field and caption, and they talk to the table through FilterTable,
// so they depend on neither the grid nor the store's table class.
//
// Change announcements: BeginChange/EndChange nest; every change made while
// no lock is held is announced at once, and EndChange announces when the
// count returns to zero (also when nothing changed). Every announcement runs
// PushFilter and then emits filterChanged().

#include "filter/FilterOperators.h"
#include "filter/FilterValues.h"
#include "store/ActivityLayout.h"

#include <QDate>
#include <QFlags>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QVariant>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace orvane::filter {

// What the criteria need to know of a grid column.
struct FilterColumn {
    int id = -1;
    QString fieldName;   // empty: the column has no table field
    store::FieldKind kind = store::FieldKind::Text;
    QString caption;
};

class FilterColumnSource {
public:
    virtual ~FilterColumnSource() = default;
    virtual std::optional<FilterColumn> columnById(int id) const = 0;
};

// The table side of PushFilter: a record set with a row filter.
class FilterTable {
public:
    virtual ~FilterTable() = default;
    virtual QString filter() const = 0;
    virtual void setFilter(const QString& text) = 0;
    virtual bool filtered() const = 0;
    virtual void setFiltered(bool on) = 0;
    // The case-insensitivity filter option. Tables that take no options
    // throw when it is switched on.
    virtual void setCaseInsensitiveFilter(bool on) = 0;
    // Suspends / resumes the table's data-aware controls around a push.
    virtual void disableControls() {}
    virtual void enableControls() {}
};

class TcxDBDataFilterCriteria;
class TcxFilterCriteriaItemList;

// A node of the tree: a group or a condition. A deleted node removes itself
// from its parent's list; TcxDBDataFilterCriteria::RemoveItem also announces
// the change.
class TcxCustomFilterCriteriaItem {
public:
    virtual ~TcxCustomFilterCriteriaItem();
    TcxCustomFilterCriteriaItem(const TcxCustomFilterCriteriaItem&) = delete;
    TcxCustomFilterCriteriaItem& operator=(const TcxCustomFilterCriteriaItem&) = delete;

    virtual bool IsItemList() const = 0;
    TcxFilterCriteriaItemList* Parent() const { return m_parent; }
    TcxDBDataFilterCriteria& Criteria() const { return m_criteria; }

protected:
    TcxCustomFilterCriteriaItem(TcxDBDataFilterCriteria& criteria, TcxFilterCriteriaItemList* parent);

private:
    friend class TcxFilterCriteriaItemList;
    friend class TcxDBDataFilterCriteria;
    TcxDBDataFilterCriteria& m_criteria;
    TcxFilterCriteriaItemList* m_parent;
};

// A group: a Boolean kind and its ordered children, which it owns.
class TcxFilterCriteriaItemList : public TcxCustomFilterCriteriaItem {
public:
    ~TcxFilterCriteriaItemList() override;
    bool IsItemList() const override { return true; }
    TcxFilterBoolOperatorKind BoolOperatorKind() const { return m_kind; }
    void SetBoolOperatorKind(TcxFilterBoolOperatorKind kind);
    int Count() const { return int(m_items.size()); }
    TcxCustomFilterCriteriaItem* Items(int index) const { return m_items.at(index); }
    bool IsEmpty() const { return m_items.isEmpty(); }

private:
    friend class TcxDBDataFilterCriteria;
    friend class TcxCustomFilterCriteriaItem;
    TcxFilterCriteriaItemList(TcxDBDataFilterCriteria& criteria, TcxFilterCriteriaItemList* parent,
                              TcxFilterBoolOperatorKind kind);
    TcxFilterBoolOperatorKind m_kind;
    QList<TcxCustomFilterCriteriaItem*> m_items;
};

// A condition: column, operator kind, value, display text and its operator.
class TcxFilterCriteriaItem : public TcxCustomFilterCriteriaItem {
public:
    ~TcxFilterCriteriaItem() override;
    bool IsItemList() const override { return false; }

    QString DisplayValue() const { return m_displayText; }
    int ColumnId() const { return m_columnId; }
    // The column the condition tests, or none (no such column in the view).
    std::optional<FilterColumn> Column() const;
    TcxFilterOperatorKind OperatorKind() const { return m_kind; }
    const QVariant& Value() const { return m_value; }
    TcxFilterOperator& Operator() const { return *m_operator; }

    void SetValue(const QVariant& value, const QString& displayText);

    // The field text F: the field name, in brackets unless it is a plain
    // identifier; empty without a column.
    QString FieldText() const;
    QString FilterText() const;
    QString DisplayText() const;

private:
    friend class TcxDBDataFilterCriteria;
    TcxFilterCriteriaItem(TcxDBDataFilterCriteria& criteria, TcxFilterCriteriaItemList* parent,
                          int columnId, TcxFilterOperatorKind kind, const QString& displayText,
                          const QVariant& value);
    void rebuildOperator();

    QString m_displayText;
    int m_columnId;
    TcxFilterOperatorKind m_kind;
    QVariant m_value;
    std::unique_ptr<TcxFilterOperator> m_operator;
};

enum TcxFilterCriteriaOption {
    fcoCaseInsensitive = 0x1,
    fcoShowOperatorDescription = 0x2,
    fcoSoftCompare = 0x4,
    fcoSoftNull = 0x8,
};
Q_DECLARE_FLAGS(TcxFilterCriteriaOptions, TcxFilterCriteriaOption)

class TcxDBDataFilterCriteria : public QObject {
    Q_OBJECT
public:
    explicit TcxDBDataFilterCriteria(const FilterColumnSource* columns = nullptr,
                                     QObject* parent = nullptr);
    ~TcxDBDataFilterCriteria() override;

    // --- the tree
    TcxFilterCriteriaItemList* Root() const { return m_root.get(); }
    // Appends a condition to group (nullptr: the root); one announcement.
    TcxFilterCriteriaItem* AddCondition(TcxFilterCriteriaItemList* group, int columnId,
                                        TcxFilterOperatorKind kind, const QString& displayText,
                                        const QVariant& value);
    // Appends an empty group to parent (nullptr: the root); announced at once.
    TcxFilterCriteriaItemList* AddGroup(TcxFilterCriteriaItemList* parent,
                                        TcxFilterBoolOperatorKind kind);
    // Removes every condition of the column and tidies the groups it leaves.
    void RemoveColumnConditions(int columnId);
    // Frees every child of the root and sets the root kind to AND.
    void ClearConditions();
    // The first condition of the column in depth-first order, or nullptr.
    TcxFilterCriteriaItem* FindColumnCondition(int columnId) const;
    bool IsEmptyFilter() const { return m_root->IsEmpty(); }
    // Frees a node (a condition or a group with everything under it) and
    // announces the change.
    void RemoveItem(TcxCustomFilterCriteriaItem* item);

    void BeginChange();
    void EndChange();

    QString BuildFilterText() const;
    QString BuildDisplayText() const;

    // Hands the filter text and switch to the table (see the class comment).
    void PushFilter();

    // --- properties (setters announce a real change, except MaxValueListCount)
    bool Active() const { return m_active; }
    void SetActive(bool on);
    QString DateTimeFormat() const { return m_dateTimeFormat; }
    void SetDateTimeFormat(const QString& format);
    QChar PercentWildcard() const { return m_percent; }
    void SetPercentWildcard(QChar c);
    QChar UnderscoreWildcard() const { return m_underscore; }
    void SetUnderscoreWildcard(QChar c);
    int MaxValueListCount() const { return m_maxValueListCount; }
    void SetMaxValueListCount(int count) { m_maxValueListCount = count; }
    TcxFilterCriteriaOptions Options() const { return m_options; }
    void SetOptions(TcxFilterCriteriaOptions options);

    // --- environment
    const FilterColumnSource* Columns() const { return m_columns; }
    FilterTable* Table() const { return m_table; }
    void SetTable(FilterTable* table) { m_table = table; }
    // The locale of dates, numbers and the week start (default: QLocale()).
    QLocale Locale() const { return m_locale; }
    void SetLocale(const QLocale& locale) { m_locale = locale; }
    // The current date of the relative-date ranges (default: today).
    QDate CurrentDate() const;
    void SetCurrentDateSource(std::function<QDate()> source) { m_today = std::move(source); }
    // The owning view is being destroyed: pushes stop.
    void SetDestroying(bool on) { m_destroying = on; }

    // Whether a value counts as null (the empty text too with fcoSoftNull).
    bool IsValueNull(const QVariant& value) const;
    // Creates the operator object for a condition's kind and value.
    std::unique_ptr<TcxFilterOperator> CreateOperator(TcxFilterCriteriaItem& condition) const;

    // Announces a change now, or at the end of the current lock.
    void Changed();

signals:
    // After every announcement, once the text is with the table: the view
    // re-reads its rows.
    void filterChanged();

private:
    friend class TcxCustomFilterCriteriaItem;
    friend class TcxFilterCriteriaItemList;
    QString groupText(const TcxFilterCriteriaItemList& group, bool display) const;
    TcxFilterCriteriaItem* findIn(const TcxFilterCriteriaItemList& group, int columnId) const;
    void prepareAll(const TcxFilterCriteriaItemList& group);
    void moveToEnd(TcxCustomFilterCriteriaItem* node, TcxFilterCriteriaItemList* newParent);

    std::unique_ptr<TcxFilterCriteriaItemList> m_root;
    const FilterColumnSource* m_columns = nullptr;
    FilterTable* m_table = nullptr;
    int m_lockCount = 0;
    bool m_destroying = false;
    bool m_active = false;
    QString m_dateTimeFormat;
    QChar m_percent = QLatin1Char('%');
    QChar m_underscore = QLatin1Char('_');
    int m_maxValueListCount = 0;
    TcxFilterCriteriaOptions m_options;
    QLocale m_locale;
    std::function<QDate()> m_today;
};

// RAII change lock.
class FilterChangeLock {
public:
    explicit FilterChangeLock(TcxDBDataFilterCriteria& criteria)
        : m_criteria(criteria), m_exceptions(std::uncaught_exceptions())
    {
        m_criteria.BeginChange();
    }
    // The announcement's error reaches the caller, unless the scope is
    // already being left by another error.
    ~FilterChangeLock() noexcept(false)
    {
        if (std::uncaught_exceptions() > m_exceptions) {
            try { m_criteria.EndChange(); } catch (...) {}
        } else {
            m_criteria.EndChange();
        }
    }
    FilterChangeLock(const FilterChangeLock&) = delete;
    FilterChangeLock& operator=(const FilterChangeLock&) = delete;

private:
    TcxDBDataFilterCriteria& m_criteria;
    int m_exceptions;
};

// PushFilter's view of a dataset with the members of orvane::store::
// ActivityTable (filter, setFilter, filtered, setFiltered, state, post,
// first). Adds the reactions of a record set's filter: setting the text it
// already has does nothing; a change of the text while the switch is on, or a
// change of the switch, posts a pending edit first and then moves to the
// first row; the table takes no filter options ("FilterOptions are not
// supported").
template <class Table>
class DataSetFilterTable final : public FilterTable {
public:
    explicit DataSetFilterTable(Table& table) : m_table(table) {}
    QString filter() const override { return m_table.filter(); }
    void setFilter(const QString& text) override
    {
        if (text == m_table.filter())
            return;
        const bool on = m_table.filtered();
        if (on)
            postPending();
        m_table.setFilter(text);
        if (on)
            m_table.first();
    }
    bool filtered() const override { return m_table.filtered(); }
    void setFiltered(bool on) override
    {
        if (on == m_table.filtered())
            return;
        postPending();
        m_table.setFiltered(on);
        m_table.first();
    }
    void setCaseInsensitiveFilter(bool on) override;

private:
    void postPending()
    {
        if (m_table.state() == Table::State::Edit || m_table.state() == Table::State::Insert)
            m_table.post();
    }
    Table& m_table;
};

// Thrown by tables that take no filter options.
[[noreturn]] void throwFilterOptionsNotSupported();

template <class Table>
void DataSetFilterTable<Table>::setCaseInsensitiveFilter(bool on)
{
    if (on)
        throwFilterOptionsNotSupported();
}

} // namespace orvane::filter

Q_DECLARE_OPERATORS_FOR_FLAGS(orvane::filter::TcxFilterCriteriaOptions)
