#include "store/ChangeMarks.h"

#include "store/ActivityTable.h"
#include "store/Database.h"
#include "store/Statement.h"

#include <sqlite3.h>

#include <algorithm>

namespace orvane::store {

static_assert(kTextFieldCount <= 127, "the last bit of a mask tells whether the row has a base");

namespace {

// The text field a column holds (0 the description, n log n), or -1.
int textFieldOfColumn(int column)
{
    if (column == kDescriptionColumn)
        return 0;
    const int log = logNumberOfColumn(column);
    return log > 0 ? log : -1;
}

std::vector<int> allFields()
{
    std::vector<int> fields(kTextFieldCount);
    for (int field = 0; field < kTextFieldCount; ++field)
        fields[size_t(field)] = field;
    return fields;
}

} // namespace

ChangeMarks::ChangeMarks(ActivityTable& table, ImportBase& base, QObject* parent)
    : QObject(parent), m_table(table), m_base(base)
{
    connect(&table, &ActivityTable::dataReread, this, &ChangeMarks::onDataReread);
    connect(&table, &ActivityTable::rowPosted, this, &ChangeMarks::onRowPosted);
}

void ChangeMarks::setEnabled(bool on)
{
    m_enabled = on;
    recomputeAll();
}

void ChangeMarks::followBase()
{
    if (m_enabled && m_base.revision() != m_baseRevision)
        recomputeAll();
}

void ChangeMarks::recomputeAll()
{
    m_baseRevision = m_base.revision();
    m_masks.clear();
    m_masks.shrink_to_fit();
    m_hasBase = false;
    if (m_enabled && m_table.isActive()) {
        try {
            m_hasBase = m_base.project().has_value();
            if (m_hasBase) {
                Statement range(m_table.database().handle(),
                                QStringLiteral("SELECT min(rowid), max(rowid) FROM P3Data"));
                range.step();
                m_firstRowId = sqlite3_column_int64(range.get(), 0);
                const qint64 last = sqlite3_column_int64(range.get(), 1);
                m_masks.resize(size_t(std::max<qint64>(0, last - m_firstRowId + 1)));
                compare(allFields(), 0);
            }
        } catch (const std::exception&) {
            // A table that cannot be read shows no marks; the command that
            // reads it reports why.
            m_masks.clear();
            m_hasBase = false;
        }
    }
    recount();
}

bool ChangeMarks::isChanged(qint64 rowId, int column) const
{
    const qint64 index = rowId - m_firstRowId;
    const int field = textFieldOfColumn(column);
    if (field < 0 || index < 0 || index >= qint64(m_masks.size()))
        return false;
    return m_masks[size_t(index)].test(field);
}

void ChangeMarks::onDataReread(const std::vector<int>& columns)
{
    if (!m_enabled)
        return;
    // A row whose ID changed may have lost or found its base row.
    const bool idChanged = std::find(columns.begin(), columns.end(), kActivityIdColumn) != columns.end();
    if (columns.empty() || idChanged || m_base.revision() != m_baseRevision) {
        recomputeAll();
        return;
    }
    if (!m_hasBase)
        return;
    try {
        if (!followChangedCells(columns)) {
            std::vector<int> fields;
            for (int column : columns)
                if (const int field = textFieldOfColumn(column); field >= 0)
                    fields.push_back(field);
            compare(fields, 0);
        }
    } catch (const std::exception&) {
        // As in recomputeAll(): the command that reads the table says why.
    }
    recount();
}

bool ChangeMarks::followChangedCells(const std::vector<int>& columns)
{
    const std::vector<std::vector<qint64>>* changed = m_table.changedRowsOfLastReread();
    if (!changed || changed->size() != columns.size())
        return false;
    // Cells that differed from the base before and changed again: only the
    // base can tell whether they now hold it.
    std::vector<std::pair<qint64, int>> unsure;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int field = textFieldOfColumn(columns[i]);
        if (field < 0)
            continue;
        for (const qint64 rowId : (*changed)[i]) {
            const qint64 index = rowId - m_firstRowId;
            if (index < 0 || index >= qint64(m_masks.size()) || !m_masks[size_t(index)].hasBase())
                continue;   // no base row: never marked
            Mask& mask = m_masks[size_t(index)];
            if (mask.test(field))
                unsure.emplace_back(rowId, field);
            else
                mask.set(field);   // it held the base, and changed
        }
    }
    // A few rows are compared one by one; more, the whole columns at once.
    constexpr std::size_t kRowsComparedSingly = 64;
    if (unsure.size() <= kRowsComparedSingly) {
        for (const auto& [rowId, field] : unsure)
            compare({field}, rowId);
        return true;
    }
    std::vector<int> fields;
    for (const auto& entry : unsure)
        if (std::find(fields.begin(), fields.end(), entry.second) == fields.end())
            fields.push_back(entry.second);
    compare(fields, 0);
    return true;
}

void ChangeMarks::onRowPosted(int row)
{
    if (!m_enabled)
        return;
    if (m_base.revision() != m_baseRevision) {
        recomputeAll();
        return;
    }
    if (!m_hasBase)
        return;
    const qint64 rowId = m_table.rowIdAt(row);
    if (rowId <= 0)
        return;
    try {
        compare(allFields(), rowId);
    } catch (const std::exception&) {
    }
    recount();
}

ChangeMarks::Mask* ChangeMarks::maskOf(qint64 rowId)
{
    if (rowId < m_firstRowId)
        return nullptr;   // rows before the first are not the base's
    const size_t index = size_t(rowId - m_firstRowId);
    if (index >= m_masks.size())
        m_masks.resize(index + 1);
    return &m_masks[index];
}

void ChangeMarks::compare(const std::vector<int>& fields, qint64 onlyRowId)
{
    const bool wholeRows = int(fields.size()) == kTextFieldCount;
    Mask cleared;
    for (int field : fields)
        cleared.set(field);
    if (wholeRows)
        cleared.bits[1] |= kHasBase;
    const auto clear = [&cleared](Mask& mask) {
        mask.bits[0] &= ~cleared.bits[0];
        mask.bits[1] &= ~cleared.bits[1];
    };
    if (onlyRowId > 0) {
        if (Mask* mask = maskOf(onlyRowId))
            clear(*mask);
    } else {
        for (Mask& mask : m_masks)
            clear(mask);
    }
    const auto reported = wholeRows ? ImportBase::RowsReported::Every : ImportBase::RowsReported::Differing;
    m_base.forEachMatchedRow(fields, onlyRowId, reported, [this, wholeRows](qint64 rowId, quint64 low, quint64 high) {
        if (Mask* mask = maskOf(rowId)) {
            mask->bits[0] |= low;
            mask->bits[1] |= high | (wholeRows ? kHasBase : 0);
        }
    });
}

void ChangeMarks::recount()
{
    m_changedRows = int(std::count_if(m_masks.begin(), m_masks.end(), [](const Mask& m) { return m.any(); }));
    emit marksChanged();
}

} // namespace orvane::store
