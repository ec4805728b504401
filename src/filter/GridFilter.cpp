#include "filter/GridFilter.h"

#include "common/Errors.h"
#include "common/ErrorText.h"
#include "filter/FilterDropDown.h"
#include "filter/TcxFilterDialog.h"
#include "filter/TfmFilterControlDialog.h"
#include "grid/ActivityGrid.h"
#include "grid/BusyCursor.h"
#include "grid/GridView.h"
#include "store/ActivityTable.h"

#include <QMessageBox>
#include <QSet>

namespace orvane::filter {

std::optional<FilterColumn> GridFilterColumns::columnById(int id) const
{
    const grid::GridColumn* c = m_model.columnById(id);
    if (!c)
        return std::nullopt;
    const store::FieldKind kind = c->fieldIndex >= 0 ? store::fieldKind(c->fieldIndex) : store::FieldKind::Text;
    return FilterColumn{id, c->fieldIndex >= 0 ? c->fieldName : QString(), kind, m_model.columnCaption(id)};
}

namespace {

// The table side of the grid's criteria: the record-set reactions of
// DataSetFilterTable, with the view holding its rows still while a push
// changes text and switch, and the table left alone while the view's rows
// are refreshed in place (smart refresh).
class GridFilterTable final : public FilterTable {
public:
    GridFilterTable(grid::GridViewModel& model, store::ActivityTable& table) : m_model(model), m_table(table) {}
    QString filter() const override { return m_table.filter(); }
    void setFilter(const QString& text) override
    {
        if (!m_model.smartRefresh())
            m_table.setFilter(text);
    }
    bool filtered() const override { return m_table.filtered(); }
    void setFiltered(bool on) override
    {
        if (!m_model.smartRefresh())
            m_table.setFiltered(on);
    }
    void setCaseInsensitiveFilter(bool on) override { m_table.setCaseInsensitiveFilter(on); }
    // A filter over many rows takes a moment: the busy cursor shows
    // while the rows are held still.
    void disableControls() override
    {
        m_busy.push_back(std::make_unique<grid::BusyCursor>());
        m_model.beginUpdate();
    }
    void enableControls() override
    {
        m_model.endUpdate();
        if (!m_busy.empty())
            m_busy.pop_back();
    }

private:
    grid::GridViewModel& m_model;
    DataSetFilterTable<store::ActivityTable> m_table;
    std::vector<std::unique_ptr<grid::BusyCursor>> m_busy;   // one per push under way
};

// What the model keeps: the criteria together with the column source and the
// table adapter they point to, so all three go together.
struct GridCriteriaHolder final : grid::GridFilterCriteria {
    std::unique_ptr<GridFilterColumns> columns;
    std::unique_ptr<GridFilterTable> table;
    std::unique_ptr<TcxDBDataFilterCriteria> criteria;
    ~GridCriteriaHolder() override
    {
        criteria->SetDestroying(true);
        criteria.reset();
    }
};

} // namespace

GridFilterLink::GridFilterLink(grid::GridViewModel& model, store::ActivityTable& table, QObject* parent)
    : QObject(parent), m_model(model)
{
    auto holder = std::make_unique<GridCriteriaHolder>();
    holder->columns = std::make_unique<GridFilterColumns>(model);
    holder->table = std::make_unique<GridFilterTable>(model, table);
    holder->criteria = std::make_unique<TcxDBDataFilterCriteria>(holder->columns.get());
    holder->criteria->SetTable(holder->table.get());
    m_criteria = holder->criteria.get();
    connect(m_criteria, &TcxDBDataFilterCriteria::filterChanged, this, &GridFilterLink::filterChanged);
    model.setFilterCriteria(std::move(holder));
}

GridFilterLink::~GridFilterLink() = default;

void GridFilterLink::run(const std::function<void()>& action) const
{
    if (m_guard) {
        m_guard(action);
        return;
    }
    try {
        action();
    } catch (const OrvaneError& e) {
        QMessageBox::critical(dialogParent(), QStringLiteral("Orvane"), errorBoxText(e.message()));
    } catch (const std::exception& e) {
        QMessageBox::critical(dialogParent(), QStringLiteral("Orvane"), errorBoxText(QString::fromUtf8(e.what())));
    }
}

void GridFilterLink::reportError(const QString& message) const
{
    run([&message] { throw OrvaneError(message); });
}

void GridFilterLink::setVisible(TcxGridTableFilterVisible visible)
{
    m_visible = visible;
    emit filterChanged();
}

bool GridFilterLink::panelShown() const
{
    return m_visible == fvAlways || (m_visible == fvNonEmpty && !m_criteria->IsEmptyFilter());
}

QList<TcxFilterValueItem> GridFilterLink::valueList(int columnId) const
{
    using Item = TcxFilterValueItem;
    // Blanks are offered when a row has no value or one the criteria take
    // for none (an empty text), which is then among the distinct values.
    constexpr int kFixedEntries = 2;   // "(All)" and "(Custom...)"
    // One list, built in place: the blank entries go in front of the values
    // once the values have shown whether any is blank.
    struct Entries final : grid::GridViewModel::DistinctValueSink {
        const TcxDBDataFilterCriteria& criteria;
        const int max;
        bool anyNull = false;
        QList<Item> list;
        qsizetype valueCount = 0;
        explicit Entries(const TcxDBDataFilterCriteria& c) : criteria(c), max(c.MaxValueListCount()) {}
        void expect(size_t count) override { list.reserve(kFixedEntries + 2 + qsizetype(count)); }
        void add(QString&& text, QVariant&& value) override
        {
            if (criteria.IsValueNull(value)) {
                anyNull = true;
                return;
            }
            if (max > 0 && kFixedEntries + valueCount >= max)
                return;   // past the count kept, only a blank value still counts
            list.append({Item::fviValue, std::move(value), std::move(text)});
            ++valueCount;
        }
    } entries(*m_criteria);
    entries.list.append({Item::fviAll, QVariant(), QStringLiteral("(All)")});
    entries.list.append({Item::fviCustom, QVariant(), QStringLiteral("(Custom...)")});
    m_model.forEachDistinctValue(columnId, &entries.anyNull, entries);
    QList<Item>& list = entries.list;
    if (entries.anyNull) {
        // Both made room for at once: the values move along once.
        list.insert(kFixedEntries, 2, {Item::fviBlanks, QVariant(), QStringLiteral("(Blanks)")});
        list[kFixedEntries + 1] = {Item::fviNonBlanks, QVariant(), QStringLiteral("(NonBlanks)")};
    }
    return list;
}

int GridFilterLink::highlightedEntry(int columnId, const QList<TcxFilterValueItem>& list) const
{
    const TcxFilterCriteriaItem* condition = m_criteria->FindColumnCondition(columnId);
    if (!condition)
        return -1;
    auto indexOfKind = [&list](quint8 kind) {
        for (int i = 0; i < list.size(); ++i)
            if (list[i].kind == kind)
                return i;
        return -1;
    };
    const int kind = condition->OperatorKind();
    if ((kind == foEqual || kind == foNotEqual) && isNullValue(condition->Value()))
        return indexOfKind(kind == foEqual ? TcxFilterValueItem::fviBlanks : TcxFilterValueItem::fviNonBlanks);
    if (condition->Parent() != m_criteria->Root() || kind != foEqual)
        return indexOfKind(TcxFilterValueItem::fviCustom);
    for (int i = 0; i < list.size(); ++i)
        if (list[i].kind == TcxFilterValueItem::fviValue && list[i].value == condition->Value())
            return i;
    return indexOfKind(TcxFilterValueItem::fviAll);
}

void GridFilterLink::pick(int columnId, const TcxFilterValueItem& item)
{
    TcxDBDataFilterCriteria& c = *m_criteria;
    FilterChangeLock lock(c);
    switch (item.kind) {
    case TcxFilterValueItem::fviAll:
        if (c.FindColumnCondition(columnId))
            c.RemoveColumnConditions(columnId);
        break;
    case TcxFilterValueItem::fviCustom:
        openCustomDialog(columnId);
        break;
    case TcxFilterValueItem::fviBlanks:
    case TcxFilterValueItem::fviNonBlanks:
        c.SetActive(true);
        c.RemoveColumnConditions(columnId);
        c.AddCondition(nullptr, columnId, item.kind == TcxFilterValueItem::fviBlanks ? foEqual : foNotEqual,
                       QStringLiteral("blank"), QVariant());
        break;
    default: {
        c.SetActive(true);
        c.RemoveColumnConditions(columnId);
        QString text = item.displayText;
        if (text.isEmpty() && !isNullValue(item.value))
            text = item.value.toString();
        c.AddCondition(nullptr, columnId, foEqual, text, item.value);
        break;
    }
    }
}

bool GridFilterLink::isSimpleCriteria() const
{
    const TcxFilterCriteriaItemList* root = m_criteria->Root();
    if (root->BoolOperatorKind() != fboAnd)
        return false;
    QSet<int> used;
    auto simpleCondition = [](const TcxCustomFilterCriteriaItem* item) {
        return !item->IsItemList()
               && static_cast<const TcxFilterCriteriaItem*>(item)->OperatorKind() <= foNotLike;
    };
    for (int i = 0; i < root->Count(); ++i) {
        const TcxCustomFilterCriteriaItem* item = root->Items(i);
        int column = -1;
        if (!item->IsItemList()) {
            if (!simpleCondition(item))
                return false;
            column = static_cast<const TcxFilterCriteriaItem*>(item)->ColumnId();
        } else {
            const auto* group = static_cast<const TcxFilterCriteriaItemList*>(item);
            if (group->BoolOperatorKind() > fboOr || group->Count() != 2 || !simpleCondition(group->Items(0))
                || !simpleCondition(group->Items(1)))
                return false;
            column = static_cast<const TcxFilterCriteriaItem*>(group->Items(0))->ColumnId();
            if (static_cast<const TcxFilterCriteriaItem*>(group->Items(1))->ColumnId() != column)
                return false;
        }
        if (used.contains(column))
            return false;
        used.insert(column);
    }
    return true;
}

void GridFilterLink::attach(grid::ActivityGrid& grid)
{
    m_view = &grid.view();
    m_view->setFilterButtonsVisible(true);
    connect(m_view, &grid::GridView::filterButtonClicked, this,
            [this](int columnId, const QPoint&) { openDropDown(columnId); });
    attachPanel(grid);
}

void GridFilterLink::attachPanel(grid::ActivityGrid& grid)
{
    m_panel = new FilterPanel(&grid);
    grid.setFilterPanel(m_panel);
    // The close button clears every condition; Active stays as it is.
    connect(m_panel, &FilterPanel::closeClicked, this, [this] {
        run([this] {
            FilterChangeLock lock(*m_criteria);
            m_criteria->ClearConditions();
        });
    });
    // A switch the table refused leaves the box showing the criteria's state.
    connect(m_panel, &FilterPanel::activeClicked, this, [this](bool on) {
        run([this, on] {
            FilterChangeLock lock(*m_criteria);
            m_criteria->SetActive(on);
        });
        refreshPanel();
    });
    connect(m_panel, &FilterPanel::customizeClicked, this, [this] { run([this] { openBuilder(); }); });
    connect(this, &GridFilterLink::filterChanged, this, &GridFilterLink::refreshPanel);
    // The text names columns by caption; an import re-captions the code columns.
    connect(&m_model, &grid::GridViewModel::layoutChanged, this, &GridFilterLink::refreshPanel);
    refreshPanel();
}

void GridFilterLink::refreshPanel()
{
    if (m_panel)
        m_panel->showFilter(m_criteria->BuildDisplayText(), m_criteria->Active(), CustomizeDialog, panelShown());
}

void GridFilterLink::openDropDown(int columnId)
{
    if (!m_view)
        return;
    const QList<TcxFilterValueItem> entries = valueList(columnId);
    const int highlighted = highlightedEntry(columnId, entries);
    auto* dropDown = new FilterDropDown(entries, highlighted, m_maxDropDownCount, DropDownWidth, m_view);
    connect(dropDown, &FilterDropDown::picked, this,
            [this, columnId](const TcxFilterValueItem& entry) { run([&] { pick(columnId, entry); }); });
    const QRect header = m_view->columnHeaderRect(columnId);
    dropDown->popup(m_view->viewport()->mapToGlobal(header.bottomRight() + QPoint(1, 1)));
}

void GridFilterLink::openCustomDialog(int columnId)
{
    if (isSimpleCriteria())
        TcxFilterDialog::Execute(*this, columnId);
    else
        TfmFilterControlDialog::Execute(*this);
}

void GridFilterLink::openBuilder()
{
    TfmFilterControlDialog::Execute(*this);
}

QWidget* GridFilterLink::dialogParent() const
{
    return m_view ? m_view->window() : nullptr;
}

} // namespace orvane::filter
