#include "store/PackedRow.h"

#include <cstring>

namespace orvane::store {

namespace packed_row_detail {

const quint8* readCell(const quint8* p, int* column, CellView* cell)
{
    *column = p[0];
    cell->type = CellView::Type(p[1]);
    p += 2;
    switch (cell->type) {
    case CellView::Type::Number:
        std::memcpy(&cell->number, p, sizeof(double));
        return p + sizeof(double);
    case CellView::Type::Boolean:
        cell->flag = *p != 0;
        return p + 1;
    case CellView::Type::Date:
        std::memcpy(&cell->packedDate, p, sizeof(qint64));
        return p + sizeof(qint64);
    case CellView::Type::Text: {
        // Length as a little-endian base-128 number, then the bytes.
        quint64 size = 0;
        int shift = 0;
        while (*p & 0x80) {
            size |= quint64(*p++ & 0x7F) << shift;
            shift += 7;
        }
        size |= quint64(*p++) << shift;
        cell->text = QByteArrayView(reinterpret_cast<const char*>(p), qsizetype(size));
        return p + size;
    }
    case CellView::Type::Null:
        break;
    }
    return p;
}

} // namespace packed_row_detail

// Walks the cells of `data` up to the one of `column` (-1: all of them);
// returns the position after the last cell read.
static const quint8* walkCells(const quint8* data, int column, CellView* found)
{
    const quint8* p = data;
    const int count = *p++;
    for (int i = 0; i < count; ++i) {
        int c = 0;
        CellView cell;
        p = packed_row_detail::readCell(p, &c, &cell);
        if (c == column) {
            *found = cell;
            break;
        }
        if (column >= 0 && c > column)
            break;
    }
    return p;
}

CellView PackedRow::cell(int column) const
{
    CellView result;
    if (m_data && column >= 0)
        walkCells(m_data.get(), column, &result);
    return result;
}

size_t PackedRow::byteSize() const
{
    return m_data ? size_t(walkCells(m_data.get(), -1, nullptr) - m_data.get()) : 0;
}

void PackedRowBuilder::head(int column, CellView::Type type)
{
    if (m_bytes.empty())
        m_bytes.push_back(0);   // the count, set by finish()
    m_bytes.push_back(quint8(column));
    m_bytes.push_back(quint8(type));
    ++m_count;
}

void PackedRowBuilder::addNumber(int column, double value)
{
    head(column, CellView::Type::Number);
    const auto* b = reinterpret_cast<const quint8*>(&value);
    m_bytes.insert(m_bytes.end(), b, b + sizeof(double));
}

void PackedRowBuilder::addBoolean(int column, bool value)
{
    head(column, CellView::Type::Boolean);
    m_bytes.push_back(value ? 1 : 0);
}

void PackedRowBuilder::addDate(int column, qint64 packedDate)
{
    head(column, CellView::Type::Date);
    const auto* b = reinterpret_cast<const quint8*>(&packedDate);
    m_bytes.insert(m_bytes.end(), b, b + sizeof(qint64));
}

void PackedRowBuilder::addText(int column, const char* utf8, qsizetype size)
{
    head(column, CellView::Type::Text);
    quint64 n = quint64(size);
    while (n >= 0x80) {
        m_bytes.push_back(quint8(n | 0x80));
        n >>= 7;
    }
    m_bytes.push_back(quint8(n));
    m_bytes.insert(m_bytes.end(), utf8, utf8 + size);
}

void PackedRowBuilder::add(int column, const CellView& cell)
{
    switch (cell.type) {
    case CellView::Type::Null:
        break;
    case CellView::Type::Number:
        addNumber(column, cell.number);
        break;
    case CellView::Type::Boolean:
        addBoolean(column, cell.flag);
        break;
    case CellView::Type::Date:
        addDate(column, cell.packedDate);
        break;
    case CellView::Type::Text:
        addText(column, cell.text.data(), cell.text.size());
        break;
    }
}

PackedRow PackedRowBuilder::finish(qint64 id)
{
    PackedRow row;
    row.m_id = id;
    if (m_count > 0) {
        m_bytes[0] = quint8(m_count);
        row.m_data.reset(new quint8[m_bytes.size()]);
        std::memcpy(row.m_data.get(), m_bytes.data(), m_bytes.size());
    }
    m_bytes.clear();
    m_count = 0;
    return row;
}

PackedRow PackedRowBuilder::replaced(const PackedRow& row, const std::vector<int>& columns,
                                     const std::vector<CellView>& cells)
{
    std::size_t next = 0;   // the next of `columns` to place
    if (row.m_data) {
        const quint8* p = row.m_data.get();
        const int count = *p++;
        for (int i = 0; i < count; ++i) {
            const quint8* start = p;
            int column = 0;
            CellView cell;
            p = packed_row_detail::readCell(p, &column, &cell);
            for (; next < columns.size() && columns[next] < column; ++next)
                add(columns[next], cells[next]);
            if (next < columns.size() && columns[next] == column) {
                add(column, cells[next++]);
                continue;
            }
            // An untouched cell keeps its bytes.
            if (m_bytes.empty())
                m_bytes.push_back(0);
            m_bytes.insert(m_bytes.end(), start, p);
            ++m_count;
        }
    }
    for (; next < columns.size(); ++next)
        add(columns[next], cells[next]);
    return finish(row.id());
}

} // namespace orvane::store
