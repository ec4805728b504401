#pragma once
// Which texts of the table differ from the base (what P3 delivered at the
// last import): the marks the grid draws on changed cells, and the number
// of activities with unsaved changes.
//
// One 128-bit mask per row of P3Data, indexed by rowid (16 bytes a row;
// an import numbers its rows from 1 on), bit 0 the description and bit n
// log n. The masks follow the table: a re-read of some columns compares
// just those columns again, a posted row just that row, a re-read of whole
// rows everything. Nothing is computed while the marks are off (scripts).
//
// After a re-read of some columns only the cells the table reports changed
// are looked at: a text that held its base and changed now differs from it,
// with no need to read the base; only a cell that already differed is
// compared with the base in the file (row by row when few, else the whole
// column). A bulk command after an import thus costs no read of the base.

#include "store/ImportBase.h"

#include <QObject>

#include <cstdint>
#include <vector>

namespace orvane::store {

class ActivityTable;

class ChangeMarks : public QObject {
    Q_OBJECT
public:
    ChangeMarks(ActivityTable& table, ImportBase& base, QObject* parent = nullptr);

    // Off: no marks and no count. On: everything compared at once.
    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }

    // Compares every row again (after the base changed: an import, a save).
    void recomputeAll();
    // recomputeAll() when the base was written since the marks compared
    // with it (its revision moved), else nothing.
    void followBase();

    // Whether the text in `column` of the row `rowId` differs from its base.
    bool isChanged(qint64 rowId, int column) const;
    // The number of rows with at least one changed text.
    int changedRowCount() const { return m_changedRows; }
    // Bytes the masks hold (benchmarks).
    std::size_t heldBytes() const { return m_masks.capacity() * sizeof(Mask); }

signals:
    // The marks or the count changed.
    void marksChanged();

private:
    // Bits 0-99 the text fields; the last bit tells the row has a base row
    // (the one of its rowid holds its activity ID).
    static constexpr std::uint64_t kHasBase = std::uint64_t(1) << 63;
    struct Mask {
        std::uint64_t bits[2] = {0, 0};
        bool any() const { return (bits[0] | (bits[1] & ~kHasBase)) != 0; }
        bool hasBase() const { return (bits[1] & kHasBase) != 0; }
        bool test(int field) const { return (bits[field / 64] >> (field % 64)) & 1u; }
        void set(int field) { bits[field / 64] |= std::uint64_t(1) << (field % 64); }
    };
    void onDataReread(const std::vector<int>& columns);
    void onRowPosted(int row);
    // Follows the cells the table reports changed; false when it cannot
    // tell which changed.
    bool followChangedCells(const std::vector<int>& columns);
    // Compares `fields` of every row, or of the row `onlyRowId` when > 0;
    // whole rows (every field) also find again which rows have a base.
    void compare(const std::vector<int>& fields, qint64 onlyRowId);
    Mask* maskOf(qint64 rowId);
    void recount();

    ActivityTable& m_table;
    ImportBase& m_base;
    bool m_enabled = false;
    bool m_hasBase = false;
    qint64 m_firstRowId = 1;
    std::vector<Mask> m_masks;
    int m_changedRows = 0;
    quint64 m_baseRevision = 0;   // the base's revision when every row was compared
};

} // namespace orvane::store
