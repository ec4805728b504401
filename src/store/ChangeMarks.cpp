#include "store/ChangeMarks.h"

#include "store/ActivityTable.h"
#include "store/Database.h"
#include "store/Statement.h"

#include <sqlite3.h>

#include <algorithm>

namespace orvane::store {

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

void ChangeMarks::recomputeAll()
{
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
    return (m_masks[size_t(index)].bits[field / 64] >> (field % 64)) & 1u;
}

void ChangeMarks::onDataReread(const std::vector<int>& columns)
{
    if (!m_enabled)
        return;
    if (columns.empty()) {
        recomputeAll();
        return;
    }
    std::vector<int> fields;
    for (int column : columns)
        if (const int field = textFieldOfColumn(column); field >= 0)
            fields.push_back(field);
    if (fields.empty() || !m_hasBase)
        return;
    compare(fields, 0);
    recount();
}

void ChangeMarks::onRowPosted(int row)
{
    if (!m_enabled || !m_hasBase)
        return;
    const qint64 rowId = m_table.rowIdAt(row);
    if (rowId <= 0)
        return;
    compare(allFields(), rowId);
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
    Mask cleared;
    for (int field : fields)
        cleared.bits[field / 64] |= std::uint64_t(1) << (field % 64);
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
    m_base.forEachChangedRow(fields, onlyRowId, [this](qint64 rowId, quint64 low, quint64 high) {
        if (Mask* mask = maskOf(rowId)) {
            mask->bits[0] |= low;
            mask->bits[1] |= high;
        }
    });
}

void ChangeMarks::recount()
{
    m_changedRows = int(std::count_if(m_masks.begin(), m_masks.end(), [](const Mask& m) { return m.any(); }));
    emit marksChanged();
}

} // namespace orvane::store
