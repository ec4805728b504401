#pragma once
// A cached row of the activity table in one compact allocation.
//
// A row keeps only its non-null cells, each as the column's own form:
// numbers as doubles, marks as one byte, dates in the stored form's digits
// (yyyyMMddHHmmss, which sort as the dates do) and texts as UTF-8, the way
// SQLite hands them over. Reading a cell walks the row's few cells; the
// conversion into a QVariant is left to whoever asks for one.

#include <QByteArrayView>
#include <QtGlobal>

#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace orvane::store {

// One cell as a row holds it, without conversion. `text` points into the
// row and stays valid until the row is replaced.
struct CellView {
    enum class Type : quint8 { Null, Number, Boolean, Date, Text };
    Type type = Type::Null;
    double number = 0;       // Number
    bool flag = false;       // Boolean
    qint64 packedDate = 0;   // Date
    QByteArrayView text;     // Text (UTF-8)

    bool isNull() const { return type == Type::Null; }
};

// Whether two cells hold the same value (of the same type), a null and an
// empty text counting as the same.
inline bool sameCellOrBothBlank(const CellView& a, const CellView& b)
{
    const auto blank = [](const CellView& c) {
        return c.isNull() || (c.type == CellView::Type::Text && c.text.isEmpty());
    };
    if (blank(a) || blank(b))
        return blank(a) && blank(b);
    if (a.type != b.type)
        return false;
    switch (a.type) {
    case CellView::Type::Number: return a.number == b.number;
    case CellView::Type::Boolean: return a.flag == b.flag;
    case CellView::Type::Date: return a.packedDate == b.packedDate;
    case CellView::Type::Text: return a.text == b.text;
    case CellView::Type::Null: return true;
    }
    return false;
}

class PackedRow {
public:
    PackedRow() = default;
    qint64 id() const { return m_id; }
    CellView cell(int column) const;
    // Calls f(column, cell) for every non-null cell in column order.
    template <typename F>
    void forEachCell(F&& f) const;
    // Asks for the first bytes of the row's cells to be brought into the
    // cache: the data members, the codes and the first log lines of a
    // typical row.
    void prefetch() const
    {
#if defined(__GNUC__)
        for (int line = 0; line < 4; ++line)
            __builtin_prefetch(m_data.get() + 64 * line);
#endif
    }
    // Bytes held by the row's allocation (0 for a row without cells).
    size_t byteSize() const;

private:
    friend class PackedRowBuilder;
    qint64 m_id = 0;
    std::unique_ptr<quint8[]> m_data;   // [count][column, type, payload]...
};

// Cells kept apart from the rows or the statement they were read from: their
// texts are copied one after another into one buffer of their own.
class CellCopies {
public:
    void append(const CellView& cell)
    {
        m_textAt.push_back(m_texts.size());
        m_texts.insert(m_texts.end(), cell.text.begin(), cell.text.end());
        m_cells.push_back(cell);
    }
    std::size_t size() const { return m_cells.size(); }
    // Copy i, its text pointing into the buffer until the next append().
    CellView at(std::size_t i) const
    {
        CellView cell = m_cells[i];
        cell.text = QByteArrayView(m_texts.data() + m_textAt[i], cell.text.size());
        return cell;
    }
    // The copies, their texts pointing into the buffer, which stays here:
    // nothing is appended afterwards.
    std::vector<CellView> takeCells()
    {
        for (std::size_t i = 0; i < m_cells.size(); ++i)
            m_cells[i].text = QByteArrayView(m_texts.data() + m_textAt[i], m_cells[i].text.size());
        return std::move(m_cells);
    }

private:
    std::vector<CellView> m_cells;     // their texts' pointers are not kept
    std::vector<std::size_t> m_textAt; // where each text's copy starts in m_texts
    std::vector<char> m_texts;
};

// Collects a row's cells in ascending column order, then packs them.
class PackedRowBuilder {
public:
    void addNumber(int column, double value);
    void addBoolean(int column, bool value);
    void addDate(int column, qint64 packedDate);
    void addText(int column, const char* utf8, qsizetype size);
    void add(int column, const CellView& cell);
    // The packed row; the builder is empty again afterwards.
    PackedRow finish(qint64 id);
    // `row` with the cells of `columns` (ascending) replaced by `cells` (a
    // null cell removes one), the other cells copied as they are packed; none
    // when every one of `columns` already holds its cell.
    std::optional<PackedRow> withCells(const PackedRow& row, const std::vector<int>& columns,
                                       const std::vector<CellView>& cells);

private:
    void head(int column, CellView::Type type);
    std::vector<quint8> m_bytes;
    int m_count = 0;
    std::vector<std::size_t> m_newEnds;   // withCells(): where each new cell's bytes end
    std::vector<std::pair<const quint8*, const quint8*>> m_oldSpans;   // withCells(): each old cell's bytes
};

namespace packed_row_detail {
// Decodes the cell at p and returns the position after it.
const quint8* readCell(const quint8* p, int* column, CellView* cell);
// The position after the cell at p, without decoding it.
const quint8* skipCell(const quint8* p);
}

template <typename F>
void PackedRow::forEachCell(F&& f) const
{
    if (!m_data)
        return;
    const quint8* p = m_data.get();
    const int count = *p++;
    for (int i = 0; i < count; ++i) {
        int column = 0;
        CellView cell;
        p = packed_row_detail::readCell(p, &column, &cell);
        f(column, cell);
    }
}

} // namespace orvane::store
