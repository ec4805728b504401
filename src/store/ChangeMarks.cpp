#include "store/ChangeMarks.h"

#include "store/ActivityTable.h"
#include "store/Database.h"
#include "store/Statement.h"

#include <QHashFunctions>
#include <QStringList>
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

// Digests of this process only: compared with each other, never stored.
std::uint64_t textDigest(QByteArrayView text)
{
    return std::uint64_t(qHash(text, size_t(0x9e3779b97f4a7c15ULL)));
}

// 0 stands for "no base row", 2 for a null ID, odd digests for an ID.
std::uint64_t idDigest(const std::optional<QByteArrayView>& id)
{
    return id ? textDigest(*id) | 1u : 2u;
}

std::optional<QByteArrayView> nullableText(sqlite3_stmt* select, int index)
{
    if (sqlite3_column_type(select, index) == SQLITE_NULL)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select, index));
    return QByteArrayView(text, sqlite3_column_bytes(select, index));
}

// "rowid, ActivityID, <the fields' columns>" of a select.
QString selectedColumns(const std::vector<int>& fields)
{
    QStringList names{QStringLiteral("rowid"), QStringLiteral("ActivityID")};
    for (int field : fields)
        names << QLatin1Char('[') + fieldName(columnOfTextField(field)) + QLatin1Char(']');
    return names.join(QStringLiteral(", "));
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

std::size_t ChangeMarks::heldBytes() const
{
    return m_masks.capacity() * sizeof(Mask) + m_digests.heldBytes();
}

void ChangeMarks::recomputeAll()
{
    m_masks.clear();
    m_masks.shrink_to_fit();
    m_digests = BaseDigests();
    m_digestsRevision = m_base.revision();
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
                m_digests.read(m_table.database(), m_firstRowId, m_masks.size());
                compare(allFields(), 0);
            }
        } catch (const std::exception&) {
            // A table that cannot be read shows no marks; the command that
            // reads it reports why.
            m_masks.clear();
            m_digests = BaseDigests();
            m_hasBase = false;
        }
    }
    recount();
}

void ChangeMarks::followBase()
{
    if (m_enabled && m_base.revision() != m_digestsRevision)
        recomputeAll();
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
    if (columns.empty() || m_base.revision() != m_digestsRevision) {
        recomputeAll();
        return;
    }
    std::vector<int> fields;
    for (int column : columns)
        if (const int field = textFieldOfColumn(column); field >= 0)
            fields.push_back(field);
    if (fields.empty() || !m_hasBase)
        return;
    try {
        compare(fields, 0);
    } catch (const std::exception&) {
        // As in recomputeAll(): the command that reads the table says why.
    }
    recount();
}

void ChangeMarks::onRowPosted(int row)
{
    if (!m_enabled)
        return;
    if (m_base.revision() != m_digestsRevision) {
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

namespace {

// `mask` with the bits of `fields` taken from `fresh`.
template <typename Mask>
void replaceBits(Mask& mask, const Mask& fresh, const std::vector<int>& fields)
{
    for (int field : fields) {
        const std::uint64_t bit = std::uint64_t(1) << (field % 64);
        std::uint64_t& word = mask.bits[field / 64];
        word = (word & ~bit) | (fresh.bits[field / 64] & bit);
    }
}

} // namespace

void ChangeMarks::BaseDigests::read(Database& database, qint64 firstRowId, std::size_t rows)
{
    *this = BaseDigests();
    m_idDigests.assign(rows, 0);
    m_firstText.assign(rows + 1, 0);
    const std::vector<int> fields = allFields();
    Statement select(database.handle(), QStringLiteral("SELECT %1 FROM ImportBase WHERE rowid BETWEEN %2 AND %3 "
                                                       "ORDER BY rowid")
                                            .arg(selectedColumns(fields))
                                            .arg(firstRowId)
                                            .arg(firstRowId + qint64(rows) - 1));
    sqlite3_stmt* row = select.get();
    std::size_t next = 0;   // rows before it have their texts in place
    while (select.step()) {
        const std::size_t index = std::size_t(sqlite3_column_int64(row, 0) - firstRowId);
        for (; next <= index; ++next)
            m_firstText[next] = std::uint32_t(m_textFields.size());
        m_idDigests[index] = idDigest(nullableText(row, 1));
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::optional<QByteArrayView> text = nullableText(row, int(i) + 2);
            if (text && !text->isEmpty()) {
                m_textFields.push_back(std::uint8_t(fields[i]));
                m_textDigests.push_back(textDigest(*text));
            }
        }
    }
    for (; next <= rows; ++next)
        m_firstText[next] = std::uint32_t(m_textFields.size());
    m_textFields.shrink_to_fit();
    m_textDigests.shrink_to_fit();
}

std::size_t ChangeMarks::BaseDigests::heldBytes() const
{
    return m_idDigests.capacity() * sizeof(std::uint64_t) + m_firstText.capacity() * sizeof(std::uint32_t)
           + m_textFields.capacity() + m_textDigests.capacity() * sizeof(std::uint64_t);
}

template <typename TextOf>
ChangeMarks::Mask ChangeMarks::BaseDigests::differences(std::size_t index, const std::optional<QByteArrayView>& id,
                                                        const std::vector<int>& fields, TextOf&& textOf) const
{
    Mask differs;
    if (index >= m_idDigests.size() || m_idDigests[index] == 0 || m_idDigests[index] != idDigest(id))
        return differs;
    const std::uint8_t* first = m_textFields.data() + m_firstText[index];
    const std::uint8_t* last = m_textFields.data() + m_firstText[index + 1];
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const int field = fields[i];
        const std::uint8_t* at = std::lower_bound(first, last, std::uint8_t(field));
        const bool inBase = at != last && *at == field;
        const QByteArrayView text = textOf(i);
        // A null and an empty text are the same text.
        const bool same = inBase ? !text.isEmpty() && textDigest(text) == m_textDigests[size_t(at - m_textFields.data())]
                                 : text.isEmpty();
        if (!same)
            differs.bits[field / 64] |= std::uint64_t(1) << (field % 64);
    }
    return differs;
}

void ChangeMarks::compare(const std::vector<int>& fields, qint64 onlyRowId)
{
    if (onlyRowId > 0 || !compareCachedRows(fields))
        compareFileRows(fields, onlyRowId);
}

bool ChangeMarks::compareCachedRows(const std::vector<int>& fields)
{
    std::vector<int> columns;
    for (int field : fields)
        columns.push_back(columnOfTextField(field));
    return m_table.forEachCachedRow([&](const PackedRow& row) {
        const qint64 index = row.id() - m_firstRowId;
        if (index < 0 || index >= qint64(m_masks.size()))
            return;   // no base row can stand for it
        const CellView id = row.cell(kActivityIdColumn);
        const Mask fresh = m_digests.differences(
            size_t(index), id.isNull() ? std::nullopt : std::optional<QByteArrayView>(id.text), fields,
            [&](std::size_t i) { return row.cell(columns[i]).text; });
        replaceBits(m_masks[size_t(index)], fresh, fields);
    });
}

void ChangeMarks::compareFileRows(const std::vector<int>& fields, qint64 onlyRowId)
{
    Statement select(m_table.database().handle(),
                     QStringLiteral("SELECT %1 FROM P3Data").arg(selectedColumns(fields))
                         + (onlyRowId > 0 ? QStringLiteral(" WHERE rowid = %1").arg(onlyRowId) : QString()));
    sqlite3_stmt* row = select.get();
    while (select.step()) {
        const qint64 rowId = sqlite3_column_int64(row, 0);
        Mask* mask = maskOf(rowId);
        if (!mask)
            continue;
        const Mask fresh = m_digests.differences(size_t(rowId - m_firstRowId), nullableText(row, 1), fields,
                                                 [&](std::size_t i) {
                                                     return nullableText(row, int(i) + 2).value_or(QByteArrayView());
                                                 });
        replaceBits(*mask, fresh, fields);
    }
}

void ChangeMarks::recount()
{
    m_changedRows = int(std::count_if(m_masks.begin(), m_masks.end(), [](const Mask& m) { return m.any(); }));
    emit marksChanged();
}

} // namespace orvane::store
