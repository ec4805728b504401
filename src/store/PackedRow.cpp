#include "store/PackedRow.h"

#include <cstring>

namespace orvane::store {

namespace packed_row_detail {

namespace {

// A text cell's length, stored as a little-endian base-128 number before its
// bytes; p is moved past it.
quint64 readTextLength(const quint8*& p)
{
    quint64 size = 0;
    int shift = 0;
    while (*p & 0x80) {
        size |= quint64(*p++ & 0x7F) << shift;
        shift += 7;
    }
    return size | (quint64(*p++) << shift);
}

} // namespace

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
        const quint64 size = readTextLength(p);
        cell->text = QByteArrayView(reinterpret_cast<const char*>(p), qsizetype(size));
        return p + size;
    }
    case CellView::Type::Null:
        break;
    }
    return p;
}

const quint8* skipCell(const quint8* p)
{
    const auto type = CellView::Type(p[1]);
    p += 2;
    switch (type) {
    case CellView::Type::Number:
    case CellView::Type::Date:
        return p + 8;   // a double, or a date's digits as a 64-bit number
    case CellView::Type::Boolean:
        return p + 1;
    case CellView::Type::Text: {
        const quint64 size = readTextLength(p);
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

std::optional<PackedRow> PackedRowBuilder::withCells(const PackedRow& row, const std::vector<int>& columns,
                                                     const std::vector<CellView>& cells)
{
    // The new cells packed one after another behind the count byte; a null
    // cell packs to nothing. The builder is empty again on the way out.
    struct Empty {
        PackedRowBuilder& builder;
        ~Empty()
        {
            builder.m_bytes.clear();
            builder.m_count = 0;
        }
    } emptyAfter{*this};
    m_bytes.assign(1, 0);
    m_count = 0;
    m_newEnds.clear();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        add(columns[i], cells[i]);
        m_newEnds.push_back(m_bytes.size());
    }
    auto newCell = [this](std::size_t i) {
        const std::size_t begin = i == 0 ? 1 : m_newEnds[i - 1];
        return std::pair<const quint8*, std::size_t>(m_bytes.data() + begin, m_newEnds[i] - begin);
    };
    // One walk over the old cells, skipping their values, finds each
    // column's bytes (or where they would go) and whether any differs.
    const quint8* data = row.m_data.get();
    const int count = data ? data[0] : 0;
    const quint8* p = data ? data + 1 : nullptr;
    m_oldSpans.assign(columns.size(), {nullptr, nullptr});
    std::size_t next = 0;
    bool differs = false;
    int oldCells = 0;
    for (int i = 0; i < count; ++i) {
        const quint8* start = p;
        const int column = p[0];
        p = packed_row_detail::skipCell(p);
        for (; next < columns.size() && columns[next] < column; ++next) {
            m_oldSpans[next] = {start, start};
            differs = differs || newCell(next).second > 0;
        }
        if (next < columns.size() && columns[next] == column) {
            m_oldSpans[next] = {start, p};
            ++oldCells;
            const auto [bytes, size] = newCell(next);
            differs = differs || size != std::size_t(p - start) || std::memcmp(bytes, start, size) != 0;
            ++next;
        }
    }
    for (; next < columns.size(); ++next) {
        m_oldSpans[next] = {p, p};
        differs = differs || newCell(next).second > 0;
    }
    if (!differs)
        return std::nullopt;
    // The old bytes between the replaced cells, with the new cells in between.
    const int newCount = count - oldCells + m_count;
    PackedRow result;
    result.m_id = row.id();
    if (newCount == 0)
        return result;
    std::size_t size = 1 + std::size_t(p ? p - (data + 1) : 0) + (m_bytes.size() - 1);
    for (const auto& [begin, end] : m_oldSpans)
        size -= std::size_t(end - begin);
    result.m_data.reset(new quint8[size]);
    quint8* out = result.m_data.get();
    *out++ = quint8(newCount);
    const quint8* from = data ? data + 1 : nullptr;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto [begin, end] = m_oldSpans[i];
        if (begin != from) {
            std::memcpy(out, from, std::size_t(begin - from));
            out += begin - from;
        }
        const auto [bytes, length] = newCell(i);
        std::memcpy(out, bytes, length);
        out += length;
        from = end;
    }
    if (from != p) {
        std::memcpy(out, from, std::size_t(p - from));
        out += p - from;
    }
    Q_ASSERT(std::size_t(out - result.m_data.get()) == size);
    return result;
}

} // namespace orvane::store
