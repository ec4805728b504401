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
    struct Mask {
        std::uint64_t bits[2] = {0, 0};
        bool any() const { return (bits[0] | bits[1]) != 0; }
    };
    void onDataReread(const std::vector<int>& columns);
    void onRowPosted(int row);
    // Compares `fields` of every row, or of the row `onlyRowId` when > 0.
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
};

} // namespace orvane::store
