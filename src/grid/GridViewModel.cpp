#include "grid/GridViewModel.h"

#include "store/ActivityTable.h"
#include "store/CopiedValueText.h"

#include <QDateTime>
#include <QLocale>

#include <QHash>

#include <algorithm>
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

std::vector<std::pair<QString, QVariant>> GridViewModel::distinctValues(int columnId, bool* anyNull) const
{
    std::vector<std::pair<QString, QVariant>> result;
    const GridColumn* c = columnById(columnId);
    if (anyNull)
        *anyNull = c && rowCount() > 0 && (c->fieldIndex < 0 || !m_table);
    if (!c || c->fieldIndex < 0 || !m_table)
        return result;
    const FieldKind kind = kindOfField(c->fieldIndex);
    // Many rows share a value: equal cells are found on the cache's own
    // form first, and only each distinct one is turned into a value and a
    // text. The first row (in view order) holding a text gives its value.
    struct CellKey {
        store::CellView::Type type;
        qint64 bits;
        std::string_view text;
        bool operator==(const CellKey& o) const { return type == o.type && bits == o.bits && text == o.text; }
    };
    auto hashOf = [](const CellKey& k) {
        return std::hash<std::string_view>()(k.text) ^ (quint64(k.bits) * 0x9E3779B97F4A7C15ull) ^ size_t(k.type);
    };
    // Open addressing over the distinct cells: a slot holds the index of a
    // cell plus one (0 is free), at most half the slots are taken.
    const size_t slotCount = std::bit_ceil(2 * size_t(rowCount()) + 16);
    std::vector<quint32> cellSlots(slotCount, 0);
    std::vector<std::pair<size_t, CellKey>> keys;   // hash and key of each distinct cell
    std::vector<store::CellView> cells;
    for (int row = 0; row < rowCount(); ++row) {
        const store::CellView cell = m_table->cell(tableRow(row), c->fieldIndex);
        if (cell.isNull()) {
            if (anyNull)
                *anyNull = true;
            continue;
        }
        CellKey key{cell.type, 0, std::string_view(cell.text.data(), size_t(cell.text.size()))};
        switch (cell.type) {
        case store::CellView::Type::Number:
            std::memcpy(&key.bits, &cell.number, sizeof(double));
            break;
        case store::CellView::Type::Boolean:
            key.bits = cell.flag;
            break;
        case store::CellView::Type::Date:
            key.bits = cell.packedDate;
            break;
        default:
            break;
        }
        const size_t hash = hashOf(key);
        size_t at = hash & (slotCount - 1);
        bool known = false;
        for (; cellSlots[at] != 0; at = (at + 1) & (slotCount - 1)) {
            const auto& [otherHash, other] = keys[cellSlots[at] - 1];
            if (otherHash == hash && other == key) {
                known = true;
                break;
            }
        }
        if (!known) {
            keys.push_back({hash, key});
            cellSlots[at] = quint32(keys.size());
            cells.push_back(cell);
        }
    }
    const bool isText = kind == FieldKind::Text;
    const bool allText = std::all_of(cells.begin(), cells.end(),
                                     [](const store::CellView& cell) { return cell.type == store::CellView::Type::Text; });
    const bool allAscii = allText && std::all_of(cells.begin(), cells.end(), [](const store::CellView& cell) {
        return std::all_of(cell.text.begin(), cell.text.end(), [](char b) { return quint8(b) < 0x80; });
    });
    if (isText && allAscii) {
        // ASCII texts: each byte is the text's character and folding only
        // lowers A to Z, so the cells' own bytes sort as their texts do,
        // without case first, then with it. Equal cells were met once.
        auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? char(ch + 32) : ch; };
        // The eight folded bytes after the prefix all texts share (as in
        // "Generated activity 1", "Generated activity 2"), zero-padded, as
        // one number: most comparisons end there, without reaching the texts.
        qsizetype shared = cells.empty() ? 0 : cells.front().text.size();
        for (const store::CellView& cell : cells) {
            const QByteArrayView first = cells.front().text, text = cell.text;
            qsizetype k = 0;
            for (const qsizetype n = std::min(shared, text.size()); k < n && lower(first[k]) == lower(text[k]); ++k) {
            }
            shared = k;
        }
        struct Entry {
            quint64 head;
            int cell;
        };
        std::vector<Entry> order;
        order.reserve(cells.size());
        for (size_t i = 0; i < cells.size(); ++i) {
            const QByteArrayView text = cells[i].text;
            quint64 head = 0;
            for (qsizetype k = shared; k < shared + 8; ++k)
                head = (head << 8) | quint8(k < text.size() ? lower(text[k]) : 0);
            order.push_back({head, int(i)});
        }
        std::sort(order.begin(), order.end(), [&cells, &lower](const Entry& a, const Entry& b) {
            if (a.head != b.head)
                return a.head < b.head;
            const QByteArrayView x = cells[size_t(a.cell)].text, y = cells[size_t(b.cell)].text;
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
                const char fx = lower(cx), fy = lower(cy);
                if (fx != fy)
                    return fx < fy;
                if (exact == 0)
                    exact = cx < cy ? -1 : 1;
            }
            if (x.size() != y.size())
                return x.size() < y.size();
            return exact != 0 ? exact < 0 : a.cell < b.cell;
        });
        result.reserve(order.size());
        for (const Entry& e : order) {
            QString text = QString::fromUtf8(cells[size_t(e.cell)].text);
            QVariant value(text);
            result.push_back({std::move(text), std::move(value)});
        }
        return result;
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
        result.reserve(order.size());
        for (const int i : order) {
            QString& text = texts[size_t(i)].text;
            if (!result.empty() && result.back().first == text)
                continue;
            QVariant value(text);
            result.push_back({std::move(text), std::move(value)});
        }
        return result;
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
    result.reserve(items.size());
    for (auto& item : items)
        result.push_back(std::move(item.second));
    return result;
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
