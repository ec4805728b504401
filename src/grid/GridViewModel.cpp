#include "grid/GridViewModel.h"

#include "store/ChangeMarks.h"

#include "store/ActivityTable.h"
#include "store/CopiedValueText.h"
#include "store/PackedRow.h"

#include <QDateTime>
#include <QLocale>

#include <QHash>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string_view>

namespace orvane::grid {

using store::FieldKind;

// A sort key extracted once per row and sorted column, so sorting compares
// plain numbers and strings instead of QVariants.
struct GridViewModel::SortKey {
    bool null = true;
    double number = 0;
    QString text;
    QString folded;   // text without case, compared first
};

namespace {

// Locale texts of dates and numbers kept at most, per kind.
constexpr qsizetype kTextCacheLimit = 1 << 16;

GridViewModel::SortKey makeKey(const QVariant& value, FieldKind kind)
{
    GridViewModel::SortKey key;
    if (value.isNull())
        return key;
    key.null = false;
    switch (kind) {
    case FieldKind::Text:
        key.text = value.toString();
        key.folded = key.text.toCaseFolded();
        break;
    case FieldKind::Number:
        key.number = value.toDouble();
        break;
    case FieldKind::Date:
        key.number = double(value.toDateTime().toMSecsSinceEpoch());
        break;
    case FieldKind::Boolean:
        key.number = value.toBool() ? 1 : 0;
        break;
    }
    return key;
}

// Nulls sort first; texts compare without case first, then with it, so
// the order is total and does not depend on the table order.
int compareKeys(const GridViewModel::SortKey& a, const GridViewModel::SortKey& b, bool isText)
{
    if (a.null || b.null)
        return int(b.null) - int(a.null);
    if (isText) {
        int c = QString::compare(a.folded, b.folded, Qt::CaseSensitive);
        if (c == 0)
            c = QString::compare(a.text, b.text, Qt::CaseSensitive);
        return c;
    }
    return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
}

FieldKind kindOfField(int fieldIndex)
{
    return fieldIndex >= 0 ? store::fieldKind(fieldIndex) : FieldKind::Text;
}

// Restores the update count on every way out of a filter change.
class UpdateGuard {
public:
    explicit UpdateGuard(GridViewModel& model) : m_model(model) { m_model.beginUpdate(); }
    ~UpdateGuard() { m_model.endUpdate(); }
    UpdateGuard(const UpdateGuard&) = delete;
    UpdateGuard& operator=(const UpdateGuard&) = delete;

private:
    GridViewModel& m_model;
};

// The key of a cached cell, without making a QVariant of it: numbers and
// marks as they are, dates through the table's cache of their instants.
GridViewModel::SortKey makeKey(const store::ActivityTable& table, const store::CellView& cell, int fieldIndex,
                               FieldKind kind)
{
    using Type = store::CellView::Type;
    GridViewModel::SortKey key;
    switch (cell.type) {
    case Type::Null:
        return key;
    case Type::Number:
        if (kind != FieldKind::Number)
            break;
        key.null = false;
        key.number = cell.number;
        return key;
    case Type::Boolean:
        if (kind != FieldKind::Boolean)
            break;
        key.null = false;
        key.number = cell.flag ? 1 : 0;
        return key;
    case Type::Date:
        if (kind != FieldKind::Date)
            break;
        key.null = false;
        key.number = double(table.dateMsecs(cell.packedDate));
        return key;
    case Type::Text:
        if (kind != FieldKind::Text)
            break;
        key.null = false;
        key.text = QString::fromUtf8(cell.text);
        key.folded = key.text.toCaseFolded();
        return key;
    }
    return makeKey(table.valueOf(cell, fieldIndex), kind);
}

} // namespace

GridViewModel::GridViewModel(QObject* parent) : QObject(parent) {}

GridViewModel::~GridViewModel()
{
    disconnectTable();
}

// --- layout building ------------------------------------------------------

void GridViewModel::clearLayout()
{
    m_bands.clear();
    m_columns.clear();
    m_keys.clear();
    invalidateLayout();
    emit layoutChanged();
    rebuildRows();
}

int GridViewModel::addBand(const GridBand& band)
{
    m_bands.push_back(band);
    invalidateLayout();
    emit layoutChanged();
    return int(m_bands.size()) - 1;
}

int GridViewModel::addColumn(const QString& fieldName, int band, int position)
{
    GridColumn column;
    column.id = int(m_columns.size());
    column.fieldName = fieldName;
    column.fieldIndex = store::fieldIndex(fieldName);
    column.band = band;
    column.position = position;
    const FieldKind kind = kindOfField(column.fieldIndex);
    column.contentAlignment = kind == FieldKind::Number    ? Alignment::Right
                              : kind == FieldKind::Boolean ? Alignment::Center
                                                           : Alignment::Left;
    m_columns.push_back(column);
    invalidateLayout();
    emit layoutChanged();
    return column.id;
}

// --- bands ------------------------------------------------------------------

void GridViewModel::setBandVisible(int index, bool visible)
{
    if (index < 0 || index >= bandCount() || m_bands[size_t(index)].visible == visible)
        return;
    m_bands[size_t(index)].visible = visible;
    invalidateLayout();
    emit layoutChanged();
}

void GridViewModel::setBandWidth(int index, int width)
{
    if (index < 0 || index >= bandCount())
        return;
    m_bands[size_t(index)].width = std::max(0, width);
    invalidateLayout();
    emit layoutChanged();
}

QVector<int> GridViewModel::visibleBands() const
{
    QVector<int> result;
    for (int i = 0; i < bandCount(); ++i)
        if (m_bands[size_t(i)].visible)
            result << i;
    return result;
}

int GridViewModel::bandWidth(int index) const
{
    const GridBand& b = band(index);
    if (b.width > 0)
        return b.width;
    ensureWidths();
    int sum = 0;
    for (int id : visibleColumns(index))
        sum += m_onScreenWidth[size_t(id)];
    return sum;
}

QVector<int> GridViewModel::hiddenBands() const
{
    QVector<int> result;
    for (int i = 0; i < bandCount(); ++i)
        if (!m_bands[size_t(i)].visible)
            result << i;
    return result;
}

// --- columns ----------------------------------------------------------------

const GridColumn* GridViewModel::columnById(int id) const
{
    return id >= 0 && id < columnCount() ? &m_columns[size_t(id)] : nullptr;
}

int GridViewModel::columnIdOfField(const QString& fieldName) const
{
    for (const GridColumn& c : m_columns)
        if (c.fieldName == fieldName)
            return c.id;
    return -1;
}

QString GridViewModel::columnCaption(int id) const
{
    const GridColumn& c = column(id);
    return c.caption.isEmpty() ? c.fieldName : c.caption;
}

void GridViewModel::setColumnCaption(int id, const QString& caption)
{
    if (!columnById(id))
        return;
    m_columns[size_t(id)].caption = caption;
    emit layoutChanged();
}

void GridViewModel::setColumnHidden(int id, bool hidden)
{
    if (!columnById(id))
        return;
    m_columns[size_t(id)].hidden = hidden;
    emit layoutChanged();
}

void GridViewModel::setColumnVisible(int id, bool visible)
{
    if (!columnById(id) || m_columns[size_t(id)].visible == visible)
        return;
    m_columns[size_t(id)].visible = visible;
    invalidateLayout();
    emit layoutChanged();
}

void GridViewModel::setColumnReadOnly(int id, bool readOnly)
{
    if (columnById(id))
        m_columns[size_t(id)].readOnly = readOnly;
}

void GridViewModel::setColumnWidth(int id, int width)
{
    if (!columnById(id))
        return;
    m_columns[size_t(id)].width = std::max(1, width);
    invalidateLayout();
    emit layoutChanged();
}

void GridViewModel::resizeColumn(int id, int onScreenWidth)
{
    if (!columnById(id))
        return;
    onScreenWidth = std::max(4, onScreenWidth);
    GridColumn& c = m_columns[size_t(id)];
    GridBand& b = m_bands[size_t(c.band)];
    if (b.width > 0) {
        ensureWidths();
        int sum = 0;
        for (int other : visibleColumns(c.band)) {
            m_columns[size_t(other)].width = other == id ? onScreenWidth : m_onScreenWidth[size_t(other)];
            sum += m_columns[size_t(other)].width;
        }
        b.width = sum;
    } else {
        c.width = onScreenWidth;
    }
    invalidateLayout();
    emit layoutChanged();
}

void GridViewModel::setColumnHeaderAlignment(int id, Alignment alignment)
{
    if (columnById(id)) {
        m_columns[size_t(id)].headerAlignment = alignment;
        emit layoutChanged();
    }
}

void GridViewModel::setColumnContentAlignment(int id, Alignment alignment)
{
    if (columnById(id)) {
        m_columns[size_t(id)].contentAlignment = alignment;
        emit layoutChanged();
    }
}

QVector<int> GridViewModel::bandColumnsByPosition(int band) const
{
    QVector<int> ids;
    for (const GridColumn& c : m_columns)
        if (c.band == band)
            ids << c.id;
    std::stable_sort(ids.begin(), ids.end(), [this](int a, int b) {
        return m_columns[size_t(a)].position < m_columns[size_t(b)].position;
    });
    return ids;
}

void GridViewModel::renumber(const QVector<int>& ids)
{
    for (int i = 0; i < ids.size(); ++i)
        m_columns[size_t(ids[i])].position = i;
}

void GridViewModel::moveColumn(int id, int position)
{
    if (!columnById(id))
        return;
    QVector<int> ids = bandColumnsByPosition(m_columns[size_t(id)].band);
    ids.removeOne(id);
    ids.insert(std::clamp(position, 0, int(ids.size())), id);
    renumber(ids);
    invalidateLayout();
    emit layoutChanged();
}

void GridViewModel::showColumnAt(int id, int beforeVisibleId)
{
    if (!columnById(id))
        return;
    const int band = m_columns[size_t(id)].band;
    QVector<int> ids = bandColumnsByPosition(band);
    ids.removeOne(id);
    int at = -1;
    if (beforeVisibleId >= 0 && beforeVisibleId != id && columnById(beforeVisibleId)
        && m_columns[size_t(beforeVisibleId)].band == band)
        at = int(ids.indexOf(beforeVisibleId));
    if (at < 0) {
        // After the last visible column of the band.
        at = 0;
        for (int i = 0; i < ids.size(); ++i)
            if (m_columns[size_t(ids[i])].visible)
                at = i + 1;
    }
    ids.insert(at, id);
    renumber(ids);
    m_columns[size_t(id)].visible = true;
    invalidateLayout();
    emit layoutChanged();
}

QVector<int> GridViewModel::visibleColumns(int band) const
{
    QVector<int> ids = bandColumnsByPosition(band);
    ids.removeIf([this](int id) { return !m_columns[size_t(id)].visible; });
    return ids;
}

QVector<int> GridViewModel::visibleColumnsInOrder() const
{
    QVector<int> result;
    for (int b : visibleBands())
        result += visibleColumns(b);
    return result;
}

int GridViewModel::columnWidth(int id) const
{
    ensureWidths();
    return m_onScreenWidth.at(size_t(id));
}

void GridViewModel::invalidateLayout()
{
    m_onScreenWidth.clear();
}

// A band of stated width shares it among its visible columns in proportion
// to their stated widths; the last column takes what rounding leaves.
void GridViewModel::ensureWidths() const
{
    if (m_onScreenWidth.size() == m_columns.size() && !m_columns.empty())
        return;
    m_onScreenWidth.assign(m_columns.size(), 0);
    for (const GridColumn& c : m_columns)
        m_onScreenWidth[size_t(c.id)] = c.width;
    for (int b = 0; b < bandCount(); ++b) {
        const int stated = m_bands[size_t(b)].width;
        if (stated <= 0)
            continue;
        const QVector<int> ids = visibleColumns(b);
        long long total = 0;
        for (int id : ids)
            total += m_columns[size_t(id)].width;
        if (total <= 0 || total == stated)
            continue;
        int used = 0;
        for (int i = 0; i < ids.size(); ++i) {
            int w;
            if (i + 1 == ids.size())
                w = stated - used;
            else
                w = int(std::lround(double(m_columns[size_t(ids[i])].width) * stated / double(total)));
            w = std::max(1, w);
            m_onScreenWidth[size_t(ids[i])] = w;
            used += w;
        }
    }
}

QVector<int> GridViewModel::customizableColumns() const
{
    QVector<int> result;
    for (const GridColumn& c : m_columns)
        if (!c.visible && !c.hidden)
            result << c.id;
    return result;
}

EditorKind GridViewModel::editorKind(int id) const
{
    switch (kindOfField(column(id).fieldIndex)) {
    case FieldKind::Number:
        return EditorKind::Number;
    case FieldKind::Date:
        return EditorKind::Date;
    case FieldKind::Boolean:
        return EditorKind::CheckBox;
    case FieldKind::Text:
        break;
    }
    return EditorKind::Text;
}

int GridViewModel::headerRowCount() const
{
    int rows = 1;
    for (const GridColumn& c : m_columns)
        if (c.visible && band(c.band).visible)
            rows = std::max(rows, c.rowIndex + c.rowSpan);
    return rows;
}

// --- sorting ----------------------------------------------------------------

void GridViewModel::sortBy(int id, SortOrder order)
{
    for (GridColumn& c : m_columns) {
        c.sortOrder = SortOrder::None;
        c.sortIndex = -1;
    }
    if (columnById(id) && order != SortOrder::None) {
        m_columns[size_t(id)].sortOrder = order;
        m_columns[size_t(id)].sortIndex = 0;
    }
    emit sortChanged();
    rebuildRows();
}

void GridViewModel::setColumnSortOrder(int id, SortOrder order)
{
    if (!columnById(id))
        return;
    QVector<int> sorted = sortedColumns();
    sorted.removeOne(id);
    if (order != SortOrder::None)
        sorted << id;
    m_columns[size_t(id)].sortOrder = order;
    m_columns[size_t(id)].sortIndex = -1;
    for (int i = 0; i < sorted.size(); ++i)
        m_columns[size_t(sorted[i])].sortIndex = i;
    emit sortChanged();
    rebuildRows();
}

void GridViewModel::clearSorting()
{
    sortBy(-1, SortOrder::None);
}

QVector<int> GridViewModel::sortedColumns() const
{
    QVector<int> ids;
    for (const GridColumn& c : m_columns)
        if (c.sortOrder != SortOrder::None && c.sortIndex >= 0)
            ids << c.id;
    std::sort(ids.begin(), ids.end(), [this](int a, int b) {
        return m_columns[size_t(a)].sortIndex < m_columns[size_t(b)].sortIndex;
    });
    return ids;
}

void GridViewModel::setOptions(const GridViewOptions& options)
{
    m_options = options;
    emit layoutChanged();
}

// --- the data source --------------------------------------------------------

void GridViewModel::setTable(store::ActivityTable* table)
{
    if (table == m_table)
        return;
    disconnectTable();
    m_table = table;
    connectTable();
    rebuildRows();
}

void GridViewModel::connectTable()
{
    if (!m_table)
        return;
    m_connections << connect(m_table, &store::ActivityTable::rowsReset, this, [this] { onTableReset(); });
    m_connections << connect(m_table, &store::ActivityTable::rowsFetched, this,
                             [this](int first, int last) { onRowsFetched(first, last); });
    m_connections << connect(m_table, &store::ActivityTable::rowPosted, this,
                             [this](int row) { onRowPosted(row); });
    m_connections << connect(m_table, &store::ActivityTable::rowAppended, this,
                             [this](int row) { onRowsFetched(row, row); });
    m_connections << connect(m_table, &store::ActivityTable::afterScroll, this, [this] { onAfterScroll(); });
    m_connections << connect(m_table, &store::ActivityTable::fetchFinished, this, &GridViewModel::allRowsArrived);
    m_connections << connect(m_table, &QObject::destroyed, this, [this] {
        m_connections.clear();
        m_table = nullptr;
        rebuildRows();
    });
}

void GridViewModel::disconnectTable()
{
    for (const auto& c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
}

void GridViewModel::detachDataSource()
{
    if (m_detachCount++ == 0)
        rebuildRows();
}

void GridViewModel::reattachDataSource()
{
    if (m_detachCount == 0)
        return;
    if (--m_detachCount == 0)
        rebuildRows();
}

void GridViewModel::reload()
{
    rebuildRows();
}

void GridViewModel::beginUpdate()
{
    ++m_updateCount;
}

void GridViewModel::endUpdate()
{
    if (m_updateCount == 0)
        return;
    if (--m_updateCount == 0 && m_reloadPending)
        rebuildRows();
}

void GridViewModel::fillKeys(int firstTableRow, int lastTableRow)
{
    const QVector<int> sorted = sortedColumns();
    if (sorted != m_sortIds) {
        m_sortIds = sorted;
        m_keys.clear();
    }
    m_keys.resize(size_t(sorted.size()));
    for (int k = 0; k < sorted.size(); ++k) {
        const GridColumn& c = m_columns[size_t(sorted[k])];
        const FieldKind kind = kindOfField(c.fieldIndex);
        std::vector<SortKey>& keys = m_keys[size_t(k)];
        if (int(keys.size()) <= lastTableRow)
            keys.resize(size_t(lastTableRow) + 1);
        for (int row = firstTableRow; row <= lastTableRow; ++row)
            keys[size_t(row)] =
                c.fieldIndex >= 0 ? makeKey(*m_table, m_table->cell(row, c.fieldIndex), c.fieldIndex, kind) : SortKey{};
    }
}

bool GridViewModel::lessThan(int a, int b) const
{
    const QVector<int>& sorted = m_sortIds;
    for (int k = 0; k < sorted.size() && k < int(m_keys.size()); ++k) {
        const GridColumn& c = m_columns[size_t(sorted[k])];
        const std::vector<SortKey>& keys = m_keys[size_t(k)];
        int cmp = compareKeys(keys[size_t(a)], keys[size_t(b)], kindOfField(c.fieldIndex) == FieldKind::Text);
        if (cmp != 0)
            return c.sortOrder == SortOrder::Descending ? cmp > 0 : cmp < 0;
    }
    return a < b;   // equal keys keep the table order
}

void GridViewModel::sortRows()
{
    const QVector<int>& sorted = m_sortIds;
    if (sorted.isEmpty() || m_order.size() < 2 || m_keys.size() < size_t(sorted.size()))
        return;
    // Hoist the per-column facts out of the comparison.
    struct Part {
        const std::vector<SortKey>* keys;
        bool text;
        bool descending;
    };
    std::vector<Part> parts;
    for (int k = 0; k < sorted.size(); ++k) {
        const GridColumn& c = m_columns[size_t(sorted[k])];
        parts.push_back({&m_keys[size_t(k)], kindOfField(c.fieldIndex) == FieldKind::Text,
                         c.sortOrder == SortOrder::Descending});
    }
    std::sort(m_order.begin(), m_order.end(), [&parts](int a, int b) {
        for (const Part& p : parts) {
            int cmp = compareKeys((*p.keys)[size_t(a)], (*p.keys)[size_t(b)], p.text);
            if (cmp != 0)
                return p.descending ? cmp > 0 : cmp < 0;
        }
        return a < b;
    });
}

void GridViewModel::rebuildInverse()
{
    const int n = m_table && !isDetached() ? m_table->rowCount() : 0;
    m_inverse.assign(size_t(n), -1);
    for (int v = 0; v < int(m_order.size()); ++v)
        if (m_order[size_t(v)] < n)
            m_inverse[size_t(m_order[size_t(v)])] = v;
}

void GridViewModel::rebuildRows()
{
    if (m_updateCount > 0) {
        m_reloadPending = true;
        return;
    }
    m_reloadPending = false;
    m_orderStale = false;
    m_order.clear();
    m_keys.clear();
    m_sortIds = sortedColumns();
    if (m_table && !isDetached()) {
        const int n = m_table->rowCount();
        m_order.resize(size_t(n));
        std::iota(m_order.begin(), m_order.end(), 0);
        if (n > 0)
            fillKeys(0, n - 1);
        sortRows();
    }
    rebuildInverse();
    emit rowsReset();
    emit focusedRowChanged(focusedRow());
}

void GridViewModel::onTableReset()
{
    if (orderSurvivesReset()) {
        // The same rows in the same places, only cells of unsorted columns
        // changed: keys and order stand, the views repaint.
        emit rowsReset();
        emit focusedRowChanged(focusedRow());
        return;
    }
    rebuildRows();
}

bool GridViewModel::orderSurvivesReset() const
{
    const std::vector<int>& changed = m_table->columnsOfLastReset();
    if (changed.empty() || isDetached() || m_updateCount > 0 || m_reloadPending || m_orderStale
        || m_order.size() != size_t(m_table->rowCount()) || sortedColumns() != m_sortIds)
        return false;
    for (const int id : m_sortIds) {
        const int field = m_columns[size_t(id)].fieldIndex;
        if (field >= 0 && std::binary_search(changed.begin(), changed.end(), field))
            return false;
    }
    return true;
}

void GridViewModel::onRowsFetched(int first, int last)
{
    if (isDetached())
        return;
    if (m_updateCount > 0) {
        m_reloadPending = true;
        return;
    }
    if (first != int(m_order.size())) {   // out of step: start over
        rebuildRows();
        return;
    }
    fillKeys(first, last);
    const size_t oldSize = m_order.size();
    for (int row = first; row <= last; ++row)
        m_order.push_back(row);
    if (m_sortIds.isEmpty()) {
        rebuildInverse();
        emit rowsInserted(first, last);
        return;
    }
    // Sort the new rows alone, then merge them into the sorted ones.
    std::vector<int> all;
    all.swap(m_order);
    m_order.assign(all.begin() + qsizetype(oldSize), all.end());
    sortRows();
    std::vector<int> fresh;
    fresh.swap(m_order);
    m_order.reserve(all.size());
    std::merge(all.begin(), all.begin() + qsizetype(oldSize), fresh.begin(), fresh.end(),
               std::back_inserter(m_order), [this](int a, int b) { return lessThan(a, b); });
    rebuildInverse();
    emit rowsReset();
    emit focusedRowChanged(focusedRow());
}

void GridViewModel::onRowPosted(int tableRow)
{
    if (isDetached())
        return;
    if (m_updateCount > 0) {
        m_reloadPending = true;
        return;
    }
    const int viewRow = viewRowOf(tableRow);
    if (viewRow < 0) {
        rebuildRows();
        return;
    }
    if (m_smartRefresh || m_sortIds.isEmpty()) {
        fillKeys(tableRow, tableRow);
        m_orderStale = m_orderStale || !m_sortIds.isEmpty();
        emit rowChanged(viewRow);
        return;
    }
    if (m_orderStale) {   // rows refreshed in place earlier may be out of order
        rebuildRows();
        return;
    }
    // Without smart refresh the row takes its place in the order again,
    // as a reload of every row would put it.
    fillKeys(tableRow, tableRow);
    m_order.erase(m_order.begin() + viewRow);
    auto at = std::lower_bound(m_order.begin(), m_order.end(), tableRow,
                               [this](int a, int b) { return lessThan(a, b); });
    m_order.insert(at, tableRow);
    rebuildInverse();
    emit rowsReset();
    emit focusedRowChanged(focusedRow());
}

void GridViewModel::onAfterScroll()
{
    if (isDetached() || m_updateCount > 0)
        return;
    emit focusedRowChanged(focusedRow());
}

// --- rows as shown ----------------------------------------------------------

int GridViewModel::tableRow(int viewRow) const
{
    return viewRow >= 0 && viewRow < rowCount() ? m_order[size_t(viewRow)] : -1;
}

int GridViewModel::viewRowOf(int tableRow) const
{
    return tableRow >= 0 && tableRow < int(m_inverse.size()) ? m_inverse[size_t(tableRow)] : -1;
}

qint64 GridViewModel::rowKey(int viewRow) const
{
    const int row = tableRow(viewRow);
    return row >= 0 && m_table ? m_table->rowIdAt(row) : 0;
}

int GridViewModel::viewRowOfKey(qint64 key) const
{
    return m_table && !isDetached() ? viewRowOf(m_table->rowOfId(key)) : -1;
}

bool GridViewModel::allRowsPresent() const
{
    return !m_table || !m_table->isFetching();
}

void GridViewModel::fetchAllRows() const
{
    if (m_table && m_table->isFetching())
        m_table->fetchAll();
}

void GridViewModel::setChangeMarks(const store::ChangeMarks* marks)
{
    m_changeMarks = marks;
}

bool GridViewModel::isChangedCell(int viewRow, int columnId) const
{
    if (!m_changeMarks || m_changeMarks->changedRowCount() == 0)
        return false;
    const GridColumn* c = columnById(columnId);
    const int row = tableRow(viewRow);
    if (!c || row < 0 || c->fieldIndex < 0 || !m_table)
        return false;
    return m_changeMarks->isChanged(m_table->rowIdAt(row), c->fieldIndex);
}

QVariant GridViewModel::value(int viewRow, int columnId) const
{
    const GridColumn* c = columnById(columnId);
    const int row = tableRow(viewRow);
    if (!c || row < 0 || c->fieldIndex < 0 || !m_table)
        return QVariant();
    return m_table->value(row, c->fieldIndex);
}

QString GridViewModel::displayText(int viewRow, int columnId) const
{
    const GridColumn* c = columnById(columnId);
    if (!c)
        return QString();
    const int row = tableRow(viewRow);
    if (row < 0 || c->fieldIndex < 0 || !m_table)
        return displayTextOf(QVariant(), kindOfField(c->fieldIndex));
    return cellText(m_table->cell(row, c->fieldIndex), c->fieldIndex);
}

void GridViewModel::displayTexts(int viewRow, const int* columnIds, int count, QString* texts) const
{
    const int row = tableRow(viewRow);
    if (row < 0 || !m_table) {
        for (int i = 0; i < count; ++i)
            texts[i] = displayText(viewRow, columnIds[i]);
        return;
    }
    // One walk over the row's cells serves every column asked for.
    store::CellView cells[store::kColumnCount];
    m_table->rowCells(row, cells);
    for (int i = 0; i < count; ++i) {
        const GridColumn* c = columnById(columnIds[i]);
        if (!c)
            texts[i].clear();
        else if (c->fieldIndex < 0)
            texts[i] = displayTextOf(QVariant(), kindOfField(c->fieldIndex));
        else
            texts[i] = cellText(cells[c->fieldIndex], c->fieldIndex);
    }
}

QString GridViewModel::cellText(const store::CellView& cell, int fieldIndex) const
{
    using Type = store::CellView::Type;
    const FieldKind kind = kindOfField(fieldIndex);
    if (cell.isNull())
        return QString();
    if (cell.type == Type::Text && kind == FieldKind::Text)
        return QString::fromUtf8(cell.text);
    // Dates and numbers repeat across rows and their locale form is the
    // costly part: each distinct one is formatted once per locale.
    if ((cell.type == Type::Date && kind == FieldKind::Date) || (cell.type == Type::Number && kind == FieldKind::Number)) {
        if (m_textLocale != QLocale()) {
            m_textLocale = QLocale();
            m_dateTexts.clear();
            m_numberTexts.clear();
        }
        QHash<qint64, QString>& texts = cell.type == Type::Date ? m_dateTexts : m_numberTexts;
        qint64 key = cell.packedDate;
        if (cell.type == Type::Number)
            std::memcpy(&key, &cell.number, sizeof key);
        const auto known = texts.constFind(key);
        if (known != texts.constEnd())
            return *known;
        if (texts.size() >= kTextCacheLimit)
            texts.clear();
        return *texts.insert(key, displayTextOf(m_table->valueOf(cell, fieldIndex), kind));
    }
    return displayTextOf(m_table->valueOf(cell, fieldIndex), kind);
}

QString GridViewModel::toolTipText(int viewRow, int columnId) const
{
    const GridColumn* c = columnById(columnId);
    if (!c)
        return QString();
    return store::copiedText(value(viewRow, columnId), kindOfField(c->fieldIndex));
}

QString GridViewModel::displayTextOf(const QVariant& value, FieldKind kind)
{
    // One rule for the grid and for values copied into log lines by statements.
    return store::displayText(value, kind);
}

namespace {

// The bits of a cell that are not its text, for telling cells apart.
qint64 cellBits(const store::CellView& cell)
{
    qint64 bits = 0;
    switch (cell.type) {
    case store::CellView::Type::Number:
        std::memcpy(&bits, &cell.number, sizeof(double));
        break;
    case store::CellView::Type::Boolean:
        bits = cell.flag;
        break;
    case store::CellView::Type::Date:
        bits = cell.packedDate;
        break;
    default:
        break;
    }
    return bits;
}

char foldAscii(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? char(ch + 32) : ch;
}

// Whether ASCII text x sorts before y: without case first, then with it,
// then the one met first.
bool asciiTextLess(QByteArrayView x, QByteArrayView y, int firstOfX, int firstOfY)
{
    const qsizetype n = std::min(x.size(), y.size());
    qsizetype i = 0;
    // Equal bytes are equal folded too: skip them eight at a time.
    for (quint64 wx, wy; i + 8 <= n; i += 8) {
        std::memcpy(&wx, x.data() + i, 8);
        std::memcpy(&wy, y.data() + i, 8);
        if (wx != wy)
            break;
    }
    int exact = 0;
    for (; i < n; ++i) {
        const char cx = x[i], cy = y[i];
        if (cx == cy)
            continue;
        const char fx = foldAscii(cx), fy = foldAscii(cy);
        if (fx != fy)
            return fx < fy;
        if (exact == 0)
            exact = cx < cy ? -1 : 1;
    }
    if (x.size() != y.size())
        return x.size() < y.size();
    return exact != 0 ? exact < 0 : firstOfX < firstOfY;
}

// The order of distinct ASCII texts as the grid sorts their texts. Each byte
// is the text's character and folding only lowers A to Z, so the bytes sort
// as the texts do.
std::vector<int> asciiTextOrder(const std::vector<store::CellView>& cells)
{
    // The eight folded bytes after the beginning all texts share (as in
    // "Generated activity 1", "Generated activity 2"), zero-padded, as one
    // number: sorted by those numbers a byte at a time (a radix sort), the
    // texts need comparing only within runs of equal numbers.
    qsizetype shared = cells.empty() ? 0 : cells.front().text.size();
    for (const store::CellView& cell : cells) {
        const QByteArrayView first = cells.front().text, text = cell.text;
        qsizetype k = 0;
        for (const qsizetype n = std::min(shared, text.size()); k < n && foldAscii(first[k]) == foldAscii(text[k]); ++k) {
        }
        shared = k;
    }
    struct Entry {
        quint64 head;
        int cell;
    };
    std::vector<Entry> order(cells.size()), spare(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        const QByteArrayView text = cells[i].text;
        quint64 head = 0;
        for (qsizetype k = shared; k < shared + 8; ++k)
            head = (head << 8) | quint8(k < text.size() ? foldAscii(text[k]) : 0);
        order[i] = {head, int(i)};
    }
    // Least significant byte first; each pass keeps the order of equal bytes,
    // so equal numbers stay in the order the cells were met.
    for (int shift = 0; shift < 64; shift += 8) {
        std::array<size_t, 257> start{};
        for (const Entry& e : order)
            ++start[((e.head >> shift) & 0xFF) + 1];
        if (std::any_of(start.begin(), start.end(), [&order](size_t n) { return n == order.size(); }))
            continue;   // every number has the same byte here
        std::partial_sum(start.begin(), start.end(), start.begin());
        for (const Entry& e : order)
            spare[start[(e.head >> shift) & 0xFF]++] = e;
        order.swap(spare);
    }
    for (size_t first = 0; first < order.size();) {
        size_t end = first + 1;
        while (end < order.size() && order[end].head == order[first].head)
            ++end;
        if (end - first > 1)
            std::sort(order.begin() + qsizetype(first), order.begin() + qsizetype(end),
                      [&cells](const Entry& a, const Entry& b) {
                          return asciiTextLess(cells[size_t(a.cell)].text, cells[size_t(b.cell)].text, a.cell, b.cell);
                      });
        first = end;
    }
    std::vector<int> cellOrder(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        cellOrder[i] = order[i].cell;
    return cellOrder;
}

} // namespace

struct GridViewModel::DistinctCells {
    store::CellCopies copies;
    std::vector<store::CellView> cells;   // their texts point into `copies`
};

GridViewModel::DistinctCells GridViewModel::distinctCells(int fieldIndex, bool* anyNull) const
{
    DistinctCells distinct;
    store::CellCopies& copies = distinct.copies;
    // Open addressing over the distinct cells: a slot holds a cell's hash
    // (high half) and its index plus one (low half, 0 is free); at most half
    // the slots are taken. The hash in the slot spares a visit to the cell.
    // The table starts small, for the many columns with few values.
    size_t slotCount = 1024;
    std::vector<quint64> hashSlots(slotCount, 0);
    auto grow = [&hashSlots, &slotCount] {
        std::vector<quint64> old(2 * slotCount, 0);
        old.swap(hashSlots);
        slotCount *= 2;
        for (const quint64 slot : old) {
            if (slot == 0)
                continue;
            size_t at = size_t(slot >> 32) & (slotCount - 1);
            while (hashSlots[at] != 0)
                at = (at + 1) & (slotCount - 1);
            hashSlots[at] = slot;
        }
    };
    // The distinct cells are copied, their texts one after another: the sort
    // and the making of texts that follow then read them in a few pages
    // instead of one scattered row each.
    // The rows are read a block at a time and each block is taken in while
    // its rows are still in the cache.
    constexpr size_t kBlock = 512;
    store::CellView block[kBlock];
    for (size_t first = 0; first < m_order.size(); first += kBlock) {
        const size_t count = std::min(kBlock, m_order.size() - first);
        m_table->columnCells(m_order.data() + first, qsizetype(count), fieldIndex, block);
        for (size_t i = 0; i < count; ++i) {
            const store::CellView& cell = block[i];
            if (cell.isNull()) {
                if (anyNull)
                    *anyNull = true;
                continue;
            }
            const std::string_view text(cell.text.data(), size_t(cell.text.size()));
            const qint64 bits = cellBits(cell);
            const quint32 hash = quint32(
                (std::hash<std::string_view>()(text) ^ (quint64(bits) * 0x9E3779B97F4A7C15ull) ^ size_t(cell.type))
                >> 16);
            size_t at = hash & (slotCount - 1);
            bool known = false;
            for (; hashSlots[at] != 0; at = (at + 1) & (slotCount - 1)) {
                if (quint32(hashSlots[at] >> 32) != hash)
                    continue;
                const store::CellView other = copies.at(size_t(quint32(hashSlots[at])) - 1);
                if (other.type == cell.type && cellBits(other) == bits && other.text == cell.text) {
                    known = true;
                    break;
                }
            }
            if (known)
                continue;
            copies.append(cell);
            hashSlots[at] = (quint64(hash) << 32) | quint64(copies.size());
            if (2 * copies.size() >= slotCount)
                grow();
        }
    }
    distinct.cells = copies.takeCells();
    return distinct;
}

std::vector<std::pair<QString, QVariant>> GridViewModel::distinctValues(int columnId, bool* anyNull) const
{
    struct Collect final : DistinctValueSink {
        std::vector<std::pair<QString, QVariant>> values;
        void expect(size_t count) override { values.reserve(count); }
        void add(QString&& text, QVariant&& value) override { values.emplace_back(std::move(text), std::move(value)); }
    } collect;
    forEachDistinctValue(columnId, anyNull, collect);
    return std::move(collect.values);
}

void GridViewModel::forEachDistinctValue(int columnId, bool* anyNull, DistinctValueSink& sink) const
{
    const GridColumn* c = columnById(columnId);
    if (anyNull)
        *anyNull = c && rowCount() > 0 && (c->fieldIndex < 0 || !m_table);
    if (!c || c->fieldIndex < 0 || !m_table)
        return;
    const FieldKind kind = kindOfField(c->fieldIndex);
    // Many rows share a value: equal cells are found on the cache's own
    // form first, and only each distinct one is turned into a value and a
    // text. The first row (in view order) holding a text gives its value.
    const DistinctCells distinct = distinctCells(c->fieldIndex, anyNull);
    const std::vector<store::CellView>& cells = distinct.cells;
    sink.expect(cells.size());
    const bool isText = kind == FieldKind::Text;
    const bool allText = std::all_of(cells.begin(), cells.end(),
                                     [](const store::CellView& cell) { return cell.type == store::CellView::Type::Text; });
    const bool allAscii = allText && std::all_of(cells.begin(), cells.end(), [](const store::CellView& cell) {
        return std::all_of(cell.text.begin(), cell.text.end(), [](char b) { return quint8(b) < 0x80; });
    });
    if (isText && allAscii) {
        // Equal cells were met once: each entry is a text of its own.
        for (const int i : asciiTextOrder(cells)) {
            QString text = QString::fromUtf8(cells[size_t(i)].text);
            QVariant value(text);
            sink.add(std::move(text), std::move(value));
        }
        return;
    }
    if (isText && allText) {
        // A text cell of a text column is its own value, display text and
        // sort key: each text is made once, and its case fold once. Texts
        // equal after decoding sort together, the first in view order first.
        struct TextEntry {
            QString text;
            QString folded;
        };
        std::vector<TextEntry> texts;
        texts.reserve(cells.size());
        for (const store::CellView& cell : cells) {
            QString text = QString::fromUtf8(cell.text);
            QString folded = text.toCaseFolded();
            texts.push_back({std::move(text), std::move(folded)});
        }
        std::vector<int> order(texts.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&texts](int a, int b) {
            const TextEntry& x = texts[size_t(a)];
            const TextEntry& y = texts[size_t(b)];
            int c = QString::compare(x.folded, y.folded, Qt::CaseSensitive);
            if (c == 0)
                c = QString::compare(x.text, y.text, Qt::CaseSensitive);
            return c != 0 ? c < 0 : a < b;
        });
        const QString* previous = nullptr;
        for (const int i : order) {
            const QString& text = texts[size_t(i)].text;
            if (previous && *previous == text)
                continue;
            previous = &text;
            sink.add(QString(text), QVariant(text));
        }
        return;
    }
    QHash<QString, size_t> byText;
    std::vector<std::pair<SortKey, std::pair<QString, QVariant>>> items;
    for (const store::CellView& cell : cells) {
        QVariant v = m_table->valueOf(cell, c->fieldIndex);
        QString text = displayTextOf(v, kind);
        if (byText.contains(text))
            continue;
        byText.insert(text, items.size());
        items.push_back({makeKey(*m_table, cell, c->fieldIndex, kind), {std::move(text), std::move(v)}});
    }
    std::sort(items.begin(), items.end(), [isText](const auto& a, const auto& b) {
        const int c = compareKeys(a.first, b.first, isText);
        return c != 0 ? c < 0 : a.second.first < b.second.first;
    });
    for (auto& item : items)
        sink.add(std::move(item.second.first), std::move(item.second.second));
}

// --- focus and editing ------------------------------------------------------

int GridViewModel::focusedRow() const
{
    if (!m_table || isDetached())
        return -1;
    return viewRowOf(m_table->currentRow());
}

void GridViewModel::setFocusedRow(int viewRow)
{
    const int row = tableRow(viewRow);
    if (row < 0 || !m_table)
        return;
    if (m_table->currentRow() != row)
        m_table->setCurrentRow(row);
}

bool GridViewModel::isColumnEditable(int id) const
{
    const GridColumn* c = columnById(id);
    return c && m_options.editing && !c->readOnly && c->fieldIndex >= 0;
}

bool GridViewModel::setCellValue(int viewRow, int columnId, const QVariant& value)
{
    const int row = tableRow(viewRow);
    if (!isColumnEditable(columnId) || row < 0 || !m_table)
        return false;
    const int field = column(columnId).fieldIndex;
    m_table->setCurrentRow(row);
    try {
        m_table->setFieldValue(field, value);
        if (m_cellPostWrapper)
            m_cellPostWrapper([this] { m_table->post(); });
        else
            m_table->post();
    } catch (...) {
        m_table->cancel();
        throw;
    }
    return true;
}

// --- the row filter ---------------------------------------------------------

void GridViewModel::setFilterCriteria(std::unique_ptr<GridFilterCriteria> criteria)
{
    m_filterCriteria = std::move(criteria);
}

void GridViewModel::applyTableFilter(const QString& filterText, bool on)
{
    if (!m_table || m_smartRefresh)
        return;
    {
        UpdateGuard guard(*this);
        m_table->setFilter(filterText);
        m_table->setFiltered(on && !filterText.isEmpty());
    }
    rebuildRows();
}

} // namespace orvane::grid
